// The company and payrolls the user chose for a direct export, the report
// parameters built from them and the log items that describe them.
#pragma once

#include "logging/vlxcommonlogger.h"
#include "payroll/xmlrpc/XmlRpcTypes.h"

#include <QDateTime>
#include <QString>
#include <vector>

// Shown for the client items: the company list does not carry them.
extern const QString OrvUnavailable;

struct TOrvCompanyDef {
    qint32 ClNbr = 0;
    qint32 CoNbr = 0;
    QString CompanyNumber;
    QString CompanyName;
    QString ClientNumber = OrvUnavailable;
    QString ClientName = OrvUnavailable;
};

struct TPrDef {
    QDateTime CheckDate;
    qint32 RunNumber = 0;
    qint32 PrNbr = 0;
};
using TPrDefs = std::vector<TPrDef>;

struct TOrvPayrollsDef {
    TOrvCompanyDef Company;
    TPrDefs Payrolls;
};

// One time clock batch of a payroll.
struct TOrvPayrollBatchDef {
    TOrvCompanyDef Company;
    QDateTime CheckDate;
    qint32 RunNumber = 0;
    qint32 PrNbr = 0;
    qint32 BatchNbr = 0;
};

// "Clients" [ClNbr], "Companies" [CoNbr], "Company" CoNbr, "Payrolls" [PrNbr...].
IRpcStructPtr ReportParamsFromPayrolls(const TOrvPayrollsDef& payrolls);

// "%s (run #%d)": the check date in the user's short date format.
QString PayrollCaption(const QDateTime& checkDate, qint32 runNumber);

void LogCompanyDef(ICommonLogger& logger, const TOrvCompanyDef& company);
void LogPayrollsDef(ICommonLogger& logger, const TOrvPayrollsDef& payrolls);
void LogPayrollBatchDef(ICommonLogger& logger, const TOrvPayrollBatchDef& batch,
                        bool withCompany = true);
