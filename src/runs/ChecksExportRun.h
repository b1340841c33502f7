// The checks export run: what the Run action of the checks page does. It
// takes the report from a file or the payroll service, opens QuickBooks,
// parses the report, exports the checks and reports the outcome in the log
// and in a box. Its inputs are an options record filled before it starts;
// it reaches everything else through the run context, so the window's
// worker thread, the command line and the tests run the same code. Each
// report posted is a run of the ledger, written ahead of every request set.
#pragma once

#include "export/QBChecksExport.h"
#include "runs/CompanyGuard.h"
#include "runs/RunContext.h"
#include "runs/RunPreview.h"

#include <vector>

struct TChecksRunOptions {
    TReportSourceOptions Source;
    // The check kind choice of the direct tab (TChecksReportChoice).
    int CheckKindChoice = crcEmployeeChecks;
    TQBChecksExportParam Checks;
    TPostingOptions Posting;
};

// The outcome of one completed run of a kind.
struct TChecksRunOutcome {
    QString RunName; // "Orvane Employee Checks Export"
    TChecksExportResult Result;
    QString Summary;     // run name + " " + FormatChecksExportResult, or the preview's
    QString LedgerRunId; // empty where nothing was posted
};

class TChecksExportRun {
public:
    explicit TChecksExportRun(TChecksRunOptions options);

    // Runs the kinds of the source tab and kind choice. A failed kind ends
    // the run: it is logged with run name + " failed" and its error leaves
    // for the default error display. A cancel ends it too, after the
    // summary of what was done.
    void RunChecksExport(TRunContext& context);

    // The titled report texts of the runs since the page emptied it; kinds
    // are separated by a form feed.
    const QString& ReportText() const { return m_reportText; }
    void ClearReportText() { m_reportText.clear(); }
    // Kinds that reached their summary, in run order; an agency report of
    // payrolls without agency checks is one, with nothing counted.
    const std::vector<TChecksRunOutcome>& Outcomes() const { return m_outcomes; }
    // A preview's kinds that reached QuickBooks, in run order.
    const QList<TRunPreview>& Previews() const { return m_previews; }

private:
    enum TRunKind { rkEmployee, rkAgency, rkFile };
    void RunKind(TRunContext& context, std::unique_ptr<TRunLedger>& ledger, TRunKind kind);
    void AddReportPiece(const QString& kindName, const QString& text);

    TChecksRunOptions m_options;
    QString m_reportText;
    std::vector<TChecksRunOutcome> m_outcomes;
    QList<TRunPreview> m_previews;
};

// "Orvane %s Export" with the kind name.
QString ChecksRunName(const QString& kindName);
