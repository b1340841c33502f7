#include "runs/PostingRoad.h"

#include "base/vlxErrorDisplay.h"
#include "base/vlxTextUtils.h"
#include "reports/ReportFile.h"
#include "runs/LedgerReport.h"
#include "runs/UnknownOutcomes.h"

namespace {

// The payroll service as the report source of the options, or "Reports
// cannot be fetched from Orvane here. ..." when they have none.
IDirectReportSourcePtr OpenDirectReportSource(TRunContext& context,
                                              const TReportSourceOptions& source) {
    if (!source.Direct)
        throw EztException(QStringLiteral(
            "Reports cannot be fetched from Orvane here. Export a report file instead."));
    return context.OpenDirectSource(*source.Direct);
}

// A check's or deposit's amount is net pay; a journal entry's is apart.
void AddAmount(TPostCounts& counts, const TExportNote& record) {
    (record.Kind == lekJournalEntry ? counts.Journal : counts.NetPay) += record.Amount;
}

} // namespace

QString ProblemMessage(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const EztException& e) {
        return e.Message();
    } catch (...) {
        return ErrorDisplayMessage(failure);
    }
}

void RethrowPostFailure(const QList<TPostResult>& results) {
    for (const TPostResult& result : results)
        if (result.Failure)
            std::rethrow_exception(result.Failure);
}

QList<TRunPreview> PostPreviews(const QList<TPostResult>& results) {
    QList<TRunPreview> previews;
    for (const TPostResult& result : results)
        if (result.Preview)
            previews << *result.Preview;
    return previews;
}

QString PrintedReports(const QList<TPostResult>& results) {
    QString text;
    for (const TPostResult& result : results) {
        if (result.ReportText.trimmed().isEmpty())
            continue;
        if (!text.isEmpty())
            text += QChar(12);
        text += result.ReportText;
    }
    return text;
}

void LogRunCancelled(ICommonLogger& logger, const QString& runName) {
    logger.LogWarning(QStringLiteral("User cancelled operation"));
    logger.LogWarning(runName + QStringLiteral(" failed"));
}

// The run's dialogs, or nobody's: every question answered No, and what
// would have been an error box or a question kept as a problem.
class TPostingRoad::TPolicyDialogs : public IUserDialogs {
public:
    TPolicyDialogs(IUserDialogsPtr host, TQuestionPolicy policy, QStringList& problems)
        : m_host(std::move(host)), m_policy(policy), m_problems(problems) {}

protected:
    void DoShowInformation(const QString& message) override {
        if (m_policy == qpAsk)
            m_host->ShowInformation(message);
    }
    void DoShowError(const QString& message) override {
        if (m_policy == qpAsk)
            m_host->ShowError(message);
        else
            m_problems << message;
    }
    TQuestionAnswer DoAsk(const TQuestion& question) override {
        if (m_policy == qpAsk)
            return m_host->Ask(question);
        m_problems << QStringLiteral("Answered No: ") + question.Text;
        return {};
    }

private:
    IUserDialogsPtr m_host;
    TQuestionPolicy m_policy;
    QStringList& m_problems;
};

// Every record the export settles, clearings too, on its way to the
// preview's records and the ledger.
class TPostingRoad::TNoting : public IExportObserver {
public:
    TNoting(TRunPreview& preview, IExportObserver& writer) : m_collector(preview, &writer) {}
    void Sending(const TExportNotes& records) override { m_collector.Sending(records); }
    void Settled(const TExportNotes& records) override {
        Notes << records;
        m_collector.Settled(records);
    }

    TExportNotes Notes;

private:
    TPreviewCollector m_collector;
};

TPostingRoad::TPostingRoad(TRunContext& context, TReportSourceOptions source,
                           TPostingOptions posting, QString runName)
    : m_context(context), m_source(std::move(source)), m_posting(std::move(posting)) {
    OrvAssert(context.Logger != nullptr && context.ConnectQB != nullptr &&
              (context.Dialogs != nullptr || m_posting.Questions == qpAnswerNo));
    m_result.RunName = std::move(runName);
    m_dialogs =
        std::make_unique<TPolicyDialogs>(context.Dialogs, m_posting.Questions, m_result.Problems);
}

TPostingRoad::~TPostingRoad() = default;

