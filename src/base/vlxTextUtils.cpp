#include "base/vlxTextUtils.h"

#include "base/ztExceptions.h"
#include "base/ztFormat.h"

#include <QStringDecoder>

namespace {

bool IsBlank(QChar c) {
    return c.unicode() >= 1 && c.unicode() <= 32;
}

bool IsLayout(QChar c) {
    return c == u'\t' || c == u'\n' || c == u'\r';
}

// Four UTF-16 units at p as one word, the first in the lowest bits.
quint64 FourUnits(const QChar* p) {
    return quint64(p[0].unicode()) | quint64(p[1].unicode()) << 16 | quint64(p[2].unicode()) << 32 |
           quint64(p[3].unicode()) << 48;
}

// Whether any of four units lies outside 0x20..0x7E, four at a time: a
// lane below 0x20 borrows into its top bit, a lane above 0x7E carries into
// it. A hit may be false (a borrow runs on into the next lane); the caller
// then looks at the units one by one.
bool AnyOutsidePrintableAscii(quint64 units) {
    constexpr quint64 Lanes = 0x0001000100010001ULL;
    constexpr quint64 Tops = 0x8000800080008000ULL;
    const quint64 below = (units - Lanes * 0x20) & ~units;
    const quint64 above = (units + Lanes * (0x7FFF - 0x7E)) | units;
    return ((below | above) & Tops) != 0;
}

// Whether any of four units lies below `bound` (at most 0x8000); false hits
// as above.
bool AnyBelow(quint64 units, quint64 bound) {
    constexpr quint64 Lanes = 0x0001000100010001ULL;
    constexpr quint64 Tops = 0x8000800080008000ULL;
    return ((units - Lanes * bound) & ~units & Tops) != 0;
}

// Which layout characters stay as they are.
enum TKeptLayout { klNone, klTabAndLineFeed, klAll };

bool KeptAsLayout(QChar c, TKeptLayout kept) {
    switch (kept) {
    case klNone:
        return false;
    case klTabAndLineFeed:
        return c == u'\t' || c == u'\n';
    case klAll:
        return IsLayout(c);
    }
    return false;
}

QString EscapeControls(const QString& text, TKeptLayout kept) {
    const auto escaped = [kept](QChar c) {
        return (IsControlChar(c) && !KeptAsLayout(c, kept)) || IsBidiControlChar(c);
    };
    // Every logged text passes here, nearly all of it printable ASCII: that
    // is found four characters at a time, and such text is not copied.
    const QChar* const end = text.cend();
    const QChar* first = text.cbegin();
    while (end - first >= 4 && !AnyOutsidePrintableAscii(FourUnits(first)))
        first += 4;
    for (; first != end; ++first) {
        if (char16_t(first->unicode() - 0x20) >= 0x5F && escaped(*first))
            break;
    }
    if (first == end)
        return text;
    QString result = text.left(first - text.cbegin());
    result.reserve(text.size() + 16);
    for (const QChar c : QStringView(first, end)) {
        if (!escaped(c))
            result += c;
        else if (c.unicode() <= 0xFF)
            result += QStringLiteral("\\x") +
                      QString::number(c.unicode(), 16).toUpper().rightJustified(2, u'0');
        else
            result += QStringLiteral("\\u") +
                      QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0');
    }
    return result;
}

} // namespace

QString IndentText(const QString& text, int level) {
    if (text.isEmpty())
        return text;
    const QString indent(level * 4, u' ');
    QString result = indent + text;
    result.replace(u'\n', u'\n' + indent);
    return result;
}

QString FormatContextValue(const QString& value) {
    if (!value.contains(u'\r'))
        return value;
    return QStringLiteral("\r\n") + IndentText(value, 1);
}

QString EscapeHtmlText(const QString& text) {
    QString result = text;
    result.replace(u'&', QStringLiteral("&amp;"));
    result.replace(u'<', QStringLiteral("&lt;"));
    result.replace(u'>', QStringLiteral("&gt;"));
    result.replace(u'"', QStringLiteral("&quot;"));
    result.replace(u'\'', QStringLiteral("&apos;"));
    result.replace(QStringLiteral("\r\n"), QStringLiteral("<br/>"));
    return result;
}

