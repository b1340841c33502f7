#include "base/RegionalSettings.h"

#include "base/ztExceptions.h"
#include "base/ztFormat.h"

namespace {

TRegionalSettings& Current() {
    static TRegionalSettings settings;
    return settings;
}

// A run of one to `maxDigits` ASCII digits, nothing else.
bool ParseNumber(QStringView part, int maxDigits, int& value) {
    if (part.isEmpty() || part.size() > maxDigits)
        return false;
    value = 0;
    for (QChar c : part) {
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c.unicode() - u'0');
    }
    return true;
}

// Two-digit years fall into the 50 years before and the 49 after the current year.
int ExpandYear(int year, int currentYear) {
    const int centuryBase = currentYear - 50;
    year += centuryBase / 100 * 100;
    if (year < centuryBase)
        year += 100;
    return year;
}

EConvertError InvalidDate(QStringView text) {
    return EConvertError(Format(QStringLiteral("'%s' is not a valid date"), {text.toString()}));
}

// The date of the text, and the length of its year part (0 without one).
QDate ParseShortDate(QStringView text, const TRegionalSettings& settings, int currentYear,
                     qsizetype& yearLength) {
    const QStringView trimmed = text.trimmed();
    // Two or three parts at the separator, found without a list.
    QStringView parts[3];
    qsizetype count = 0;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= trimmed.size(); ++i) {
        if (i < trimmed.size() && trimmed[i] != settings.DateSeparator)
            continue;
        if (count == 3)
            throw InvalidDate(text);
        parts[count++] = trimmed.mid(from, i - from);
        from = i + 1;
    }
    if (count != 2 && count != 3)
        throw InvalidDate(text);

    int day = 0, month = 0, year = currentYear;
    bool ok = true;
    bool shortYear = false;
    auto parseYear = [&](QStringView part) {
        ok = ok && ParseNumber(part, 4, year);
        shortYear = part.size() <= 2;
        yearLength = part.size();
    };
    if (count == 2) {
        const bool dayFirst = settings.DateOrder == TDateOrder::DayMonthYear;
        ok = ParseNumber(parts[dayFirst ? 0 : 1], 2, day) &&
             ParseNumber(parts[dayFirst ? 1 : 0], 2, month);
    } else {
        switch (settings.DateOrder) {
        case TDateOrder::MonthDayYear:
            ok = ParseNumber(parts[0], 2, month) && ParseNumber(parts[1], 2, day);
            parseYear(parts[2]);
            break;
        case TDateOrder::DayMonthYear:
            ok = ParseNumber(parts[0], 2, day) && ParseNumber(parts[1], 2, month);
            parseYear(parts[2]);
            break;
        case TDateOrder::YearMonthDay:
            parseYear(parts[0]);
            ok = ok && ParseNumber(parts[1], 2, month) && ParseNumber(parts[2], 2, day);
            break;
        }
    }
    if (!ok)
        throw InvalidDate(text);
    if (shortYear)
        year = ExpandYear(year, currentYear);
    const QDate date(year, month, day);
    if (year < 1 || !date.isValid())
        throw InvalidDate(text);
    return date;
}

} // namespace

const TRegionalSettings& RegionalSettings() {
    return Current();
}

void SetRegionalSettings(const TRegionalSettings& settings) {
    Current() = settings;
}

QDate StrToDate(const QString& text) {
    return StrToDate(text, RegionalSettings(), QDate::currentDate().year());
}

QDate StrToDate(QStringView text, const TRegionalSettings& settings, int currentYear) {
    qsizetype yearLength = 0;
    return ParseShortDate(text, settings, currentYear, yearLength);
}

QDate StrToReportDate(QStringView text, const TRegionalSettings& settings, int currentYear) {
    qsizetype yearLength = 0;
    const QDate date = ParseShortDate(text, settings, currentYear, yearLength);
    if (yearLength != 4 && yearLength != settings.YearDigits)
        throw InvalidDate(text);
    return date;
}

QString DateToStr(const QDate& date) {
    const TRegionalSettings& s = RegionalSettings();
    const QString sep(s.DateSeparator);
    const QString d = QString::number(date.day());
    const QString m = QString::number(date.month());
    const QString y = QString::number(date.year()).rightJustified(4, u'0');
    switch (s.DateOrder) {
    case TDateOrder::DayMonthYear:
        return d + sep + m + sep + y;
    case TDateOrder::YearMonthDay:
        return y + sep + m + sep + d;
    case TDateOrder::MonthDayYear:
        break;
    }
    return m + sep + d + sep + y;
}

Currency StrToCurr(QStringView text) {
    Currency value;
    if (!Currency::TryParse(text, RegionalSettings().DecimalSeparator, value))
        throw EConvertError(
            Format(QStringLiteral("'%s' is not a valid floating point value"), {text.toString()}));
    return value;
}

QString CurrToStr(Currency value) {
    return value.ToString(RegionalSettings().DecimalSeparator);
}

QString MoneyToStr(Currency value) {
    const TRegionalSettings& s = RegionalSettings();
    // A decimal comma set alone must not group with commas as well.
    const QChar thousands = s.ThousandSeparator != s.DecimalSeparator ? s.ThousandSeparator
                            : s.DecimalSeparator == u','              ? u'.'
                                                                      : u',';
    return value.ToMoney(s.DecimalSeparator, thousands);
}