QString TPostingRoad::ReportPiece(const TFetchedReport& report) const {
    return report.value_or(QString());
}

TPostResult TPostingRoad::Run(std::unique_ptr<TRunLedger>& ledger) {
    ICommonLogger& logger = Logger();
    TLogBlockGuard block(logger, RunName());
    try {
        LogOptions();
        logger.LogEvent(RunName() + QStringLiteral(" started"));
        // Nothing is fetched for a run that could not record what it posts.
        if (!ledger)
            ledger = OpenRunLedger(m_context);
        m_ledger = ledger.get();

        TFetchedReport report;
        IDirectReportSourcePtr direct;
        if (m_source.Tab == rstFile) {
            const QString& path = m_source.FileName;
            logger.LogContextItem(FileItem(), path);
            const QString text = TextReportOrEmpty(ReadReportFile(path));
            // Escaped for the log, a report of control characters takes four
            // times its size: only a developer log wants it.
            if (LogsFileText() && logger.WantsMessage(lmDebug))
                logger.LogDebug(FileItem(), text);
            report = text;
        } else {
            direct = OpenDirectReportSource(m_context, m_source);
            report = Fetch(*direct);
        }
        m_result.ReportText = ReportPiece(report);
        if (!report) {
            m_result.State = psNoReport;
            EndRunWithoutReport(logger, Dialogs(), direct.get(), RunName());
            return m_result;
        }
        if (NothingToPost(*report))
            return m_result;
        // Nothing is opened for a run cancelled meanwhile.
        m_context.Cancel->CheckPoint();
        {
            TWaitGuard wait(*m_context.Progress, WaitText());
            Post(*report);
            m_writer.reset();
        }
        Count();
        End();
        NoteRecordProblems();
    } catch (const EOperationCancelled&) {
        m_writer.reset();
        EndCancelled(QString());
    } catch (...) {
        m_writer.reset();
        m_result.State = psFailed;
        m_result.Failure = std::current_exception();
        m_result.Problems << ProblemMessage(m_result.Failure);
        try {
            logger.PassthroughExceptionAndWarnFmt(QStringLiteral("%s failed"), {RunName()});
        } catch (...) {
            // Logged once, here; the caller's error display shows Failure.
        }
    }
    return m_result;
}

std::unique_ptr<TQBConnection> TPostingRoad::OpenQuickBooks() {
    std::unique_ptr<TQBConnection> qb = m_context.ConnectQB(m_context.Logger);
    OrvAssert(qb != nullptr);
    qb->SetPreviewOnly(m_posting.Preview);
    return qb;
}

TLedgerRunStart TPostingRoad::Start(TQBConnection& qb, TReportKind kind, const QString& options) {
    TLedgerRunStart start;
    start.Kind = m_posting.Preview ? lrkPreview : kind == rkJournal ? lrkGL : lrkChecks;
    start.ReportKind = kind;
    start.Source =
        m_source.Tab == rstFile ? FileRunSource(m_source.FileName) : ServiceRunSource(m_source);
    start.Target = ShowOpenCompany(m_context, qb);
    start.Options = options;
    m_result.Kind = kind;
    m_result.Company = start.Target;
    m_guard = std::make_unique<TCompanyGuard>(Ledger(), start.Source, OrvaneCompanyLabel(m_source),
                                              start.Target);
    m_preview.RunName = RunName();
    m_preview.Target = start.Target;
    m_preview.CompanyQuestion = m_posting.Preview ? m_guard->Question() : QString();
    return start;
}

void TPostingRoad::Confirm() {
    OrvAssert(m_guard != nullptr && !m_posting.Preview);
    m_guard->Confirm(Logger(), Dialogs(), m_posting);
}

TLedgerRunWriter& TPostingRoad::Writer(const TLedgerRunStart& start) {
    if (m_writer)
        return *m_writer;
    m_writer = std::make_unique<TLedgerRunWriter>(Ledger(), start);
    m_result.LedgerRunId = m_writer->RunId();
    m_preview.RunId = m_writer->RunId();
    if (!m_posting.Preview)
        m_guard->Record(Logger(), m_writer->RunId());
    return *m_writer;
}

IExportObserver& TPostingRoad::Observer() {
    OrvAssert(m_writer != nullptr);
    if (!m_noting)
        m_noting = std::make_unique<TNoting>(m_preview, *m_writer);
    return *m_noting;
}

