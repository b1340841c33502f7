#include "runs/UndoRun.h"

#include "base/RegionalSettings.h"
#include "base/vlxErrorDisplay.h"
#include "base/vlxTextUtils.h"
#include "runs/LedgerRunWriter.h"
#include "runs/UnknownOutcomes.h"

#include <algorithm>

namespace {

const QString UndoBlock = QStringLiteral("Undoing a run");

QString ShortId(const QString& id) {
    return id.left(8);
}

QString CompanyText(const TLedgerTarget& target) {
    return u'"' + target.CompanyName + QStringLiteral("\" (") + target.CompanyFile + u')';
}

} // namespace

bool TUndoResult::NothingToDo() const {
    return Count(uaDelete) + Count(uaDeleted) + Count(uaFailed) + Unknown() == 0;
}

TUndoRun::TUndoRun(TUndoRunOptions options) : m_options(std::move(options)) {}

void TUndoRun::Add(const TUndoItem& item) {
    m_result.Items << item;
    ++m_result.Counts[item.Action];
}

void TUndoRun::RunUndo(TRunContext& context) {
    OrvAssert(context.Logger && context.ConnectQB && context.Dialogs);
    ICommonLogger& logger = *context.Logger;
    m_result = TUndoResult();
    TLogBlockGuard block(logger, UndoBlock);
    try {
        logger.LogContextItem(QStringLiteral("Run"), m_options.RunId);
        const std::unique_ptr<TRunLedger> ledger = OpenRunLedger(context);
        const std::optional<TLedgerRun> run = ledger->FindRun(m_options.RunId);
        if (!run)
            throw EztException(Format("No run with the id \"%s\" is in the ledger.",
                                      {ShortenedText(m_options.RunId, 64)}));
        m_result.Run = *run;
        const QString id = ShortId(run->Id);
        if (run->Kind == lrkUndo || run->Kind == lrkPreview)
            throw EztException(
                Format("Run %s changed nothing that an undo could take back.", {id}));
        if (run->State == lrsRunning && run->LeaseEnds.isValid())
            throw EztException(RunLeaseText(*run));
        if (run->State == lrsRunning)
            throw EztException(Format("Run %s is still running; undo it when it has ended.", {id}));

        // An earlier undo that was interrupted may have deleted what it sent.
        QSet<QString> deletedBefore;
        for (const TLedgerRun& undo : ledger->UndoRunsOf(run->Id))
            for (const TLedgerRecord& r : ledger->Records(undo.Id))
                if (r.Kind == lekDeletion &&
                    (r.Outcome == loStateUnknown || r.Outcome == loPending))
                    deletedBefore.insert(r.TxnID);

        QList<TLedgerRecord> records = ledger->Records(run->Id);
        QList<TLedgerRecord> undoable = ledger->Undoable(run->Id);
        const bool unknown = std::any_of(records.cbegin(), records.cend(),
                                         [](const auto& r) { return r.Outcome == loStateUnknown; });
        QHash<int, QString> unknownWhy; // by the record's seq
        if (undoable.isEmpty() && !unknown) {
            ListLeft(records, undoable, unknownWhy);
        } else {
            context.Cancel->CheckPoint();
            TWaitGuard wait(*context.Progress, QStringLiteral("Deleting QuickBooks Transactions"));
            const std::unique_ptr<TQBConnection> qb = context.ConnectQB(context.Logger);
            const TLedgerTarget open = QBCompanyTarget(*qb);
            if (!SameCompany(open, run->Target))
                throw EztException(Format("Run %s posted into QuickBooks company %s; the open "
                                          "company is %s. Nothing was undone.",
                                          {id, CompanyText(run->Target), CompanyText(open)}));
            std::unique_ptr<TLedgerRunWriter> writer;
            if (!m_options.Preview) {
                TLedgerRunStart start;
                start.Kind = lrkUndo;
                start.TargetRunId = run->Id;
                start.Target = open;
                start.Options = Format("batch size %d", {m_options.BatchSize});
                writer = std::make_unique<TLedgerRunWriter>(*ledger, start);
                m_result.UndoRunId = writer->RunId();
            }
            // What an unknown outcome left in QuickBooks is taken back too.
            TUnknownOutcomeResolver resolver(*ledger, *qb, m_options.BatchSize);
            if (writer) {
                for (const TUnknownOutcome& u :
                     resolver.Resolve(open, ResolvedNote(writer->RunId())))
                    if (u.RunId == run->Id)
                        unknownWhy.insert(u.Record.Seq, u.Why);
                records = ledger->Records(run->Id);
                undoable = ledger->Undoable(run->Id);
            } else {
                // A preview writes nothing: it counts them as the undo will settle them.
                for (const TUnknownOutcome& u : resolver.LookUp(open, run->Id)) {
                    unknownWhy.insert(u.Record.Seq, u.Why);
                    TLedgerRecord settled = u.Record;
                    settled.Outcome = u.Found;
                    settled.TxnID = u.TxnID.isEmpty() ? settled.TxnID : u.TxnID;
                    settled.EditSequence = u.EditSequence;
                    for (TLedgerRecord& r : records)
                        if (r.Seq == settled.Seq)
                            r = settled;
                    if (u.Found == loAdded)
                        undoable << settled;
                }
            }
            ListLeft(records, undoable, unknownWhy);
            const TUndoDeletions deletions = DeleteRunRecords(
                *qb, undoable, deletedBefore, m_options.BatchSize, context.Watch(), writer.get());
            for (const TUndoItem& item : deletions.Items)
                Add(item);
            m_result.Cancelled = deletions.Cancelled;
            if (writer)
                writer->End(lrsFinished,
                            m_result.Cancelled ? QStringLiteral("cancelled") : QString());
        }

        // In the run's order, as its report lists them.
        std::stable_sort(
            m_result.Items.begin(), m_result.Items.end(),
            [](const TUndoItem& a, const TUndoItem& b) { return a.Record.Seq < b.Record.Seq; });
        const int left = m_result.Count(uaChanged) + m_result.Count(uaGone);
        if (m_result.NothingToDo())
            m_result.Summary = Format("Run %s has nothing left to undo", {id});
        else if (m_options.Preview)
            m_result.Summary =
                Format("Undo of run %s would delete %s; %s left as %s",
                       {id, Counted(m_result.Count(uaDelete), "transaction"),
                        Counted(left, "transaction"),
                        left == 1 ? QStringLiteral("it is") : QStringLiteral("they are")}) +
                (m_result.Unknown() > 0 ? Format("; %d in unknown state", {m_result.Unknown()})
                                        : QString());
        else
            m_result.Summary = Format(
                "Undo of run %s %s: %s deleted, %s left, %s failed, %s in unknown state",
                {id, m_result.Cancelled ? QStringLiteral("cancelled") : QStringLiteral("completed"),
                 Counted(m_result.Count(uaDeleted), "transaction"), QString::number(left),
                 QString::number(m_result.Count(uaFailed)), QString::number(m_result.Unknown())});
        if (m_result.Count(uaNotUndoable) > 0)
            m_result.Summary +=
                Format("; %s cannot be undone", {Counted(m_result.Count(uaNotUndoable), "void")});

        for (const TUndoItem& item : m_result.Items) {
            if (item.Action == uaDelete || item.Action == uaDeleted)
                logger.LogEvent(item.Text);
            else
                logger.LogWarning(item.Text);
        }
        const bool failed = m_result.Count(uaFailed) + m_result.Unknown() > 0;
        if (failed)
            logger.LogWarning(m_result.Summary);
        else
            logger.LogEvent(m_result.Summary);
        if (m_options.Preview)
            return;
        if (failed)
            context.Dialogs->ShowError(m_result.Summary);
        else
            context.Dialogs->ShowInformation(m_result.Summary);
    } catch (const EOperationCancelled&) {
        logger.LogWarning(QStringLiteral("User cancelled operation"));
    } catch (...) {
        logger.PassthroughExceptionAndWarnFmt(QStringLiteral("%s failed"), {UndoBlock});
    }
}

