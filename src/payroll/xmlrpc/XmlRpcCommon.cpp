#include "payroll/xmlrpc/XmlRpcCommon.h"

#include "base/ztFormat.h"

#include <cmath>
#include <cstdio>

QString XmlEscape(const QString& text) {
    // Most values hold nothing to escape; avoid five copies for them.
    bool plain = true;
    for (QChar c : text) {
        if (c == u'&' || c == u'<' || c == u'>' || c == u'"' || c == u'\'') {
            plain = false;
            break;
        }
    }
    if (plain)
        return text;
    QString result;
    result.reserve(text.size() + 16);
    for (QChar c : text) {
        switch (c.unicode()) {
        case '&':
            result += QLatin1String("&amp;");
            break;
        case '<':
            result += QLatin1String("&lt;");
            break;
        case '>':
            result += QLatin1String("&gt;");
            break;
        case '"':
            result += QLatin1String("&quot;");
            break;
        case '\'':
            result += QLatin1String("&apos;");
            break;
        default:
            result += c;
        }
    }
    return result;
}

QString XmlUnescape(const QString& text) {
    if (!text.contains(u'&'))
        return text;
    QString result = text;
    result.replace(QLatin1String("&lt;"), QLatin1String("<"));
    result.replace(QLatin1String("&gt;"), QLatin1String(">"));
    result.replace(QLatin1String("&quot;"), QLatin1String("\""));
    result.replace(QLatin1String("&apos;"), QLatin1String("'"));
    result.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return result;
}

QString FormatIso8601(const QDateTime& value) {
    const QDate d = value.date();
    const QTime t = value.time();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02dT%02d:%02d:%02d", d.year(), d.month(),
                  d.day(), t.hour(), t.minute(), t.second());
    return QString::fromLatin1(buffer);
}

namespace {

[[noreturn]] void ThrowNotDate(const QString& text) {
    throw EConvertError(Format("'%s' is not a valid date and time", {text.left(64)}));
}

int DigitsAt(const QString& text, int from, int count) {
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const QChar c = text.at(i);
        if (c < u'0' || c > u'9')
            ThrowNotDate(text);
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

} // namespace

QDateTime ParseIso8601(const QString& text) {
    if (text.size() < 17)
        ThrowNotDate(text);
    const QDate date(DigitsAt(text, 0, 4), DigitsAt(text, 4, 2), DigitsAt(text, 6, 2));
    const QTime time(DigitsAt(text, 9, 2), DigitsAt(text, 12, 2), DigitsAt(text, 15, 2));
    if (!date.isValid() || !time.isValid())
        ThrowNotDate(text);
    // Naive date-times: UTC keeps them clear of daylight-saving gaps.
    return QDateTime(date, time, Qt::UTC);
}

QString EncodeBase64(const QByteArray& content) {
    const QByteArray flat = content.toBase64();
    QByteArray lines;
    lines.reserve(flat.size() + flat.size() / 76 * 2 + 2);
    for (qsizetype pos = 0; pos < flat.size(); pos += 76) {
        if (pos > 0)
            lines += "\r\n";
        lines.append(flat.constData() + pos, qMin<qsizetype>(76, flat.size() - pos));
    }
    return QString::fromLatin1(lines);
}

QByteArray DecodeBase64(const QString& encoded) {
    QByteArray clean;
    clean.reserve(encoded.size());
    for (QChar c : encoded) {
        const char16_t u = c.unicode();
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
            u == '+' || u == '/')
            clean += char(u);
    }
    // Padding was skipped with everything else; restore it for the decoder.
    while (clean.size() % 4 != 0)
        clean += '=';
    return QByteArray::fromBase64(clean);
}

QString FormatRpcDouble(double value) {
    if (!std::isfinite(value))
        throw EXmlRpcError(QStringLiteral("A double that is not a finite number cannot be sent"));
    if (value == 0)
        return QStringLiteral("0");
    char buffer[64];
    // %g is locale-dependent only through the decimal point; the C++ runtime
    // of this program never calls setlocale, so "." is guaranteed here, but
    // make sure anyway.
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    QString text = QString::fromLatin1(buffer).replace(u',', u'.');
    const qsizetype e = text.indexOf(u'E');
    if (e < 0)
        return text;
    // "1.5E+20" -> "1.5E20", "1E-05" -> "1E-5".
    QString mantissa = text.left(e);
    QString exponent = text.mid(e + 1);
    QString sign;
    if (exponent.startsWith(u'-'))
        sign = QStringLiteral("-");
    exponent.remove(0, exponent.startsWith(u'-') || exponent.startsWith(u'+') ? 1 : 0);
    while (exponent.size() > 1 && exponent.startsWith(u'0'))
        exponent.remove(0, 1);
    return mantissa + u'E' + sign + exponent;
}

qint32 RpcTextToInteger(const QString& text) {
    bool ok = false;
    const QString trimmed = text.trimmed();
    const int value = trimmed.toInt(&ok, 10);
    if (!ok || trimmed.isEmpty())
        throw EConvertError(Format("'%s' is not a valid integer value", {text.left(64)}));
    return value;
}

double RpcTextToDouble(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw EConvertError(Format("'%s' is not a valid floating point value", {text.left(64)}));
    return value;
}

bool RpcTextToBoolean(const QString& text) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    const qlonglong number = trimmed.toLongLong(&ok, 10);
    if (ok)
        return number != 0;
    if (trimmed.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    throw EConvertError(Format("'%s' is not a valid boolean value", {text.left(64)}));
}
