#include "payroll/xmlrpc/XmlRpcScanner.h"

namespace {

constexpr QByteArrayView kNullText = "[NULL]";

// What a byte of text asks of the scanner.
enum TByteClass : quint8 { bcPlain, bcLess, bcAmp, bcCr, bcBracket, bcControl, bcHigh };

struct TByteClasses {
    TByteClass Of[256];
    constexpr TByteClasses() : Of() {
        for (int b = 0; b < 256; ++b)
            Of[b] = b >= 0x80 ? bcHigh : b < 0x20 ? bcControl : bcPlain;
        Of[int('\t')] = bcPlain;
        Of[int('\n')] = bcPlain;
        Of[int('\r')] = bcCr;
        Of[int('<')] = bcLess;
        Of[int('&')] = bcAmp;
        Of[int(']')] = bcBracket;
    }
};
constexpr TByteClasses kClasses;

// ASCII letters folded to lower case; every other byte as it is.
struct TLowerBytes {
    char Of[256];
    constexpr TLowerBytes() : Of() {
        for (int b = 0; b < 256; ++b)
            Of[b] = char(b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
    }
    constexpr char operator[](uchar b) const { return Of[b]; }
};
constexpr TLowerBytes kLower;

// Characters of ASCII element names: 1 may start one, 2 only continue one.
struct TNameBytes {
    quint8 Of[256];
    constexpr TNameBytes() : Of() {
        for (int b = 0; b < 256; ++b) {
            const bool letter = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
            Of[b] = letter || b == '_' || b == ':'                   ? 1
                    : (b >= '0' && b <= '9') || b == '-' || b == '.' ? 2
                                                                     : 0;
        }
    }
};
constexpr TNameBytes kNameBytes;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsContinuation(uchar c) {
    return (c & 0xC0) == 0x80;
}

// The length of the UTF-8 sequence at p (a byte of 0x80 or more) when expat
// takes it as one character: no overlong forms, no surrogates, nothing
// beyond U+10FFFF, not U+FFFE or U+FFFF. 0 otherwise.
int Utf8SequenceLength(const uchar* p, const uchar* end) {
    const qsizetype left = end - p;
    const uchar b = p[0];
    if (b >= 0xC2 && b <= 0xDF)
        return left >= 2 && IsContinuation(p[1]) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        if (left < 3 || !IsContinuation(p[1]) || !IsContinuation(p[2]))
            return 0;
        if ((b == 0xE0 && p[1] < 0xA0) || (b == 0xED && p[1] > 0x9F))
            return 0;
        if (b == 0xEF && p[1] == 0xBF && p[2] >= 0xBE)
            return 0;
        return 3;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (left < 4 || !IsContinuation(p[1]) || !IsContinuation(p[2]) || !IsContinuation(p[3]))
            return 0;
        if ((b == 0xF0 && p[1] < 0x90) || (b == 0xF4 && p[1] > 0x8F))
            return 0;
        return 4;
    }
    return 0;
}

bool IsXmlChar(uint c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

void AppendUtf8(QByteArray& out, uint c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Decodes the reference at p (on its "&") into out; the position after it,
// or nullptr when it is not one expat reads the same way.
const uchar* DecodeReference(const uchar* p, const uchar* end, QByteArray& out) {
    static constexpr struct {
        QByteArrayView Name;
        char Character;
    } kEntities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    const QByteArrayView rest(p, end - p);
    for (const auto& entity : kEntities) {
        if (rest.startsWith(entity.Name)) {
            out += entity.Character;
            return p + entity.Name.size();
        }
    }
    if (!rest.startsWith("&#"))
        return nullptr;
    p += 2;
    const bool hex = p < end && *p == 'x';
    if (hex)
        ++p;
    uint code = 0;
    int digits = 0;
    for (; p < end && *p != ';'; ++p) {
        int digit = -1;
        if (*p >= '0' && *p <= '9')
            digit = *p - '0';
        else if (hex && (*p | 0x20) >= 'a' && (*p | 0x20) <= 'f')
            digit = (*p | 0x20) - 'a' + 10;
        // Eight digits reach beyond U+10FFFF in either base.
        if (digit < 0 || ++digits > 8)
            return nullptr;
        code = code * (hex ? 16 : 10) + uint(digit);
    }
    if (p == end || digits == 0 || !IsXmlChar(code))
        return nullptr;
    AppendUtf8(out, code);
    return p + 1;
}

} // namespace

namespace {

// Whether text begins with the lower-case pattern, ignoring letter case.
bool StartsWithFolded(QByteArrayView text, QByteArrayView pattern) {
    if (text.size() < pattern.size())
        return false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (kLower[uchar(text[i])] != pattern[i])
            return false;
    }
    return true;
}

} // namespace

qsizetype MatchEmptyRpcValue(QByteArrayView text, QByteArrayView& element) {
    // "<string>" or "<value>", then the end tag at once or after "</nil>" or
    // "</null>"; patterns are compared ignoring letter case. Most tags are
    // told apart by their second character.
    static constexpr QByteArrayView kElements[] = {"string", "value"};
    static constexpr QByteArrayView kEmpty[] = {"", "</nil>", "</null>"};
    if (text.size() < 15 || text[0] != '<')
        return 0;
    const char second = kLower[uchar(text[1])];
    if (second != 's' && second != 'v')
        return 0;
    for (const QByteArrayView name : kElements) {
        if (second != name[0] || !StartsWithFolded(text.sliced(1), name) ||
            text.size() < name.size() + 2 || text[name.size() + 1] != '>')
            continue;
        const QByteArrayView inside = text.sliced(name.size() + 2);
        for (const QByteArrayView empty : kEmpty) {
            if (!StartsWithFolded(inside, empty))
                continue;
            const QByteArrayView close = inside.sliced(empty.size());
            if (close.size() >= name.size() + 3 && close.startsWith("</") &&
                StartsWithFolded(close.sliced(2), name) && close[name.size() + 2] == '>') {
                element = name;
                return name.size() + 2 + empty.size() + name.size() + 3;
            }
        }
    }
    return 0;
}

TRpcXmlScanner::TRpcXmlScanner(QByteArrayView text, bool markEmptyValues, int maxDepth)
    : m_pos(text.data()), m_end(text.data() + text.size()), m_markEmptyValues(markEmptyValues),
      m_maxDepth(maxDepth) {
    // The declaration, when there is one, is the very first thing.
    if (QByteArrayView(m_pos, m_end - m_pos).startsWith("<?xml") && !ReadDeclaration())
        m_gaveUp = true;
}

TRpcXmlScanner::TToken TRpcXmlScanner::GiveUp() {
    m_gaveUp = true;
    return tkGiveUp;
}

void TRpcXmlScanner::SkipBlanks() {
    while (m_pos < m_end && IsBlank(*m_pos))
        ++m_pos;
}

bool TRpcXmlScanner::ReadName(QByteArrayView& name) {
    const char* start = m_pos;
    if (m_pos == m_end || kNameBytes.Of[uchar(*m_pos)] != 1)
        return false;
    while (m_pos < m_end && kNameBytes.Of[uchar(*m_pos)] != 0)
        ++m_pos;
    name = QByteArrayView(start, m_pos - start);
    return true;
}

// <?xml version="1.0"?>, with an encoding of UTF-8 or none; anything more
// (a standalone declaration, another version) is for expat.
bool TRpcXmlScanner::ReadDeclaration() {
    m_pos += 5;
    const auto quoted = [this](QByteArrayView& value) {
        if (m_pos == m_end || (*m_pos != '"' && *m_pos != '\''))
            return false;
        const char quote = *m_pos++;
        const char* start = m_pos;
        while (m_pos < m_end && *m_pos != quote)
            ++m_pos;
        if (m_pos == m_end)
            return false;
        value = QByteArrayView(start, m_pos++ - start);
        return true;
    };
    const auto attribute = [&](QByteArrayView expected, QByteArrayView& value) {
        const char* before = m_pos;
        SkipBlanks();
        QByteArrayView name;
        if (m_pos == before || !ReadName(name) || name != expected)
            return false;
        SkipBlanks();
        if (m_pos == m_end || *m_pos++ != '=')
            return false;
        SkipBlanks();
        return quoted(value);
    };
    QByteArrayView version;
    if (!attribute("version", version) || version != "1.0")
        return false;
    const char* afterVersion = m_pos;
    QByteArrayView encoding;
    if (!attribute("encoding", encoding)) {
        m_pos = afterVersion;
    } else if (encoding.compare("utf-8", Qt::CaseInsensitive) != 0) {
        return false;
    }
    SkipBlanks();
    if (m_end - m_pos < 2 || m_pos[0] != '?' || m_pos[1] != '>')
        return false;
    m_pos += 2;
    return true;
}

TRpcXmlScanner::TToken TRpcXmlScanner::Emit(const TQueued& token) {
    switch (token.Token) {
    case tkStart:
        m_open.push_back(token.Value);
        m_phase = TPhase::Content;
        m_name = token.Value;
        break;
    case tkEnd:
        m_open.pop_back();
        if (m_open.empty())
            m_phase = TPhase::Epilog;
        m_name = token.Value;
        break;
    default:
        m_text = token.Value;
        break;
    }
    return token.Token;
}

TRpcXmlScanner::TToken TRpcXmlScanner::Next() {
    if (m_gaveUp)
        return tkGiveUp;
    if (m_nextQueued < m_queued)
        return Emit(m_queue[m_nextQueued++]);
    m_queued = m_nextQueued = 0;
    if (m_phase == TPhase::Content)
        return m_pos < m_end && *m_pos == '<' ? Tag() : ScanText();
    // Outside the root element only blanks stand between markup.
    SkipBlanks();
    if (m_pos == m_end)
        return m_phase == TPhase::Epilog ? tkDone : GiveUp();
    if (*m_pos != '<' || m_phase == TPhase::Epilog)
        return GiveUp();
    return Tag();
}

TRpcXmlScanner::TToken TRpcXmlScanner::Tag() {
    const QByteArrayView rest(m_pos, m_end - m_pos);
    QByteArrayView name;
    if (m_markEmptyValues) {
        if (const qsizetype length = MatchEmptyRpcValue(rest, name)) {
            if (int(m_open.size()) >= m_maxDepth)
                return GiveUp();
            m_pos += length;
            m_queue[0] = {tkText, kNullText};
            m_queue[1] = {tkEnd, name};
            m_queued = 2;
            return Emit({tkStart, name});
        }
    }
    if (rest.size() < 2 || rest[1] == '!' || rest[1] == '?')
        return GiveUp();
    if (rest[1] == '/') {
        if (m_open.empty())
            return GiveUp();
        m_pos += 2;
        if (!ReadName(name) || name != m_open.back())
            return GiveUp();
        SkipBlanks();
        if (m_pos == m_end || *m_pos != '>')
            return GiveUp();
        ++m_pos;
        return Emit({tkEnd, name});
    }
    ++m_pos;
    if (!ReadName(name))
        return GiveUp();
    SkipBlanks();
    if (m_pos < m_end && *m_pos == '/') {
        ++m_pos;
        m_queue[0] = {tkEnd, name};
        m_queued = 1;
    }
    if (m_pos == m_end || *m_pos != '>' || int(m_open.size()) >= m_maxDepth)
        return GiveUp();
    ++m_pos;
    return Emit({tkStart, name});
}

TRpcXmlScanner::TToken TRpcXmlScanner::ScanText() {
    const auto* const start = reinterpret_cast<const uchar*>(m_pos);
    const auto* const end = reinterpret_cast<const uchar*>(m_end);
    const uchar* p = start;
    const uchar* run = start; // not yet copied, once decoding
    bool decoding = false;
    QByteArray& buffer = m_buffers[m_nextBuffer];
    const auto startDecoding = [&] {
        if (!decoding) {
            buffer.resize(0); // keeps the capacity
            decoding = true;
        }
        buffer.append(reinterpret_cast<const char*>(run), p - run);
    };
    while (p < end) {
        switch (kClasses.Of[*p]) {
        case bcPlain:
            ++p;
            continue;
        case bcLess:
            break;
        case bcHigh: {
            const int length = Utf8SequenceLength(p, end);
            if (length == 0)
                return GiveUp();
            p += length;
            continue;
        }
        case bcBracket:
            if (end - p >= 3 && p[1] == ']' && p[2] == '>')
                return GiveUp();
            ++p;
            continue;
        case bcCr:
            startDecoding();
            buffer += '\n';
            p += p + 1 < end && p[1] == '\n' ? 2 : 1;
            run = p;
            continue;
        case bcAmp: {
            startDecoding();
            p = DecodeReference(p, end, buffer);
            if (!p)
                return GiveUp();
            run = p;
            continue;
        }
        case bcControl:
            return GiveUp();
        }
        break;
    }
    // Text that runs to the end of the document never closes its elements.
    if (p == end)
        return GiveUp();
    m_pos = reinterpret_cast<const char*>(p);
    if (decoding) {
        buffer.append(reinterpret_cast<const char*>(run), p - run);
        m_text = buffer;
        m_nextBuffer ^= 1;
    } else {
        m_text = QByteArrayView(start, p - start);
    }
    return m_text.isEmpty() ? Tag() : tkText;
}