void TUndoRun::ListLeft(const QList<TLedgerRecord>& records, QList<TLedgerRecord>& undoable,
                        const QHash<int, QString>& unknownWhy) {
    // A check the run added and voided is deleted as the void left it.
    QHash<QString, QString> voided; // TxnID -> EditSequence after the void
    for (const TLedgerRecord& r : records)
        if (r.Kind == lekVoid && r.Outcome == loVoided)
            voided.insert(r.TxnID, r.EditSequence);
    QSet<QString> deleting;
    for (TLedgerRecord& r : undoable) {
        deleting.insert(r.TxnID);
        if (r.Kind == lekCheck && voided.contains(r.TxnID))
            r.EditSequence = voided.value(r.TxnID);
    }
    const auto cleared = [&undoable](const TLedgerRecord& clearing) {
        return std::any_of(undoable.cbegin(), undoable.cend(), [&](const TLedgerRecord& r) {
            return (!clearing.TxnID.isEmpty() && r.TxnID == clearing.TxnID) ||
                   (r.Number == clearing.Number && r.Date == clearing.Date);
        });
    };
    for (const TLedgerRecord& r : records) {
        if (r.Kind == lekVoid && r.Outcome == loVoided && !deleting.contains(r.TxnID))
            Add(UndoItem(r, uaNotUndoable));
        // A clearing of what the undo deletes goes with it.
        else if (r.Outcome == loStateUnknown && !(r.Kind == lekClearing && cleared(r)))
            Add(UndoItem(r, uaUnknownOutcome, unknownWhy.value(r.Seq)));
    }
}
