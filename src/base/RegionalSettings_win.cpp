#include "base/RegionalSettings.h"

#include <windows.h>

namespace {

QString LocaleText(LCTYPE type) {
    wchar_t buffer[128] = {};
    const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 128);
    return n > 1 ? QString::fromWCharArray(buffer, n - 1) : QString();
}

} // namespace

// The workstation's short-date order, separator and year digits and its
// decimal and thousands separators.
TRegionalSettings SystemRegionalSettings() {
    TRegionalSettings settings;
    const QString shortDate = LocaleText(LOCALE_SSHORTDATE).toLower();
    const qsizetype d = shortDate.indexOf(u'd');
    const qsizetype m = shortDate.indexOf(u'm');
    const qsizetype y = shortDate.indexOf(u'y');
    if (d >= 0 && m >= 0 && y >= 0) {
        if (y < m && m < d)
            settings.DateOrder = TDateOrder::YearMonthDay;
        else if (d < m)
            settings.DateOrder = TDateOrder::DayMonthYear;
        else
            settings.DateOrder = TDateOrder::MonthDayYear;
    }
    // "yy" writes two digits, "yyyy" four; a lone "y" is no year a report can carry.
    settings.YearDigits = shortDate.count(u'y') >= 3 ? 4 : 2;
    for (QChar c : shortDate) {
        if (c != u'd' && c != u'm' && c != u'y' && c != u' ') {
            settings.DateSeparator = c;
            break;
        }
    }
    const QString decimal = LocaleText(LOCALE_SDECIMAL);
    if (decimal.size() == 1)
        settings.DecimalSeparator = decimal[0];
    const QString thousands = LocaleText(LOCALE_STHOUSAND);
    if (thousands.size() == 1 && thousands[0] != settings.DecimalSeparator)
        settings.ThousandSeparator = thousands[0];
    return settings;
}
