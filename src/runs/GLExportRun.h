// The GL export run: the journal report from a file or the payroll service,
// parsed, validated against QuickBooks, and posted as one journal entry after
// the user confirmed a date that already has one.
#pragma once

#include "export/QBJournalExport.h"
#include "runs/CompanyGuard.h"
#include "runs/RunContext.h"
#include "runs/RunPreview.h"
#include "settings/QBDecl.h"

#include <QString>

struct TGLRunOptions {
    TReportSourceOptions Source;
    TQBGLExportParam GL;
    TPostingOptions Posting;
};

extern const QString GLExportRunName; // "Orvane Journal Export"

// The user answered No to the duplicate-date question.
class EGLExportAborted : public EztException {
public:
    EGLExportAborted();
};

class TGLExportRun {
public:
    explicit TGLExportRun(TGLRunOptions options);

    // The Run action. Logs the run in its own block and shows the success
    // box; a failure is logged with the warning "... failed" and travels on
    // to the caller's error display. A cancel before the posting posts
    // nothing. An entry that is, or may be, in QuickBooks although its
    // clearing failed or an answer was lost is no failure: it is logged with
    // a warning saying so and shown in an error box with what to do
    // (ExportState tells it apart).
    void RunGLExport(TRunContext& context);

    // How the last run left the journal entry: jesDone also when it failed
    // (nothing posted) or did not get as far.
    TJournalExportState ExportState() const { return m_exportState; }

    // The journal exactly as the last run read or fetched it, set before it
    // is parsed so a journal that fails can still be printed.
    const QString& ReportText() const { return m_reportText; }
    // The ledger run of the last posting; empty where nothing was sent.
    const QString& LedgerRunId() const { return m_ledgerRunId; }

    // What the last run, a preview, would do; none until one reached
    // QuickBooks.
    const std::optional<TRunPreview>& Preview() const { return m_preview; }

    // The journal entries the last posting added and found existing, as
    // the end box counts them.
    struct TEntryCounts {
        int Added = 0;
        int Existed = 0;
    };

    // Parses ReportText, opens QuickBooks, validates, asks about a date that
    // already has a journal entry and exports, recording the run in the
    // ledger. Nothing is posted unless the whole journal validated and the
    // user agreed.
    TJournalExportResult ExportGLReport(TRunContext& context, TRunLedger& ledger);

private:
    TGLRunOptions m_options;
    QString m_reportText;
    QString m_ledgerRunId;
    TJournalExportState m_exportState = jesDone;
    std::optional<TRunPreview> m_preview;
    TEntryCounts m_entries;
};
