#include "settings/ztSettingsFile.h"

#include "base/vlxTextUtils.h"

#include <QIODevice>
#include <QMap>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

bool IsOctalDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'7';
}

// QSettings' escapes of one letter and the characters they stand for.
constexpr std::pair<char16_t, char16_t> LetterEscapes[] = {
    {u'a', u'\a'}, {u'b', u'\b'}, {u'f', u'\f'}, {u'n', u'\n'},
    {u'r', u'\r'}, {u't', u'\t'}, {u'v', u'\v'}};

// The number of a "\x" or octal escape, digits taken as long as they come.
QChar NumericEscape(QStringView text, qsizetype& i, int base) {
    uint code = 0;
    for (; i < text.size() && HexDigitValue(text[i]) >= 0 && HexDigitValue(text[i]) < base; ++i)
        code = (code * uint(base) + uint(HexDigitValue(text[i]))) & 0xFFFF;
    return QChar(char16_t(code));
}

// QSettings' escapes of one quoted string; false unless the text is exactly
// one such string, its closing quote the last character.
bool DecodeQuoted(QStringView text, QString& result) {
    if (text.size() < 2 || text.front() != u'"')
        return false;
    QString out;
    const qsizetype n = text.size();
    qsizetype i = 1;
    while (i < n) {
        const QChar c = text[i++];
        if (c == u'"') {
            if (i != n)
                return false;
            // QSettings' own mark for text that begins with "@".
            if (out.startsWith(QLatin1String("@@")))
                out.remove(0, 1);
            result = out;
            return true;
        }
        if (c != u'\\' || i == n) {
            out += c;
            continue;
        }
        const QChar e = text[i];
        const auto letter = std::find_if(std::begin(LetterEscapes), std::end(LetterEscapes),
                                         [e](const auto& pair) { return pair.first == e; });
        if (letter != std::end(LetterEscapes)) {
            out += QChar(letter->second);
            ++i;
        } else if (e == u'x' && i + 1 < n && HexDigitValue(text[i + 1]) >= 0) {
            ++i;
            out += NumericEscape(text, i, 16);
        } else if (IsOctalDigit(e)) {
            out += NumericEscape(text, i, 8);
        } else if (QStringView(u"\"'?\\").contains(e)) {
            out += e;
            ++i;
        } else {
            // No escape of QSettings: the backslash stays as written.
            out += c;
        }
    }
    return false;
}

// A surrogate without its other half: UTF-8 cannot carry it as it is.
bool IsLoneSurrogate(const QString& text, qsizetype i) {
    const QChar c = text[i];
    if (c.isHighSurrogate())
        return i + 1 >= text.size() || !text[i + 1].isLowSurrogate();
    if (c.isLowSurrogate())
        return i == 0 || !text[i - 1].isHighSurrogate();
    return false;
}

// QSettings' quoting, as its INI writer quotes; a lone surrogate (a "\x"
// escape may make one) is written as an escape too, so it reads back.
QString EncodeQuoted(const QString& value) {
    QString out = QStringLiteral("\"");
    if (value.startsWith(u'@'))
        out += u'@';
    bool afterNumber = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        const auto letter = std::find_if(std::begin(LetterEscapes), std::end(LetterEscapes),
                                         [c](const auto& pair) { return pair.second == c; });
        // A digit after a numeric escape would be read as part of it.
        const bool number =
            IsControlChar(c) || IsLoneSurrogate(value, i) || (afterNumber && HexDigitValue(c) >= 0);
        if (c == u'"' || c == u'\\')
            out += u'\\' + QString(c);
        else if (letter != std::end(LetterEscapes))
            out += u'\\' + QString(QChar(letter->first));
        else if (c == u'\0')
            out += QLatin1String("\\0");
        else if (number)
            out += QStringLiteral("\\x") + QString::number(c.unicode(), 16);
        else
            out += c;
        afterNumber = number && letter == std::end(LetterEscapes);
    }
    return out + u'"';
}

