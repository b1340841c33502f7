#include "payroll/OrvData.h"

#include "base/RegionalSettings.h"
#include "base/ztFormat.h"

#include <QStringList>

const QString OrvUnavailable = QStringLiteral("<unavailable>");

namespace {

IRpcArrayPtr IntArray(std::initializer_list<qint32> values) {
    IRpcArrayPtr array = NewRpcArray();
    for (qint32 value : values)
        array->AddItem(value);
    return array;
}

} // namespace

IRpcStructPtr ReportParamsFromPayrolls(const TOrvPayrollsDef& payrolls) {
    IRpcStructPtr params = NewRpcStruct();
    params->AddItem(QStringLiteral("Clients"), IntArray({payrolls.Company.ClNbr}));
    params->AddItem(QStringLiteral("Companies"), IntArray({payrolls.Company.CoNbr}));
    params->AddItem(QStringLiteral("Company"), payrolls.Company.CoNbr);
    IRpcArrayPtr numbers = NewRpcArray();
    for (const TPrDef& payroll : payrolls.Payrolls)
        numbers->AddItem(payroll.PrNbr);
    params->AddItem(QStringLiteral("Payrolls"), numbers);
    return params;
}

QString PayrollCaption(const QDateTime& checkDate, qint32 runNumber) {
    return Format(QStringLiteral("%s (run #%d)"), {DateToStr(checkDate.date()), runNumber});
}

void LogCompanyDef(ICommonLogger& logger, const TOrvCompanyDef& company) {
    logger.LogContextItem(QStringLiteral("Client#"), company.ClientNumber);
    logger.LogContextItem(QStringLiteral("Client"), company.ClientName);
    logger.LogContextItem(QStringLiteral("Company#"), company.CompanyNumber);
    logger.LogContextItem(QStringLiteral("Company"), company.CompanyName);
    logger.LogContextItem(QStringLiteral("Internal Client#"), QString::number(company.ClNbr));
    logger.LogContextItem(QStringLiteral("Internal Company#"), QString::number(company.CoNbr));
}

void LogPayrollsDef(ICommonLogger& logger, const TOrvPayrollsDef& payrolls) {
    LogCompanyDef(logger, payrolls.Company);
    QStringList captions;
    QStringList numbers;
    for (const TPrDef& payroll : payrolls.Payrolls) {
        captions << PayrollCaption(payroll.CheckDate, payroll.RunNumber);
        numbers << QString::number(payroll.PrNbr);
    }
    logger.LogContextItem(QStringLiteral("Pr"), captions.join(QStringLiteral(", ")));
    logger.LogContextItem(QStringLiteral("Internal Pr#"), numbers.join(QStringLiteral(", ")));
}

void LogPayrollBatchDef(ICommonLogger& logger, const TOrvPayrollBatchDef& batch, bool withCompany) {
    if (withCompany)
        LogCompanyDef(logger, batch.Company);
    logger.LogContextItem(QStringLiteral("Pr"), PayrollCaption(batch.CheckDate, batch.RunNumber));
    logger.LogContextItem(QStringLiteral("Internal Pr#"), QString::number(batch.PrNbr));
    logger.LogContextItem(QStringLiteral("Internal Batch#"), QString::number(batch.BatchNbr));
}
