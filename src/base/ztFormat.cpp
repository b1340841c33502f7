#include "base/ztFormat.h"

#include "base/ztExceptions.h"

namespace {

struct TConversion {
    QString flags;
    int width = -1;
    int precision = -1;
    QChar conversion;
};

QString Pad(QString text, const TConversion& conv) {
    if (conv.width < 0 || text.size() >= conv.width)
        return text;
    const int fill = conv.width - static_cast<int>(text.size());
    if (conv.flags.contains(u'-'))
        return text + QString(fill, u' ');
    const bool zeroPad = conv.flags.contains(u'0') && conv.conversion != u's';
    if (zeroPad) {
        int signLen =
            (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+' || text[0] == u' ')) ? 1 : 0;
        return text.left(signLen) + QString(fill, u'0') + text.mid(signLen);
    }
    return QString(fill, u' ') + text;
}

QString WithSign(QString digits, bool negative, const TConversion& conv) {
    if (negative)
        return u'-' + digits;
    if (conv.flags.contains(u'+'))
        return u'+' + digits;
    if (conv.flags.contains(u' '))
        return u' ' + digits;
    return digits;
}

QString FormatOne(const TConversion& conv, const TFormatArg& arg) {
    const auto& v = arg.Value();
    switch (conv.conversion.unicode()) {
    case 's': {
        OrvAssert(std::holds_alternative<QString>(v));
        QString text = std::get<QString>(v);
        if (conv.precision >= 0)
            text.truncate(conv.precision);
        return Pad(text, conv);
    }
    case 'd':
    case 'i':
    case 'u': {
        OrvAssert(std::holds_alternative<qint64>(v));
        const qint64 n = std::get<qint64>(v);
        // Magnitude as unsigned so the smallest qint64 formats too.
        const quint64 magnitude = n < 0 ? 0 - static_cast<quint64>(n) : static_cast<quint64>(n);
        QString digits = QString::number(magnitude);
        if (conv.precision > digits.size())
            digits.prepend(QString(conv.precision - digits.size(), u'0'));
        return Pad(WithSign(digits, n < 0, conv), conv);
    }
    case 'x':
    case 'X': {
        OrvAssert(std::holds_alternative<qint64>(v));
        QString digits = QString::number(static_cast<quint64>(std::get<qint64>(v)), 16);
        if (conv.conversion == u'X')
            digits = digits.toUpper();
        return Pad(digits, conv);
    }
    case 'f':
    case 'e':
    case 'g': {
        double d = 0;
        if (std::holds_alternative<double>(v))
            d = std::get<double>(v);
        else if (std::holds_alternative<qint64>(v))
            d = static_cast<double>(std::get<qint64>(v));
        else
            OrvAssert(false);
        const int precision = conv.precision >= 0 ? conv.precision : 6;
        const char fmt = static_cast<char>(conv.conversion.unicode());
        const bool negative = d < 0;
        QString digits = QString::number(negative ? -d : d, fmt, precision);
        return Pad(WithSign(digits, negative, conv), conv);
    }
    default:
        OrvAssert(false);
    }
    return QString();
}

} // namespace

QString Format(const QString& format, const TFormatArgs& args) {
    QString result;
    result.reserve(format.size() + 16);
    size_t next = 0;
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = format[i];
        if (c != u'%') {
            result += c;
            continue;
        }
        OrvAssert(i + 1 < n);
        if (format[i + 1] == u'%') {
            result += u'%';
            ++i;
            continue;
        }
        TConversion conv;
        qsizetype j = i + 1;
        while (j < n && QStringView(u"-+ 0#").contains(format[j]))
            conv.flags += format[j++];
        if (j < n && format[j].isDigit()) {
            conv.width = 0;
            while (j < n && format[j].isDigit())
                conv.width = conv.width * 10 + format[j++].digitValue();
        }
        if (j < n && format[j] == u'.') {
            ++j;
            conv.precision = 0;
            while (j < n && format[j].isDigit())
                conv.precision = conv.precision * 10 + format[j++].digitValue();
        }
        OrvAssert(j < n);
        conv.conversion = format[j];
        OrvAssert(next < args.size());
        result += FormatOne(conv, args[next++]);
        i = j;
    }
    return result;
}