QString Counted(qint64 count, const char* word) {
    return QString::number(count) + u' ' + PluralForm(QLatin1String(word), count);
}

QString PluralForm(const QString& word, qint64 count) {
    OrvAssert(!word.isEmpty());
    if (count == 1)
        return word;
    for (const char* ending : {"o", "s", "ch", "sh", "x"}) {
        if (word.endsWith(QLatin1String(ending)))
            return word + QStringLiteral("es");
    }
    if (word.endsWith(u'y'))
        return word.chopped(1) + QStringLiteral("ies");
    return word + u's';
}

QString TextReportOrEmpty(const QString& data) {
    return data.startsWith(QLatin1String("TPF0")) ? QString() : data;
}

void TFieldViews::Clear() {
    m_fields.clear();
    m_unquotedUsed = 0;
}

void TFieldViews::AppendQuoted(const QChar*& p, const QChar* end) {
    ++p;
    const QChar* const start = p;
    // Most quoted fields hold no doubled quote: a view of the line serves.
    const qsizetype quote = QStringView(p, end).indexOf(u'"');
    p = quote < 0 ? end : p + quote;
    if (p == end || p + 1 == end || p[1] != u'"') {
        m_fields.emplace_back(start, p - start);
        if (p < end)
            ++p;
        return;
    }
    if (m_unquotedUsed == m_unquoted.size())
        m_unquoted.emplace_back();
    QString& field = m_unquoted[m_unquotedUsed++];
    field.resize(0); // keeps the capacity
    field.append(start, p - start);
    // Runs between quotes are appended whole; "" stands for one quote.
    while (p < end) {
        if (p + 1 < end && p[1] == u'"') {
            field += u'"';
            p += 2;
        } else {
            ++p;
            break;
        }
        const QChar* run = p;
        while (p < end && *p != u'"')
            ++p;
        field.append(run, p - run);
    }
    m_fields.emplace_back(field);
}

QString TFieldViews::Shared(qsizetype index, QStringView text) {
    // Single characters (a middle initial) come from one table.
    static const std::vector<QString> single = [] {
        std::vector<QString> texts;
        for (char16_t c = 0; c < 128; ++c)
            texts.emplace_back(QChar(c));
        return texts;
    }();
    if (text.size() == 1 && text[0].unicode() < 128)
        return single[text[0].unicode()];
    if (m_recent.size() <= size_t(index))
        m_recent.resize(size_t(index) + 1);
    QString& recent = m_recent[size_t(index)];
    if (recent != text)
        recent = text.toString();
    return recent;
}

QStringList TFieldViews::ToList() const {
    QStringList list;
    list.reserve(Count());
    for (const QStringView field : m_fields)
        list.append(field.toString());
    return list;
}

QStringList SplitCommaText(const QString& line) {
    TFieldViews fields;
    SplitCommaText(line, fields);
    return fields.ToList();
}

void SplitCommaText(QStringView line, TFieldViews& fields) {
    fields.Clear();
    const QChar* p = line.data();
    const QChar* const end = p + line.size();
    auto skipBlanks = [&] {
        while (p < end && IsBlank(*p))
            ++p;
    };
    skipBlanks();
    while (p < end) {
        if (*p == u'"') {
            fields.AppendQuoted(p, end);
        } else {
            const QChar* start = p;
            while (p < end && !IsBlank(*p) && *p != u',')
                ++p;
            fields.Append(QStringView(start, p - start));
        }
        skipBlanks();
        if (p < end && *p == u',') {
            ++p;
            skipBlanks();
            if (p == end)
                fields.Append(QStringView());
        } else if (p < end) {
            throw EztException(QStringLiteral("Invalid delimited text"));
        }
    }
}

qsizetype FindLineBreak(QStringView text) {
    const QChar* const begin = text.begin();
    const QChar* const end = text.end();
    const QChar* p = begin;
    // CR and LF are below 0x0E; most characters are not.
    while (end - p >= 4 && !AnyBelow(FourUnits(p), 0x0E))
        p += 4;
    for (; p < end; ++p) {
        if (*p == u'\r' || *p == u'\n')
            return p - begin;
    }
    return -1;
}

