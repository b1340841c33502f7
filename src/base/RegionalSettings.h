// The regional settings every date and amount conversion goes through:
// short-date order and separator, decimal and thousands separators.
#pragma once

#include "base/Currency.h"

#include <QDate>
#include <QString>

enum class TDateOrder { MonthDayYear, DayMonthYear, YearMonthDay };

struct TRegionalSettings {
    TDateOrder DateOrder = TDateOrder::MonthDayYear;
    QChar DateSeparator = u'/';
    QChar DecimalSeparator = u'.';
    // The year's digits in the short-date format: 4 ("3/8/2024") or 2 ("3/8/24").
    int YearDigits = 4;
    // Groups the units of amounts shown (one equal to the decimal separator
    // gives way to the other of "," and ".").
    QChar ThousandSeparator = u',';

    friend bool operator==(const TRegionalSettings& a, const TRegionalSettings& b) {
        return a.DateOrder == b.DateOrder && a.DateSeparator == b.DateSeparator &&
               a.DecimalSeparator == b.DecimalSeparator && a.YearDigits == b.YearDigits &&
               a.ThousandSeparator == b.ThousandSeparator;
    }
};

// The workstation's settings: read from the system on Windows; month/day/year
// with "/" and "." elsewhere (the payroll service's US reports).
TRegionalSettings SystemRegionalSettings();

// The settings in force: month/day/year with "/" and "." (the payroll
// service's) until the program's core puts the workstation's in force (the
// system's, then the stored "RegionalSettings" group) for its life; a test
// of another format sets them through the guard below.
const TRegionalSettings& RegionalSettings();
void SetRegionalSettings(const TRegionalSettings& settings);

class TRegionalSettingsOverride {
public:
    explicit TRegionalSettingsOverride(const TRegionalSettings& settings)
        : m_saved(RegionalSettings()) {
        SetRegionalSettings(settings);
    }
    ~TRegionalSettingsOverride() { SetRegionalSettings(m_saved); }
    TRegionalSettingsOverride(const TRegionalSettingsOverride&) = delete;
    TRegionalSettingsOverride& operator=(const TRegionalSettingsOverride&) = delete;

private:
    TRegionalSettings m_saved;
};

// Short-date text in the settings' order: one- or two-digit day and month,
// a year of up to four digits (two-digit years fall into the 50-year window
// around the current year), surrounding blanks ignored; with two parts the
// current year is taken. Throws EConvertError "'%s' is not a valid date".
QDate StrToDate(const QString& text);
QDate StrToDate(QStringView text, const TRegionalSettings& settings, int currentYear);
// A date as a report writes it in the short-date format: day, month and the
// year, which has the format's number of digits (a two-digit year falls into
// the window above) or four. A date without its year, or with fewer digits
// than the format writes, could post in the wrong year: it is refused.
// Throws EConvertError "'%s' is not a valid date".
QDate StrToReportDate(QStringView text, const TRegionalSettings& settings, int currentYear);
// Short-date text: "3/7/2024" for month/day/year with "/".
QString DateToStr(const QDate& date);

// Throws EConvertError "'%s' is not a valid floating point value".
Currency StrToCurr(QStringView text);
inline Currency StrToCurr(const QString& text) {
    return StrToCurr(QStringView(text));
}
QString CurrToStr(Currency value);
// Every amount shown on screen or printed: "1,068.90" (Currency::ToMoney
// with the settings' separators). Data files keep CurrToStr's form.
QString MoneyToStr(Currency value);
