// The company and payroll selection of the export pages: the company frame
// on the left, the payrolls of the current company on the right, several
// selectable. The selection is read when a run starts.
#pragma once

#include "logging/vlxcommonlogger.h"
#include "payroll/OrvData.h"
#include "payroll/orvAPIConnection.h"

#include <QDate>
#include <QWidget>

class TOrvaneCompanyFrm;
class TOrvaneDsFrm;
class TOrvPayrollLists;

class TOrvaneMultiplePayrollFrm : public QWidget {
    Q_OBJECT
public:
    explicit TOrvaneMultiplePayrollFrm(QWidget* parent = nullptr);

    // The logger of the log-ins (LoadPayrollList).
    void SetLogger(ICommonLoggerPtr logger) { m_logger = std::move(logger); }
    // Where the stored queries and the certificates are found; default: the
    // program's redirection file.
    void SetEnvironment(const TOrvAPIEnvironment& environment);
    const TOrvAPIEnvironment& Environment() const { return m_environment; }

    // Loads clients, companies and the payrolls of the period over the
    // connection, with the window's progress. A failure leaves the frame
    // without tables (not ready) and goes on to the caller.
    void LoadPayrolls(IOrvAPIConnection& connection, const QDate& from, const QDate& to);
    // The "Get Orvane payroll list" load: logs in with param, loads inside
    // the wait indication "Getting payroll list", logs out. Requires a logger.
    void LoadPayrollList(const TOrvAPIConnectionParam& param, const QDate& from, const QDate& to);

    // A company is current and its payroll list has at least one row.
    bool IsReady() const;
    // The current company and the selected payrolls of it in table order
    // (the current payroll when none is selected); requires IsReady.
    TOrvPayrollsDef GetSelectedPayrolls() const;

    TOrvPayrollLists& Lists();

    TOrvaneCompanyFrm* CompanyFrame;
    TOrvaneDsFrm* PayrollsFrm; // "Payrolls"

private:
    void BindPayrolls();

    ICommonLoggerPtr m_logger;
    TOrvAPIEnvironment m_environment;
};
