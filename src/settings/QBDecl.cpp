#include "settings/QBDecl.h"

const QString QBGLExportOptionsKey = QStringLiteral("QBGLExportOptions");
const QString QBChecksExportOptionsKey = QStringLiteral("QBChecksExportOptions");
const QString OrvChecksExportOptionsKey = QStringLiteral("OrvChecksExportOptions");

namespace {

QString Name(const QString& key, const char* value) {
    return key + u'\\' + QLatin1String(value);
}

QString BoolText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

int LoadBatchSize(const IztSettings& settings, const QString& key) {
    const int size = settings.GetAsInteger(Name(key, "BatchSize"));
    return size >= 1 && size <= MaxQBBatchSize ? size : DefaultQBBatchSize;
}

} // namespace

TQBGLExportParam LoadGLExportParam(const IztSettings& settings, const QString& key) {
    const QStringList names = settings.GetValueNames(key);
    TQBGLExportParam param;
    param.Clear = settings.GetAsBoolean(Name(key, "Clear"));
    param.UseAccountNumbers = !names.contains(QStringLiteral("UseAccountNumbers")) ||
                              settings.GetAsBoolean(Name(key, "UseAccountNumbers"));
    int parsing = 0;
    if (!names.contains(QStringLiteral("GLTagParsing")))
        parsing = settings.GetAsBoolean(Name(key, "ExtractClassFromGLTag")) ? 1 : 0;
    else
        parsing = settings.GetAsInteger(Name(key, "GLTagParsing"));
    // Negative numbers were out of range of the one-byte field as well.
    param.GLTagParsing =
        parsing >= gtpDontParse && parsing <= gtpAssignName ? TGLTagParsing(parsing) : gtpDontParse;
    const QString delimiter = settings.GetAsString(Name(key, "DelimiterInGLTag"));
    // One character, never half of a surrogate pair.
    param.DelimiterInGLTag =
        delimiter.left(!delimiter.isEmpty() && delimiter[0].isHighSurrogate() ? 2 : 1);
    param.ExcludeManualChecks = settings.GetAsBoolean(Name(key, "ExcludeManualChecks"));
    param.SplitBillingByDBDT = settings.GetAsBoolean(Name(key, "SplitBillingByDBDT"));
    param.BatchSize = LoadBatchSize(settings, key);
    return param;
}

void SaveGLExportParam(const TQBGLExportParam& param, IztSettings& settings, const QString& key) {
    settings.SetAsBoolean(Name(key, "Clear"), param.Clear);
    settings.SetAsBoolean(Name(key, "UseAccountNumbers"), param.UseAccountNumbers);
    settings.SetAsInteger(Name(key, "GLTagParsing"), param.GLTagParsing);
    settings.SetAsString(Name(key, "DelimiterInGLTag"), param.DelimiterInGLTag);
    settings.SetAsBoolean(Name(key, "ExcludeManualChecks"), param.ExcludeManualChecks);
    settings.SetAsBoolean(Name(key, "SplitBillingByDBDT"), param.SplitBillingByDBDT);
}

TQBChecksExportParam LoadChecksExportParam(const IztSettings& settings, const QString& key) {
    TQBChecksExportParam param;
    param.Clear = settings.GetAsBoolean(Name(key, "Clear"));
    param.CashAccount = settings.GetAsString(Name(key, "CashAccount"));
    param.LiabilityAccount = settings.GetAsString(Name(key, "LiabilityAccount"));
    param.IncludeDD = settings.GetAsBoolean(Name(key, "IncludeDD"));
    param.IncludeEENames = settings.GetValue(Name(key, "IncludeEENames"), true).toBool();
    param.BatchSize = LoadBatchSize(settings, key);
    return param;
}

void SaveChecksExportParam(const TQBChecksExportParam& param, IztSettings& settings,
                           const QString& key) {
    settings.SetAsBoolean(Name(key, "Clear"), param.Clear);
    settings.SetAsString(Name(key, "CashAccount"), param.CashAccount);
    settings.SetAsString(Name(key, "LiabilityAccount"), param.LiabilityAccount);
    settings.SetAsBoolean(Name(key, "IncludeDD"), param.IncludeDD);
    settings.SetAsBoolean(Name(key, "IncludeEENames"), param.IncludeEENames);
}

int LoadChecksReportChoice(const IztSettings& settings, const QString& key) {
    const int choice = settings.GetAsInteger(Name(key, "Kind"));
    // A negative choice would leave the page with no report selected.
    return choice >= crcAllChecks && choice <= crcAgencyChecks ? choice : crcEmployeeChecks;
}

void SaveChecksReportChoice(int choice, IztSettings& settings, const QString& key) {
    settings.SetAsInteger(Name(key, "Kind"), choice);
}

void LogGLExportParam(ICommonLogger& logger, const TQBGLExportParam& param) {
    logger.LogContextItem(QStringLiteral("Clear"), BoolText(param.Clear));
    logger.LogContextItem(QStringLiteral("Treat GL tags as"),
                          param.UseAccountNumbers ? QStringLiteral("account numbers")
                                                  : QStringLiteral("account full names"));
    QString parsing;
    switch (param.GLTagParsing) {
    case gtpAssignClass:
        parsing = QStringLiteral("Assign class");
        break;
    case gtpAssignName:
        parsing = QStringLiteral("Assign name");
        break;
    default:
        parsing = QStringLiteral("Don't parse");
        break;
    }
    logger.LogContextItem(QStringLiteral("GL tag parsing"), parsing);
    logger.LogContextItem(QStringLiteral("Delimiter"), param.DelimiterInGLTag);
    logger.LogContextItem(QStringLiteral("Exclude manual checks"),
                          BoolText(param.ExcludeManualChecks));
    logger.LogContextItem(QStringLiteral("Split billing by D/B/D/T"),
                          BoolText(param.SplitBillingByDBDT));
}
