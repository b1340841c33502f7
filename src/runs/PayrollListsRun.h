// "Get Orvane payroll list": logs in with the connection settings given,
// loads the clients, companies and the payrolls of the period, logs out.
// The tables are loaded on the run's thread and handed over afterwards to
// the lists the window shows.
#pragma once

#include "payroll/OrvPayrollLists.h"
#include "runs/RunContext.h"

#include <QDate>

struct TPayrollListsOptions {
    TOrvAPIConnectionParam Connection;
    QDate From;
    QDate To;
};

class TPayrollListsRun {
public:
    // The tables will belong to the thread that makes the run.
    explicit TPayrollListsRun(TPayrollListsOptions options);

    // Loads; throws the failure (logged) or EOperationCancelled.
    void LoadPayrollList(TRunContext& context);
    // The loaded tables, once.
    TOrvPayrollTables TakeTables() { return std::move(m_tables); }

private:
    TPayrollListsOptions m_options;
    QThread* m_owner;
    TOrvPayrollTables m_tables;
};

// The companies of the payroll service, for choosing one by its name: logs
// in, loads the client and company lists in the stage "Getting company
// list", logs out. Throws the failure (logged) or EOperationCancelled.
QList<TOrvCompanyDef> LoadOrvaneCompanies(TRunContext& context,
                                          const TOrvAPIConnectionParam& connection);