void TPostingRoad::ResolveUnknownOutcomes(TQBConnection& qb, int batchSize) {
    OrvAssert(m_writer != nullptr && !m_posting.Preview);
    // Settled first, so that what they added is found, not added again.
    TUnknownOutcomeResolver(Ledger(), qb, batchSize)
        .Resolve(m_result.Company, ResolvedNote(m_writer->RunId()));
}

void TPostingRoad::EndPosted(TPostState state, const QString& summary) {
    m_result.State = state;
    m_result.Summary = summary;
}

void TPostingRoad::EndPreview() {
    const QString summary = RunName() + QStringLiteral(" preview: ") + m_preview.Summary();
    if (!m_preview.CompanyQuestion.isEmpty())
        Logger().LogWarning(QStringLiteral("Posting would ask: ") + m_preview.CompanyQuestion);
    if (m_preview.Problems() > 0)
        Logger().LogWarning(summary);
    else
        Logger().LogEvent(summary);
    m_result.State = psPreviewed;
    m_result.Summary = summary;
}

void TPostingRoad::EndNothingToPost(const QString& summary) {
    m_result.State = psNothingToPost;
    m_result.Summary = summary;
    if (m_posting.RecordNothingToPostInto.isEmpty() || m_posting.Preview)
        return;
    TLedgerRunStart start;
    start.Kind = lrkChecks;
    start.ReportKind = m_result.Kind;
    start.Source = ServiceRunSource(m_source);
    start.Target.CompanyFile = m_posting.RecordNothingToPostInto;
    Ledger().EndRun(Ledger().BeginRun(start), lrsFinished);
}

void TPostingRoad::EndCancelled(const QString& summary) {
    m_result.State = psCancelled;
    m_result.Summary = summary;
    if (summary.isEmpty()) {
        LogRunCancelled(Logger(), RunName());
        return;
    }
    Logger().LogWarning(QStringLiteral("User cancelled operation"));
    Logger().LogWarning(summary);
    Dialogs().ShowInformation(summary);
}

void TPostingRoad::Count() {
    TPostCounts& counts = m_result.Counts;
    if (m_posting.Preview) {
        m_result.Preview = m_preview;
        counts = {};
        TChecksExportResult& checks = counts.Checks;
        for (const TExportNote& item : m_preview.Items) {
            switch (item.Outcome) {
            case loWouldAdd:
                if (item.Kind == lekJournalEntry)
                    ++counts.JournalEntriesAdded;
                else if (item.Kind == lekDeposit)
                    ++checks.DepositsAdded;
                else
                    ++checks.ChecksAdded;
                AddAmount(counts, item);
                break;
            case loWouldVoid:
                ++checks.ChecksVoided;
                break;
            case loAlreadyExisted:
            case loDiffers:
                ++checks.ChecksExisted;
                break;
            case loSkipped:
                break;
            default:
                ++checks.Errors;
            }
        }
        return;
    }
    if (!m_noting)
        return;
    for (const TExportNote& r : m_noting->Notes) {
        if (r.Kind == lekJournalEntry && r.Outcome == loAdded)
            ++counts.JournalEntriesAdded;
        if (r.Kind == lekJournalEntry && r.Outcome == loAlreadyExisted)
            ++counts.JournalEntriesExisted;
        if (r.Outcome == loAdded && r.Kind != lekClearing && r.Kind != lekDeletion)
            AddAmount(counts, r);
    }
}

void TPostingRoad::NoteRecordProblems() {
    QStringList& problems = m_result.Problems;
    if (m_posting.Preview) {
        for (const TExportNote& item : m_preview.Items)
            if (IsPreviewProblem(item))
                problems << LedgerRecordProblem(item, PreviewActionText(item), item.Message);
        if (!m_preview.CompanyQuestion.isEmpty())
            problems << QStringLiteral("Posting would ask: ") + m_preview.CompanyQuestion;
        return;
    }
    if (!m_noting)
        return;
    for (const TExportNote& r : m_noting->Notes)
        if (r.Outcome == loFailed || r.Outcome == loStateUnknown)
            problems << LedgerRecordProblem(r, LedgerText(r.Outcome), r.Message);
}
