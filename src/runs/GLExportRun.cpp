#include "runs/GLExportRun.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "export/ProgramTransactions.h"
#include "reports/OrvGLParser.h"
#include "reports/ReportFile.h"
#include "runs/ExportRunSteps.h"
#include "runs/LedgerRunWriter.h"
#include "runs/UnknownOutcomes.h"

const QString GLExportRunName = QStringLiteral("Orvane Journal Export");

namespace {

// Counts the journal entries the export settled, on the way to the ledger.
class TJournalEntryCounter : public IExportObserver {
public:
    TJournalEntryCounter(TGLExportRun::TEntryCounts& counts, IExportObserver& next)
        : m_counts(counts), m_next(next) {}
    void Sending(const TExportNotes& records) override { m_next.Sending(records); }
    void Settled(const TExportNotes& records) override {
        for (const TExportNote& note : records) {
            if (note.Kind != lekJournalEntry)
                continue;
            if (note.Outcome == loAdded)
                ++m_counts.Added;
            else if (note.Outcome == loAlreadyExisted)
                ++m_counts.Existed;
        }
        m_next.Settled(records);
    }

private:
    TGLExportRun::TEntryCounts& m_counts;
    IExportObserver& m_next;
};

} // namespace

EGLExportAborted::EGLExportAborted()
    : EztException(QStringLiteral("Operation was aborted by user")) {}

namespace {

// "Journal entry of 03/08/2024 (TxnID 8000001B-1405768916)"
QString EntryName(const TExportNote& entry) {
    return Format("Journal entry of %s (TxnID %s)", {DateToStr(entry.Date), entry.TxnID});
}

// QuickBooks does not tell whether an entry is cleared: one an earlier run
// of this program added and the ledger did not see cleared (its answer may
// have been lost) is to be cleared; one no run added is a person's, left
// as it is.
TExportNotes OwnEntriesToClear(ICommonLogger& logger, TRunLedger& ledger,
                               const TLedgerTarget& target, const TExportNotes& existing) {
    const TProgramTransactions ours(ledger.AddedInto(target));
    TExportNotes own;
    for (const TExportNote& entry : existing) {
        const TProgramTxnState state = ours.State(entry, entry.TxnID);
        if (state == ptsNotCleared)
            own << entry;
        else if (state == ptsNotOurs)
            logger.LogWarning(NotMarkedClearedText(EntryName(entry)));
    }
    return own;
}

} // namespace

TGLExportRun::TGLExportRun(TGLRunOptions options) : m_options(std::move(options)) {}

void TGLExportRun::RunGLExport(TRunContext& context) {
    OrvAssert(context.Logger && context.ConnectQB && context.Dialogs);
    ICommonLogger& logger = *context.Logger;
    TLogBlockGuard block(logger, GLExportRunName);
    m_exportState = jesDone;
    m_preview.reset();
    const bool previewing = m_options.Posting.Preview;
    m_ledgerRunId.clear();
    m_entries = {};
    try {
        m_reportText.clear();
        const TQBGLExportParam& options = m_options.GL;
        LogGLExportParam(logger, options);
        logger.LogEvent(GLExportRunName + QStringLiteral(" started"));
        // Nothing is fetched for a run that could not record what it posts.
        const std::unique_ptr<TRunLedger> ledger = OpenRunLedger(context);

        TFetchedReport report;
        IDirectReportSourcePtr direct;
        if (m_options.Source.Tab == rstDirectConnection) {
            direct = OpenDirectReportSource(context, m_options.Source);
            report = direct->FetchGLReport(options);
        } else {
            const QString& fileName = m_options.Source.FileName;
            logger.LogContextItem(QStringLiteral("Orvane Journal file"), fileName);
            report = TextReportOrEmpty(ReadReportFile(fileName));
        }
        if (!report) {
            EndRunWithoutReport(logger, *context.Dialogs, direct.get(), GLExportRunName);
            return;
        }
        m_reportText = *report;

        TJournalExportResult exported;
        {
            TWaitGuard wait(*context.Progress,
                            previewing ? QStringLiteral("Previewing QuickBooks Transaction")
                                       : QStringLiteral("Creating QuickBooks Transaction"));
            exported = ExportGLReport(context, *ledger);
        }
        if (m_preview) {
            const QString summary =
                GLExportRunName + QStringLiteral(" preview: ") + m_preview->Summary();
            if (!m_preview->CompanyQuestion.isEmpty())
                logger.LogWarning(QStringLiteral("Posting would ask: ") +
                                  m_preview->CompanyQuestion);
            if (m_preview->Problems() > 0)
                logger.LogWarning(summary);
            else
                logger.LogEvent(summary);
            return;
        }
        m_exportState = exported.State;
        if (exported.State != jesDone) {
            // The entry is, or may be, in QuickBooks: "failed" would invite
            // posting it again.
            const QString outcome =
                GLExportRunName + (exported.State == jesNotCleared
                                       ? QStringLiteral(" completed, but the journal entry is "
                                                        "not marked cleared")
                                       : QStringLiteral(": whether the journal entry was posted "
                                                        "is unknown"));
            logger.LogWarning(outcome);
            context.Dialogs->ShowError(outcome + QStringLiteral("\r\n") + exported.Warning);
            return;
        }
        logger.LogEvent(GLExportRunName + QStringLiteral(" completed"));
        context.Dialogs->ShowInformation(Format(
            "%s completed: %s added, %d already existed",
            {GLExportRunName, Counted(m_entries.Added, "journal entry"), m_entries.Existed}));
    } catch (const EOperationCancelled&) {
        LogRunCancelled(logger, GLExportRunName);
    } catch (...) {
        logger.PassthroughExceptionAndWarnFmt(QStringLiteral("%s failed"), {GLExportRunName});
    }
}

