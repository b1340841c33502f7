#include "settings/RegionalSettingsGroup.h"

namespace {

// A separator is one visible character that is no digit or letter; a sign
// cannot separate decimals, though "-" separates dates well.
bool SeparatorFrom(const QString& text, bool decimal, QChar& result) {
    if (text.size() != 1)
        return false;
    const QChar c = text[0];
    if (c.isLetterOrNumber() || c.isSpace() || !c.isPrint())
        return false;
    if (decimal && (c == u'-' || c == u'+'))
        return false;
    result = c;
    return true;
}

} // namespace

TRegionalSettings ReadRegionalSettings(const IztSettings& settings,
                                       const TRegionalSettings& system) {
    TRegionalSettings result = system;
    const QString order =
        settings.GetAsString(QStringLiteral("RegionalSettings\\DateOrder")).trimmed().toUpper();
    if (order == u"MDY")
        result.DateOrder = TDateOrder::MonthDayYear;
    else if (order == u"DMY")
        result.DateOrder = TDateOrder::DayMonthYear;
    else if (order == u"YMD")
        result.DateOrder = TDateOrder::YearMonthDay;
    const QString yearDigits =
        settings.GetAsString(QStringLiteral("RegionalSettings\\YearDigits")).trimmed();
    if (yearDigits == u"2" || yearDigits == u"4")
        result.YearDigits = yearDigits.toInt();
    SeparatorFrom(settings.GetAsString(QStringLiteral("RegionalSettings\\DateSeparator")), false,
                  result.DateSeparator);
    SeparatorFrom(settings.GetAsString(QStringLiteral("RegionalSettings\\DecimalSeparator")), true,
                  result.DecimalSeparator);
    // Thousands go in groups of blanks in much of Europe.
    const QString thousands =
        settings.GetAsString(QStringLiteral("RegionalSettings\\ThousandSeparator"));
    if (thousands.size() == 1 && (thousands[0] == u' ' || thousands[0] == QChar(0xA0)))
        result.ThousandSeparator = thousands[0];
    else
        SeparatorFrom(thousands, true, result.ThousandSeparator);
    return result;
}

TRegionalSettings LoadRegionalSettings(const IztSettings& settings) {
    const TRegionalSettings result = ReadRegionalSettings(settings, SystemRegionalSettings());
    SetRegionalSettings(result);
    return result;
}