// Keys as QSettings' INI format writes them: letters, digits, "_", "-" and
// "." as they are, "/" as "\", any other character as %XX or %UXXXX.
QString EscapeKey(const QString& key) {
    QString out;
    for (const QChar c : key) {
        const char16_t u = c.unicode();
        if (u == u'/')
            out += u'\\';
        else if ((u < 0x80 && c.isLetterOrNumber()) || u == u'_' || u == u'-' || u == u'.')
            out += c;
        else if (u <= 0xFF)
            out += u'%' + QString::number(u, 16).toUpper().rightJustified(2, u'0');
        else
            out += QStringLiteral("%U") + QString::number(u, 16).toUpper().rightJustified(4, u'0');
    }
    return out;
}

QString UnescapeKey(QStringView key) {
    QString out;
    const qsizetype n = key.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = key[i];
        if (c == u'\\') {
            out += u'/';
            ++i;
            continue;
        }
        if (c == u'%' && i + 1 < n) {
            const bool wide = key[i + 1] == u'U';
            const qsizetype first = i + (wide ? 2 : 1);
            const qsizetype digits = wide ? 4 : 2;
            bool ok = first + digits <= n;
            const ushort code = ok ? key.mid(first, digits).toUShort(&ok, 16) : 0;
            if (ok) {
                out += QChar(code);
                i = first + digits;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

QString SectionText(const QString& section) {
    if (section.isEmpty())
        return QStringLiteral("General");
    if (section.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
        return u'%' + section;
    return EscapeKey(section);
}

QString SectionFromText(QStringView text) {
    if (text.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
        return QString();
    if (text.compare(QLatin1String("%general"), Qt::CaseInsensitive) == 0)
        return text.mid(1).toString();
    return UnescapeKey(text);
}

// A key as QSettings looks it up: no "/" at either end and none doubled. A
// file may hold others ("Key/=", "Key\=", "[Group\]"); kept as written,
// they could never be found, and the writer would turn one ending in "/"
// into a line without a key, which the reader skips: the value would be lost.
QString NormalizedKey(const QString& key) {
    return key.split(u'/', Qt::SkipEmptyParts).join(u'/');
}

} // namespace

bool ReadSettingsFile(QIODevice& device, QSettings::SettingsMap& map) {
    QString text = QString::fromUtf8(device.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QString prefix;
    for (const QStringView line : SplitTextLines(text)) {
        const QStringView t = line.trimmed();
        if (t.isEmpty() || t.front() == u';' || t.front() == u'#')
            continue;
        if (t.front() == u'[') {
            const qsizetype close = t.indexOf(u']');
            const QString section = SectionFromText(t.mid(1, close < 0 ? -1 : close - 1).trimmed());
            prefix = section.isEmpty() ? QString() : section + u'/';
            continue;
        }
        const qsizetype equals = t.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString key = NormalizedKey(prefix + UnescapeKey(t.left(equals).trimmed()));
        if (!key.isEmpty())
            map.insert(key, SettingsFileValue(t.mid(equals + 1)));
    }
    return true;
}

bool WriteSettingsFile(QIODevice& device, const QSettings::SettingsMap& map) {
    // Sections in order, the keys of the root first under [General].
    QMap<QString, QString> sections;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const qsizetype slash = it.key().indexOf(u'/');
        const QString section = slash < 0 ? QString() : it.key().left(slash);
        const QString name = slash < 0 ? it.key() : it.key().mid(slash + 1);
        sections[section] +=
            EscapeKey(name) + u'=' + SettingsFileValueText(it.value().toString()) + u'\n';
    }
    QString text;
    for (auto it = sections.cbegin(); it != sections.cend(); ++it) {
        if (!text.isEmpty())
            text += u'\n';
        text += u'[' + SectionText(it.key()) + QStringLiteral("]\n") + it.value();
    }
    const QByteArray bytes = text.toUtf8();
    return device.write(bytes) == bytes.size();
}

QString SettingsFileValue(QStringView written) {
    const QStringView value = written.trimmed();
    QString decoded;
    return DecodeQuoted(value, decoded) ? decoded : value.toString();
}

QString SettingsFileValueText(const QString& value) {
    const bool literal = !value.startsWith(u'"') && value.trimmed().size() == value.size() &&
                         std::none_of(value.cbegin(), value.cend(), IsControlChar) &&
                         value.isValidUtf16();
    return literal ? value : EncodeQuoted(value);
}

QSettings::Format SettingsFileFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), ReadSettingsFile, WriteSettingsFile);
    return format;
}
