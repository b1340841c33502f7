// Checks reports S1910 (employee checks) and S1911 (agency checks) as records.
#pragma once

#include "base/Currency.h"
#include "ledger/ReportKind.h"

#include <QDate>
#include <QString>
#include <vector>

class ICommonLogger;

struct TCheckRecord {
    bool IsEmployeeCheck = false;
    QString FirstName;
    QString MiddleInitial;
    QString LastName;
    QString Payee;
    QString Memo;
    QDate CheckDate;
    QString CheckNumber;
    Currency Amount;
};
using TCheckRecords = std::vector<TCheckRecord>;

struct TCheckDateRange {
    QDate FromDate;
    QDate ToDate;
};

// One record per report line, in line order. Throws EztException with the
// user's message; a failing line is logged in its own block first. Given
// the source (the file's path, or the report's name), the message of a line
// that fails names it and the line (ReportLineMessage). kind rkNone takes
// either checks report, as its first line tells.
TCheckRecords ParseChecksReport(ICommonLogger& logger, const QString& reportText, TReportKind kind,
                                const QString& source = QString());
// True for the agency report of payrolls without agency checks: its only
// line is the "Payroll Agency" placeholder (ParseChecksReport refuses it).
bool IsEmptyAgencyReport(const QString& reportText);
// fieldCount is 5 (agency) or 7 (employee).
TCheckRecord ParseCheckRecord(ICommonLogger& logger, const QString& line, int fieldCount);
// Earliest and latest check date; records must not be empty.
TCheckDateRange GetCheckDateRange(const TCheckRecords& records);
