// The road both export runs take with one report: read from its file or
// fetched from the payroll service, guarded, previewed or posted, and
// reported. Each run adds what its report needs (how it is fetched, parsed
// and exported, the words of its end); what became of the report is a
// TPostResult, which the window, the command line and the bureau read.
#pragma once

#include "export/QBChecksExport.h"
#include "runs/CompanyGuard.h"
#include "runs/LedgerRunWriter.h"
#include "runs/RunContext.h"
#include "runs/RunPreview.h"

#include <exception>
#include <memory>

enum TPostState {
    psPosted,        // records that failed are among the problems
    psUncertain,     // the journal entry is, or may be, in QuickBooks although its
                     // clearing failed or an answer was lost: not to be posted again
    psPreviewed,     // nothing in QuickBooks changed
    psNothingToPost, // the agency report of payrolls that paid no agency
    psNoReport,      // the service's report did not come: a failed task, a cancelled wait
    psCancelled,     // stopped at a safe point; records begun were finished
    psFailed,        // logged as "... failed"; Failure says why
};

struct TPostCounts {
    // A preview's counted as posting would count them.
    TChecksExportResult Checks;
    int JournalEntriesAdded = 0;
    int JournalEntriesExisted = 0;
    // Of the checks and deposits added, and of the journal entries added:
    // two sums, never one.
    Currency NetPay;
    Currency Journal;
};

struct TPostResult {
    QString RunName; // "Orvane Employee Checks Export"
    TReportKind Kind = rkNone;
    TPostState State = psFailed;
    // The ledger run written, a preview's too; empty where none was begun.
    QString LedgerRunId;
    TLedgerTarget Company;
    // The report as the page prints it; empty where none came.
    QString ReportText;
    // The run's last line ("... completed: ..."); empty where it has none.
    QString Summary;
    // A preview's records and the question posting would ask.
    std::optional<TRunPreview> Preview;
    TPostCounts Counts;
    // Records that failed (or that a preview asks a look at), why the run
    // failed, and with the answer-No policy every box of an error and every
    // question, answered No.
    QStringList Problems;
    std::exception_ptr Failure;
};

// A failure's message as a problem of a report: unlike ErrorDisplayMessage,
// with its line breaks.
QString ProblemMessage(const std::exception_ptr& failure);
// The failure of the first result that failed, for the caller's error
// display; nothing when none failed.
void RethrowPostFailure(const QList<TPostResult>& results);
// The previews among results, in run order.
QList<TRunPreview> PostPreviews(const QList<TPostResult>& results);
// The reports of results as printed, separated by a form feed.
QString PrintedReports(const QList<TPostResult>& results);

// A run stopped by the user before it posted anything: "User cancelled
// operation", then run name + " failed".
void LogRunCancelled(ICommonLogger& logger, const QString& runName);

class TPostingRoad {
public:
    TPostingRoad(TRunContext& context, TReportSourceOptions source, TPostingOptions posting,
                 QString runName);
    virtual ~TPostingRoad();
    TPostingRoad(const TPostingRoad&) = delete;
    TPostingRoad& operator=(const TPostingRoad&) = delete;

    // The report's way in the run's log block; ledger is opened by the
    // first report of a run, before anything is fetched. A cancel and a
    // failure end here, the same way for every run.
    TPostResult Run(std::unique_ptr<TRunLedger>& ledger);

protected:
    // What the run's report needs.
    virtual void LogOptions() {}
    // The file's context item: "Orvane Checks file".
    virtual QString FileItem() const = 0;
    // The file's text goes to the developer log under FileItem.
    virtual bool LogsFileText() const { return false; }
    virtual TFetchedReport Fetch(IDirectReportSource& source) = 0;
    // The report as the page prints it; the report itself by default.
    virtual QString ReportPiece(const TFetchedReport& report) const;
    // Ends the road before QuickBooks is opened (EndNothingToPost) when
    // true.
    virtual bool NothingToPost(const QString&) { return false; }
    // "Creating QuickBooks Transactions"
    virtual QString WaitText() const = 0;
    // Posts or previews the report while the run's wait shows.
    virtual void Post(const QString& report) = 0;
    // Once the wait is over and QuickBooks closed: logs and tells the
    // user what came of it, ending the road (EndPosted, EndPreview,
    // EndCancelled).
    virtual void End() = 0;

    // The steps a Post takes.
    TRunContext& Context() const { return m_context; }
    ICommonLogger& Logger() const { return *m_context.Logger; }
    const TReportSourceOptions& Source() const { return m_source; }
    const TPostingOptions& Posting() const { return m_posting; }
    bool Previewing() const { return m_posting.Preview; }
    TRunLedger& Ledger() const { return *m_ledger; }
    const QString& RunName() const { return m_result.RunName; }
    TPostResult& Result() { return m_result; }
    TRunPreview& Preview() { return m_preview; }
    // QuickBooks for the run; a preview's refuses every change.
    std::unique_ptr<TQBConnection> OpenQuickBooks();
    // The ledger run's start into the company the connection has open,
    // which is shown; guards the source against it.
    TLedgerRunStart Start(TQBConnection& qb, TReportKind kind, const QString& options);
    // Posting only: the guard's question, asked as the posting options
    // say. Throws ECompanyGuardRefused.
    void Confirm();
    // Begins the ledger run once; a posting records the source's pairing.
    TLedgerRunWriter& Writer(const TLedgerRunStart& start);
    bool Writing() const { return m_writer != nullptr; }
    // What the export is to tell: on to the writer, noted for the result.
    IExportObserver& Observer();
    // Posting only: the company's unknown outcomes settled before posting.
    void ResolveUnknownOutcomes(TQBConnection& qb, int batchSize);
    // The run's boxes and questions, as the posting options say.
    IUserDialogs& Dialogs() const { return *m_dialogs; }
    void EndPosted(TPostState state, const QString& summary);
    void EndPreview();
    void EndNothingToPost(const QString& summary);
    // Summary: what the records begun came to; empty when none was begun.
    void EndCancelled(const QString& summary);

private:
    class TPolicyDialogs;
    class TNoting;
    // Of a run that reached its end: the counts, before End tells them;
    // the records that want a look, after what End showed.
    void Count();
    void NoteRecordProblems();

    TRunContext& m_context;
    const TReportSourceOptions m_source;
    const TPostingOptions m_posting;
    TRunLedger* m_ledger = nullptr;
    std::unique_ptr<IUserDialogs> m_dialogs;
    std::unique_ptr<TCompanyGuard> m_guard;
    std::unique_ptr<TLedgerRunWriter> m_writer;
    std::unique_ptr<TNoting> m_noting;
    TRunPreview m_preview;
    TPostResult m_result;
};
