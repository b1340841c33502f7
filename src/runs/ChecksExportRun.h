// The checks export run: what the Run action of the checks page does. It
// takes the report from a file or the payroll service, opens QuickBooks,
// parses the report, exports the checks and reports the outcome in the log
// and in a box. Its inputs are an options record filled before it starts;
// it reaches everything else through the run context, so the window's
// worker thread, the command line and the tests run the same code. Each
// report posted is a run of the ledger, written ahead of every request set.
#pragma once

#include "runs/PostingRoad.h"

struct TChecksRunOptions {
    TReportSourceOptions Source;
    // The reports of the direct tab; a file holds either.
    TChecksReportChoice CheckKindChoice = crcEmployeeChecks;
    TQBChecksExportParam Checks;
    TPostingOptions Posting;
};

class TChecksExportRun {
public:
    explicit TChecksExportRun(TChecksRunOptions options);

    // Posts the reports of the source tab and the choice, one result each
    // in run order. A report that fails or is cancelled ends the run; a
    // cancel the employee report's wait took leaves the agency report to
    // fetch.
    const QList<TPostResult>& RunChecksExport(TRunContext& context);
    const QList<TPostResult>& Results() const { return m_results; }

private:
    TChecksRunOptions m_options;
    QList<TPostResult> m_results;
};

// "Orvane %s Export" with the kind name.
QString ChecksRunName(const QString& kindName);