std::vector<QStringView> SplitTextLines(const QString& text) {
    std::vector<QStringView> lines;
    const QStringView all(text);
    const qsizetype n = all.size();
    qsizetype start = 0;
    // Line feeds are found by Qt's vectorised search; a carriage return can
    // only stand within the piece up to the next one. A line feed found is
    // kept until passed: text of lone carriage returns is searched once.
    qsizetype lf = -1;
    while (start < n) {
        if (lf < start) {
            lf = all.indexOf(u'\n', start);
            if (lf < 0)
                lf = n;
        }
        const qsizetype cr = all.mid(start, lf - start).indexOf(u'\r');
        if (cr >= 0) {
            const qsizetype at = start + cr;
            lines.emplace_back(all.mid(start, at - start));
            start = at + (at + 1 < n && all[at + 1] == u'\n' ? 2 : 1);
            continue;
        }
        lines.emplace_back(all.mid(start, lf - start));
        start = lf + 1;
    }
    return lines;
}

bool IsBlankText(QStringView text) {
    for (QChar c : text) {
        if (c.unicode() > 32)
            return false;
    }
    return true;
}

QString TrimControl(const QString& text) {
    const QStringView trimmed = TrimControl(QStringView(text));
    return trimmed.size() == text.size() ? text : trimmed.toString();
}

QStringView TrimControl(QStringView text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= 32)
        ++first;
    while (last > first && text[last - 1].unicode() <= 32)
        --last;
    return text.mid(first, last - first);
}

namespace {

bool StartsSurrogatePair(QStringView text, qsizetype i) {
    return i + 1 < text.size() && text[i].isHighSurrogate() && text[i + 1].isLowSurrogate();
}

} // namespace

std::vector<qsizetype> CharacterOffsets(QStringView text) {
    std::vector<qsizetype> offsets;
    offsets.reserve(static_cast<size_t>(text.size()) + 1);
    for (qsizetype i = 0; i < text.size(); i += StartsSurrogatePair(text, i) ? 2 : 1)
        offsets.push_back(i);
    offsets.push_back(text.size());
    return offsets;
}

qsizetype CharacterCount(QStringView text) {
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); i += StartsSurrogatePair(text, i) ? 2 : 1)
        ++count;
    return count;
}

QString ShortenedText(const QString& text, qsizetype count) {
    qsizetype i = 0;
    for (qsizetype n = 0; n < count && i < text.size(); ++n)
        i += StartsSurrogatePair(text, i) ? 2 : 1;
    return i == text.size() ? text : text.left(i) + QStringLiteral("...");
}

QString DecodeReportBytes(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    // Not UTF-8: the reports of older installations are Windows-1252.
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString result(bytes.size(), Qt::Uninitialized);
    QChar* out = result.data();
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(high[b - 0x80]) : QChar(b);
    }
    return result;
}

int HexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

bool IsControlChar(QChar c) {
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F);
}

bool IsBidiControlChar(QChar c) {
    const char16_t u = c.unicode();
    return u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069);
}

QString EscapeControlChars(const QString& text) {
    return EscapeControls(text, klAll);
}

QString EscapeControlCharsInLine(const QString& text) {
    return EscapeControls(text, klNone);
}

QString EscapeTerminalText(const QString& text) {
    if (!text.contains(u'\r'))
        return EscapeControls(text, klTabAndLineFeed);
    QStringList lines = text.split(QLatin1String("\r\n"));
    for (QString& line : lines)
        line = EscapeControls(line, klTabAndLineFeed);
    return lines.join(QLatin1String("\r\n"));
}

QString NormaliseLineBreaks(const QString& text) {
    // Text already in CR LF throughout, most text, is not copied.
    qsizetype first = 0;
    for (; first < text.size(); ++first) {
        const QChar c = text.at(first);
        if (c == u'\n')
            break;
        if (c == u'\r') {
            if (first + 1 == text.size() || text.at(first + 1) != u'\n')
                break;
            ++first;
        }
    }
    if (first == text.size())
        return text;
    QString result = text.left(first);
    result.reserve(text.size() + 16);
    for (qsizetype i = first; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            result += QLatin1String("\r\n");
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
        } else {
            result += c;
        }
    }
    return result;
}

int StrToInt(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        throw EConvertError(Format("'%s' is not a valid integer value", {text}));
    return value;
}
