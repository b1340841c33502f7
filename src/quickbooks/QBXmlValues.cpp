// The value forms of qbXML: amounts and dates.
#include "quickbooks/QBXml.h"

#include "base/ztFormat.h"

QString QBAmountToText(Currency amount) {
    // QuickBooks refuses anything but whole cents; rounding here would
    // silently change money, so the caller must hand cents.
    if (amount.Raw() % 100 != 0)
        throw EQBError(Format("The amount %s has more than two decimals; QuickBooks takes "
                              "amounts in whole cents.",
                              {amount.ToString()}));
    constexpr qint64 limit = 10000000000000LL * Currency::Scale; // 13 integer digits
    if (amount.Raw() >= limit || amount.Raw() <= -limit)
        throw EQBError(Format("The amount %s is too large for QuickBooks.", {amount.ToString()}));
    return amount.ToFixed(2);
}

bool QBTextToAmount(const QString& text, Currency& amount) {
    // [+-]?digits(.digits)? with at most four decimals: QuickBooks writes two.
    int i = 0;
    const int n = text.size();
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    qint64 units = 0;
    int intDigits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
        if (++intDigits > 14)
            return false;
        units = units * 10 + (text[i++].unicode() - '0');
    }
    if (intDigits == 0)
        return false;
    qint64 fraction = 0;
    int fracDigits = 0;
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
            if (++fracDigits > 4)
                return false;
            fraction = fraction * 10 + (text[i++].unicode() - '0');
        }
        if (fracDigits == 0)
            return false;
    }
    if (i != n)
        return false;
    for (int d = fracDigits; d < 4; ++d)
        fraction *= 10;
    const qint64 raw = units * Currency::Scale + fraction;
    amount = Currency::FromRaw(negative ? -raw : raw);
    return true;
}

QString QBDateToText(const QDate& date) {
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        throw EQBError(QStringLiteral("A transaction date is not a valid date."));
    return date.toString(u"yyyy-MM-dd");
}
