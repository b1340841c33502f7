// The bureau run: every company of the ledger's company map, its payrolls of
// a check-date period that the ledger does not hold as exported, each posted
// into the company's own QuickBooks file by the checks and GL export runs,
// unattended. Each payroll and kind is claimed in the ledger first, so two
// workstations sharing the ledger never export it both; every question a
// run asks is answered No and reported; a company that fails is reported and
// the run goes on with the next.
#pragma once

#include "runs/PostingRoad.h"
#include "runs/RunContext.h"
#include "settings/QBDecl.h"

#include <QDate>
#include <QList>
#include <QStringList>

struct TBureauRunOptions {
    TOrvAPIConnectionParam Connection;
    QDate From;
    QDate To;
    // How QuickBooks is reached; each map row names the company file.
    TQBConnectionConfig QuickBooks;
    // The saved options the map does not hold (batch sizes, GL tags); the
    // map row's accounts and switches replace the rest.
    TQBChecksExportParam Checks;
    TQBGLExportParam GL;
    int ClaimSeconds = DefaultClaimSeconds;
    // Every company up to posting: the results say what each payroll would
    // post; nothing in QuickBooks changes and nothing is claimed (each run
    // is recorded in the ledger as a preview).
    bool Preview = false;
};

enum TBureauExportState {
    besExported, // posted, or previewed; its record problems, if any, are the company's
    besHeld,     // claimed by another workstation
    besFailed,   // the run failed; nothing more of the company was tried
};

// One payroll of one report kind.
struct TBureauExport {
    QString Payroll; // the internal payroll number
    QString Caption; // check date and run number
    TReportKind Kind = rkNone;
    TBureauExportState State = besExported;
    TChecksExportResult Checks;
    int JournalEntries = 0;
    // Of the checks and deposits added (the net pay), and of the journal
    // entries added: two sums, never one.
    Currency NetPay;
    Currency Journal;
    // Who holds the claim, whose expired claim was taken up, why it failed.
    QString Note;
};

struct TBureauCompanyResult {
    TBureauMapEntry Entry;
    QString CompanyName; // Orvane's; empty when the company was not found
    QList<TBureauExport> Exports;
    // Failures, failed records and questions answered No, each a message
    // with its advice.
    QStringList Problems;

    bool NeedsAttention() const { return !Problems.isEmpty(); }
};

// What the report counts, for one company or all.
struct TBureauTotals {
    int Companies = 0;
    int CompaniesNeedingAttention = 0;
    int PayrollsExported = 0; // distinct payrolls with a kind posted
    int ChecksAdded = 0;
    int ChecksExisted = 0;
    int ChecksFailed = 0;
    int DepositsAdded = 0;
    int Voids = 0;
    int JournalEntries = 0;
    int Held = 0;
    Currency NetPay;
    Currency Journal;
};
TBureauTotals BureauTotals(const QList<TBureauCompanyResult>& companies);

class TBureauRun {
public:
    explicit TBureauRun(TBureauRunOptions options);

    // Runs every mapped company. Throws what stops all of them (the ledger,
    // an empty map, the payroll list that cannot be loaded) and
    // EOperationCancelled; what one company meets is in its result.
    void Run(TRunContext& context);

    const QList<TBureauCompanyResult>& Companies() const { return m_companies; }
    bool IsPreview() const { return m_options.Preview; }
    // No company needs attention, and the run was not stopped.
    bool AllWentThrough() const;
    // Why the run as a whole stopped ("the run failed: ...", "the run was
    // cancelled"); empty when it went through every company.
    const QString& Stopped() const { return m_stopped; }

private:
    class TProgressOfRows;
    void RunCompany(TRunContext& context, TRunLedger& ledger, class TOrvPayrollLists& lists,
                    TBureauCompanyResult& company, const QString& position);
    // False when the company stops here.
    bool ExportPayroll(TRunContext& context, TRunLedger& ledger, TBureauCompanyResult& company,
                       const TOrvPayrollsDef& payroll, TReportKind kind, TBureauExport& out);
    // The payroll's export of the kind, its questions answered No.
    TPostResult RunExport(TRunContext& run, const TBureauMapEntry& entry,
                          const TOrvPayrollsDef& payroll, TReportKind kind);
    // Throws when the company session's file holds another company than
    // the row recorded: whoever may write the ledger could point a row at
    // another client's file.
    void CheckCompanyFile(TRunContext& context, const TBureauMapEntry& entry);

    TBureauRunOptions m_options;
    QList<TBureauCompanyResult> m_companies;
    QString m_stopped;
    // The QuickBooks session of the company under way.
    std::shared_ptr<class TCompanySession> m_session;
    bool m_fileChecked = false; // the session's file holds the row's company
    // The payroll-service session of the run, lent to every payroll's fetch.
    std::shared_ptr<TStableOrvAPIConnection> m_orvane;
};

// Opens the row's company file and refuses a row whose accounts it does not
// hold: throws EztException with the reason. Returns the QuickBooks company
// the file holds, for the row to keep.
QString CheckBureauMapEntry(TRunContext& context, const TQBConnectionConfig& quickBooks,
                            const TBureauMapEntry& entry);

// A new row of the map, checked by CheckBureauMapEntry and added with the
// QuickBooks company its file holds; a company mapped already is refused,
// never replaced. Returns the row as stored.
TBureauMapEntry AddBureauMapEntry(TRunContext& context, TRunLedger& ledger,
                                  const TQBConnectionConfig& quickBooks, TBureauMapEntry entry);
// The company's row replaced by entry, checked the same way.
void ReplaceBureauMapEntry(TRunContext& context, TRunLedger& ledger,
                           const TQBConnectionConfig& quickBooks, TBureauMapEntry entry);

// The report kinds a map row exports, checks before the journal.
QList<TReportKind> BureauReportKinds(const TBureauMapEntry& entry);