TJournalExportResult TGLExportRun::ExportGLReport(TRunContext& context, TRunLedger& ledger) {
    ICommonLogger& logger = *context.Logger;
    const TQBGLExportParam& options = m_options.GL;
    const QString reportName = m_options.Source.Tab == rstFile
                                   ? m_options.Source.FileName
                                   : QStringLiteral("Orvane Journal report");
    const TGLRecordArray records = ParseGLJournal(logger, m_reportText, options, reportName);
    RequireJournalAmounts(records);

    // QuickBooks is opened only for a journal that parsed and has something
    // to post, and not for a run cancelled meanwhile.
    context.Cancel->CheckPoint();
    const TPostingOptions& posting = m_options.Posting;
    const std::unique_ptr<TQBConnection> qb = context.ConnectQB(context.Logger);
    OrvAssert(qb != nullptr);
    qb->SetPreviewOnly(posting.Preview);
    TLedgerRunStart start;
    start.Kind = posting.Preview ? lrkPreview : lrkGL;
    start.ReportKind = lpkJournal;
    start.Source = m_options.Source.Tab == rstDirectConnection
                       ? ServiceRunSource(m_options.Source)
                       : FileRunSource(m_options.Source.FileName);
    start.Target = ShowOpenCompany(context, *qb);
    start.Options = GLOptionsText(options);
    TCompanyGuard guard(ledger, start.Source, OrvaneCompanyLabel(m_options.Source), start.Target);
    TRunPreview preview;
    preview.RunName = GLExportRunName;
    preview.Target = start.Target;
    preview.CompanyQuestion = guard.Question();

    const QDate date = records.front().JournalDate;
    TExportNote entry = ExportNote(0, lekJournalEntry, QString(), date, QString(), Currency(),
                                   Format("%d records", {int(records.size())}));
    if (!ValidateJournal(*qb, records, options)) {
        const QString failed = QStringLiteral("Orvane Journal validation failed");
        if (!posting.Preview)
            throw EztException(failed);
        // The log above names each problem.
        entry.Outcome = loInvalid;
        entry.Message = failed;
        TLedgerRunWriter writer(ledger, start);
        preview.RunId = writer.RunId();
        TPreviewCollector(preview, &writer).Settled({entry});
        writer.End(lrsFinished);
        m_preview = preview;
        return {};
    }

    if (!posting.Preview)
        guard.Confirm(context, posting);
    // Begun before the journal is posted when an entry there is cleared.
    std::unique_ptr<TLedgerRunWriter> writer;
    const auto beginWriter = [&] {
        writer = std::make_unique<TLedgerRunWriter>(ledger, start);
        m_ledgerRunId = writer->RunId();
        if (!posting.Preview)
            guard.Record(logger, writer->RunId());
    };
    QString duplicate;
    const TExportNotes existing = JournalEntriesOn(*qb, date);
    if (!existing.isEmpty()) {
        if (options.Clear && !posting.Preview) {
            const TExportNotes own = OwnEntriesToClear(logger, ledger, start.Target, existing);
            if (!own.isEmpty()) {
                beginWriter();
                ClearJournalEntries(*qb, own, *writer);
                for (const TExportNote& e : own)
                    logger.LogEvent(MarkedClearedText(EntryName(e)));
            }
        }
        const QString message = Format(QStringLiteral("Journal Entry with Date = %s already "
                                                      "exists. You may be creating a duplicate "
                                                      "entry."),
                                       {DateToStr(date)});
        logger.LogWarning(message);
        if (posting.Preview) {
            duplicate = message;
        } else if (!context.Dialogs->ConfirmYesNo(message + QStringLiteral("Continue?"))) {
            if (writer)
                writer->End(lrsFinished, EGLExportAborted().Message());
            throw EGLExportAborted();
        }
    }
    // The last safe point: the entry and its clearing travel in one set.
    context.Cancel->CheckPoint();
    if (!writer)
        beginWriter();
    if (posting.Preview) {
        preview.RunId = writer->RunId();
        TPreviewCollector collector(preview, writer.get());
        ExportJournal(*qb, records, options, &collector);
        // As the entry would hold them: a debit and a credit line per record.
        for (const TGLRecord& r : records) {
            if (!r.Debit.IsZero())
                preview.JournalLines
                    << TPreviewJournalLine{r.AccountTag, r.ClassOrName, r.Debit, {}};
            if (!r.Credit.IsZero())
                preview.JournalLines
                    << TPreviewJournalLine{r.AccountTag, r.ClassOrName, {}, r.Credit};
        }
        if (!preview.Items.isEmpty())
            preview.Items.last().Message = duplicate;
        writer->End(lrsFinished);
        m_preview = preview;
        return {};
    }
    writer->ExpectRecords(1);
    TUnknownOutcomeResolver(ledger, *qb, options.BatchSize)
        .Resolve(start.Target, ResolvedNote(writer->RunId()));
    TJournalEntryCounter counter(m_entries, *writer);
    const TJournalExportResult exported = ExportJournal(*qb, records, options, &counter);
    writer->End(lrsFinished, exported.Warning);
    return exported;
}
