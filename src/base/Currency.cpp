#include "base/Currency.h"

#include <limits>

namespace {

bool IsBlank(QChar c) {
    return c.unicode() <= 32;
}

// 10^n for n in 0..4.
constexpr qint64 Pow10[] = {1, 10, 100, 1000, 10000};

} // namespace

bool Currency::TryParse(QStringView text, QChar decimalSeparator, Currency& result) {
    const QChar* p = text.data();
    const QChar* end = p + text.size();
    while (p < end && IsBlank(*p))
        ++p;
    while (end > p && IsBlank(end[-1]))
        --end;

    bool negative = false;
    if (p < end && (*p == u'+' || *p == u'-'))
        negative = *p++ == u'-';

    // The digits without leading zeros, and how many stand before the
    // separator. Only the first 20 digits can count (the rounding digit
    // stands at most at 19); the rest are only counted.
    constexpr qint64 KeptDigits = 20;
    char digits[KeptDigits];
    qint64 digitCount = 0;
    qint64 integerDigits = 0;
    bool anyDigit = false;
    bool afterSeparator = false;
    for (; p < end; ++p) {
        const char16_t u = p->unicode();
        if (u >= u'0' && u <= u'9') {
            anyDigit = true;
            if (digitCount == 0 && u == u'0') {
                if (afterSeparator)
                    --integerDigits; // 0.05: the point moves left past the zero
                continue;
            }
            if (digitCount < KeptDigits)
                digits[digitCount] = char(u - u'0');
            ++digitCount;
            if (!afterSeparator)
                ++integerDigits;
        } else if (*p == decimalSeparator && !afterSeparator) {
            afterSeparator = true;
        } else {
            return false;
        }
    }
    if (!anyDigit)
        return false;

    if (digitCount == 0) {
        result = Currency();
        return true;
    }

    // The digits up to `cut` make the count of ten-thousandths.
    const qint64 cut = integerDigits + 4;
    if (cut > 19)
        return false;
    qint64 raw = 0;
    for (qint64 i = 0; i < cut; ++i) {
        const int digit = i < digitCount ? digits[i] : 0;
        if (__builtin_mul_overflow(raw, qint64(10), &raw) ||
            __builtin_add_overflow(raw, qint64(digit), &raw))
            return false;
    }
    if (cut >= 0 && cut < digitCount && digits[cut] >= 5) {
        if (__builtin_add_overflow(raw, qint64(1), &raw))
            return false;
    }
    result = Currency(negative ? -raw : raw);
    return true;
}

Currency Currency::Rounded(int decimals) const {
    if (decimals >= 4)
        return *this;
    const auto unit = static_cast<quint64>(Pow10[4 - qMax(0, decimals)]);
    const quint64 magnitude =
        m_raw < 0 ? 0 - static_cast<quint64>(m_raw) : static_cast<quint64>(m_raw);
    quint64 rounded = (magnitude + unit / 2) / unit * unit;
    if (rounded > static_cast<quint64>(std::numeric_limits<qint64>::max()))
        rounded -= unit; // the range's very edge rounds toward zero instead
    const auto value = static_cast<qint64>(rounded);
    return Currency(m_raw < 0 ? -value : value);
}

QString Currency::ToFixed(int decimals, QChar decimalSeparator) const {
    decimals = qBound(0, decimals, 4);
    const qint64 raw = Rounded(decimals).m_raw;
    const quint64 magnitude = raw < 0 ? 0 - static_cast<quint64>(raw) : static_cast<quint64>(raw);
    QString text = QString::number(magnitude / Scale);
    if (decimals > 0) {
        const quint64 fraction = (magnitude % Scale) / static_cast<quint64>(Pow10[4 - decimals]);
        text += decimalSeparator + QString::number(fraction).rightJustified(decimals, u'0');
    }
    return raw < 0 ? u'-' + text : text;
}

QString Currency::ToMoney(QChar decimalSeparator, QChar thousandSeparator) const {
    QString text = ToFixed(2, decimalSeparator);
    const qsizetype units = text.size() - 3;
    const qsizetype firstDigit = text.startsWith(u'-') ? 1 : 0;
    for (qsizetype at = units - 3; at > firstDigit; at -= 3)
        text.insert(at, thousandSeparator);
    return text;
}

QString Currency::ToString(QChar decimalSeparator) const {
    QString text = ToFixed(4, decimalSeparator);
    if (m_raw % Scale == 0)
        return text.left(text.indexOf(decimalSeparator));
    while (text.endsWith(u'0'))
        text.chop(1);
    return text;
}
