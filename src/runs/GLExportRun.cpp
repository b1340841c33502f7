#include "runs/GLExportRun.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "export/ProgramTransactions.h"
#include "reports/OrvGLParser.h"
#include "reports/ReportFile.h"

const QString GLExportRunName = QStringLiteral("Orvane Journal Export");

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

// The journal on the posting road.
class TJournalPosting : public TPostingRoad {
public:
    TJournalPosting(TRunContext& context, const TGLRunOptions& options)
        : TPostingRoad(context, options.Source, options.Posting, GLExportRunName),
          m_options(options.GL) {
        Result().Kind = rkJournal;
    }

protected:
    void LogOptions() override { LogGLExportParam(Logger(), m_options); }
    QString FileItem() const override { return QStringLiteral("Orvane Journal file"); }
    TFetchedReport Fetch(IDirectReportSource& source) override {
        return source.FetchGLReport(m_options);
    }
    QString WaitText() const override {
        return Previewing() ? QStringLiteral("Previewing QuickBooks Transaction")
                            : QStringLiteral("Creating QuickBooks Transaction");
    }

    void Post(const QString& report) override {
        const QString reportName =
            Source().Tab == rstFile ? Source().FileName : QStringLiteral("Orvane Journal report");
        const TGLRecordArray records = ParseGLJournal(Logger(), report, m_options, reportName);
        RequireJournalAmounts(records);

        // QuickBooks is opened only for a journal that parsed and has
        // something to post, and not for a run cancelled meanwhile.
        Context().Cancel->CheckPoint();
        const std::unique_ptr<TQBConnection> qb = OpenQuickBooks();
        const TLedgerRunStart start = Start(*qb, rkJournal, GLOptionsText(m_options));

        const QDate date = records.front().JournalDate;
        TExportNote entry = ExportNote(0, lekJournalEntry, QString(), date, QString(), Currency(),
                                       Format("%d records", {int(records.size())}));
        if (!ValidateJournal(*qb, records, m_options)) {
            const QString failed = QStringLiteral("Orvane Journal validation failed");
            if (!Previewing())
                throw EztException(failed);
            // The log above names each problem.
            entry.Outcome = loInvalid;
            entry.Message = failed;
            TLedgerRunWriter& writer = Writer(start);
            Observer().Settled({entry});
            writer.End(lrsFinished);
            return;
        }

        if (!Previewing())
            Confirm();
        QString duplicate;
        const TExportNotes existing = JournalEntriesOn(*qb, date);
        if (!existing.isEmpty()) {
            if (m_options.Clear && !Previewing()) {
                const TExportNotes own =
                    OwnEntriesToClear(Logger(), Ledger(), start.Target, existing);
                // Begun before the journal is posted when an entry there is
                // cleared.
                if (!own.isEmpty()) {
                    Writer(start);
                    ClearJournalEntries(*qb, own, Observer());
                    for (const TExportNote& e : own)
                        Logger().LogEvent(MarkedClearedText(EntryName(e)));
                }
            }
            const QString message = Format(QStringLiteral("Journal Entry with Date = %s already "
                                                          "exists. You may be creating a "
                                                          "duplicate entry."),
                                           {DateToStr(date)});
            Logger().LogWarning(message);
            if (Previewing()) {
                duplicate = message;
            } else if (!Dialogs().ConfirmYesNo(message + QStringLiteral("Continue?"))) {
                if (Writing())
                    Writer(start).End(lrsFinished, EGLExportAborted().Message());
                throw EGLExportAborted();
            }
        }
        // The last safe point: the entry and its clearing travel in one set.
        Context().Cancel->CheckPoint();
        TLedgerRunWriter& writer = Writer(start);
        if (Previewing()) {
            ExportJournal(*qb, records, m_options, &Observer());
            // As the entry would hold them: a debit and a credit line per
            // record.
            for (const TGLRecord& r : records) {
                if (!r.Debit.IsZero())
                    Preview().JournalLines
                        << TPreviewJournalLine{r.AccountTag, r.ClassOrName, r.Debit, {}};
                if (!r.Credit.IsZero())
                    Preview().JournalLines
                        << TPreviewJournalLine{r.AccountTag, r.ClassOrName, {}, r.Credit};
            }
            if (!Preview().Items.isEmpty())
                Preview().Items.last().Message = duplicate;
            writer.End(lrsFinished);
            return;
        }
        writer.ExpectRecords(1);
        ResolveUnknownOutcomes(*qb, m_options.BatchSize);
        m_exported = ExportJournal(*qb, records, m_options, &Observer());
        writer.End(lrsFinished, m_exported.Warning);
    }

    void End() override {
        if (Previewing()) {
            EndPreview();
            return;
        }
        if (m_exported.State != jesDone) {
            // The entry is, or may be, in QuickBooks: "failed" would invite
            // posting it again.
            const QString outcome =
                GLExportRunName + (m_exported.State == jesNotCleared
                                       ? QStringLiteral(" completed, but the journal entry is "
                                                        "not marked cleared")
                                       : QStringLiteral(": whether the journal entry was posted "
                                                        "is unknown"));
            EndPosted(psUncertain, outcome);
            Logger().LogWarning(outcome);
            Dialogs().ShowError(outcome + QStringLiteral("\r\n") + m_exported.Warning);
            return;
        }
        const TPostCounts& counts = Result().Counts;
        const QString done =
            Format("%s completed: %s added, %d already existed",
                   {GLExportRunName, Counted(counts.JournalEntriesAdded, "journal entry"),
                    counts.JournalEntriesExisted});
        EndPosted(psPosted, done);
        Logger().LogEvent(GLExportRunName + QStringLiteral(" completed"));
        Dialogs().ShowInformation(done);
    }

private:
    const TQBGLExportParam& m_options;
    TJournalExportResult m_exported;
};

} // namespace

TGLExportRun::TGLExportRun(TGLRunOptions options) : m_options(std::move(options)) {}

TPostResult TGLExportRun::RunGLExport(TRunContext& context) {
    std::unique_ptr<TRunLedger> ledger;
    return TJournalPosting(context, m_options).Run(ledger);
}
