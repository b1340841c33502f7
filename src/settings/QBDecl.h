// The options of the QuickBooks export, their persistence in the settings
// store and their description in the log.
#pragma once

#include "logging/vlxcommonlogger.h"
#include "settings/ztSettings.h"

#include <QString>
#include <cstdint>

// What the part of a GL tag before the delimiter becomes.
enum TGLTagParsing : std::uint8_t {
    gtpDontParse = 0,   // the whole tag is the account
    gtpAssignClass = 1, // a QuickBooks class
    gtpAssignName = 2,  // a QuickBooks customer, set as the line's name
};

// How many requests the exports send to QuickBooks in one request set; each
// set costs one round trip through QuickBooks' request processor. No widget
// shows it: it is read from "BatchSize" of the option group (1 to
// MaxQBBatchSize; anything else gives the default) and never written by the
// program, so a value set in the settings stays. 1 sends every request alone.
constexpr int DefaultQBBatchSize = 50;
constexpr int MaxQBBatchSize = 500;

struct TQBGLExportParam {
    bool Clear = false;
    bool UseAccountNumbers = true;
    TGLTagParsing GLTagParsing = gtpDontParse;
    QString DelimiterInGLTag; // at most one character
    bool ExcludeManualChecks = false;
    bool SplitBillingByDBDT = false;
    int BatchSize = DefaultQBBatchSize; // above 1 the clearing joins the add's set

    friend bool operator==(const TQBGLExportParam& a, const TQBGLExportParam& b) {
        return a.Clear == b.Clear && a.UseAccountNumbers == b.UseAccountNumbers &&
               a.GLTagParsing == b.GLTagParsing && a.DelimiterInGLTag == b.DelimiterInGLTag &&
               a.ExcludeManualChecks == b.ExcludeManualChecks &&
               a.SplitBillingByDBDT == b.SplitBillingByDBDT && a.BatchSize == b.BatchSize;
    }
};

struct TQBChecksExportParam {
    bool Clear = false;
    QString CashAccount;      // full name of the bank account
    QString LiabilityAccount; // full name of the account of the expense and deposit lines
    bool IncludeDD = false;
    bool IncludeEENames = true;
    int BatchSize = DefaultQBBatchSize;

    friend bool operator==(const TQBChecksExportParam& a, const TQBChecksExportParam& b) {
        return a.Clear == b.Clear && a.CashAccount == b.CashAccount &&
               a.LiabilityAccount == b.LiabilityAccount && a.IncludeDD == b.IncludeDD &&
               a.IncludeEENames == b.IncludeEENames && a.BatchSize == b.BatchSize;
    }
};

// The report the checks page reads.
enum TChecksReportChoice : int {
    crcAllChecks = 0,
    crcEmployeeChecks = 1,
    crcAgencyChecks = 2,
};

// Settings keys of the option groups.
extern const QString QBGLExportOptionsKey;      // "QBGLExportOptions"
extern const QString QBChecksExportOptionsKey;  // "QBChecksExportOptions"
extern const QString OrvChecksExportOptionsKey; // "OrvChecksExportOptions"

// Values written by older versions keep their meaning: a store without
// "UseAccountNumbers" means account numbers, one with the boolean
// "ExtractClassFromGLTag" instead of "GLTagParsing" means classes.
TQBGLExportParam LoadGLExportParam(const IztSettings& settings, const QString& key);
void SaveGLExportParam(const TQBGLExportParam& param, IztSettings& settings, const QString& key);

TQBChecksExportParam LoadChecksExportParam(const IztSettings& settings, const QString& key);
void SaveChecksExportParam(const TQBChecksExportParam& param, IztSettings& settings,
                           const QString& key);

// Out-of-range stored values give Employee Checks.
int LoadChecksReportChoice(const IztSettings& settings, const QString& key);
void SaveChecksReportChoice(int choice, IztSettings& settings, const QString& key);

// The options as context items of the current log block.
void LogGLExportParam(ICommonLogger& logger, const TQBGLExportParam& param);
