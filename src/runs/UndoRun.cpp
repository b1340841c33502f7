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

TQBTxnDelType DelType(TLedgerRecordKind kind) {
    return kind == lekDeposit ? tdtDeposit : kind == lekJournalEntry ? tdtJournalEntry : tdtCheck;
}

// TxnID -> EditSequence of what QuickBooks holds of them now.
QHash<QString, QString> EditSequencesNow(TQBConnection& qb, TLedgerRecordKind kind,
                                         const QStringList& ids) {
    QHash<QString, QString> now;
    const auto take = [&now](const auto& list) {
        for (const auto& txn : list)
            now.insert(txn.TxnID.GetValueOr(QString()), txn.EditSequence.GetValueOr(QString()));
    };
    if (kind == lekDeposit)
        take(qb.QueryDepositsByTxnID(ids));
    else if (kind == lekJournalEntry)
        take(qb.QueryJournalEntriesByTxnID(ids));
    else
        take(qb.QueryChecksByTxnID(ids));
    return now;
}

TExportNote DeletionNote(int key, const TLedgerRecord& r) {
    TExportNote note =
        ExportNote(key, lekDeletion, r.Number, r.Date, r.Payee, r.Amount, r.Accounts);
    note.TxnID = r.TxnID;
    note.EditSequence = r.EditSequence;
    return note;
}

} // namespace

QString LedgerRecordName(const TLedgerRecord& r) {
    switch (r.Kind) {
    case lekDeposit:
        return QStringLiteral("Deposit of check ") + r.Number;
    case lekJournalEntry:
        return QStringLiteral("Journal entry of ") + DateToStr(r.Date);
    case lekVoid:
        return QStringLiteral("Void of check ") + r.Number;
    case lekClearing:
        return QStringLiteral("Clearing of ") + (r.Number.isEmpty() ? DateToStr(r.Date) : r.Number);
    default:
        return QStringLiteral("Check ") + r.Number;
    }
}

bool TUndoResult::NothingToDo() const {
    return Count(uaDelete) + Count(uaDeleted) + Count(uaFailed) + Unknown() == 0;
}

TUndoRun::TUndoRun(TUndoRunOptions options) : m_options(std::move(options)) {}

void TUndoRun::Add(const TLedgerRecord& record, TUndoAction action, const QString& detail) {
    const QString name = LedgerRecordName(record);
    QString text;
    switch (action) {
    case uaDelete:
        text = name + QStringLiteral(" will be deleted");
        break;
    case uaDeleted:
        text = name + QStringLiteral(" deleted");
        break;
    case uaChanged:
        text = name + QStringLiteral(" was changed in QuickBooks after the run: not deleted");
        break;
    case uaGone:
        text = name + QStringLiteral(" is no longer in QuickBooks: not deleted");
        break;
    case uaFailed:
        text = name + QStringLiteral(" could not be deleted: ") + detail;
        break;
    case uaStateUnknown:
        text = QStringLiteral("Whether ") + name +
               QStringLiteral(" was deleted is unknown: run the undo again to finish it");
        break;
    case uaNotUndoable:
        text = name + QStringLiteral(" cannot be undone: QuickBooks has no un-void");
        break;
    case uaUnknownOutcome:
        text = Format("Whether %s was %s is unknown%s: %s",
                      {name,
                       record.Kind == lekVoid       ? QStringLiteral("voided")
                       : record.Kind == lekClearing ? QStringLiteral("marked cleared")
                                                    : QStringLiteral("added"),
                       detail.isEmpty() ? QString() : u" (" + detail + u')',
                       record.Kind == lekVoid || record.Kind == lekClearing
                           ? QStringLiteral("look at it in QuickBooks; an undo cannot take it back")
                           : Format("look for it in QuickBooks (dated %s, amount %s) and delete "
                                    "it there if it is there",
                                    {DateToStr(record.Date), CurrToStr(record.Amount)})});
        break;
    }
    m_result.Items << TUndoItem{record, action, text};
    ++m_result.Counts[action];
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
            for (TLedgerRecordKind kind : {lekCheck, lekDeposit, lekJournalEntry}) {
                QList<TLedgerRecord> ofKind;
                for (const TLedgerRecord& r : undoable)
                    if (r.Kind == kind)
                        ofKind << r;
                if (!m_result.Cancelled)
                    UndoKind(context, *qb, writer.get(), ofKind, deletedBefore);
            }
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
            Add(r, uaNotUndoable);
        // A clearing of what the undo deletes goes with it.
        else if (r.Outcome == loStateUnknown && !(r.Kind == lekClearing && cleared(r)))
            Add(r, uaUnknownOutcome, unknownWhy.value(r.Seq));
    }
}

void TUndoRun::UndoKind(TRunContext& context, TQBConnection& qb, TLedgerRunWriter* writer,
                        const QList<TLedgerRecord>& records, const QSet<QString>& deletedBefore) {
    const int batch = std::clamp(m_options.BatchSize, 1, MaxQBBatchSize);
    for (qsizetype from = 0; from < records.size(); from += batch) {
        // Between sets: a set sent is answered and recorded first.
        if (from > 0 && context.Watch().StopHere()) {
            m_result.Cancelled = true;
            return;
        }
        const QList<TLedgerRecord> chunk = records.mid(from, batch);
        QStringList ids;
        for (const TLedgerRecord& r : chunk)
            ids << r.TxnID;
        const QHash<QString, QString> now = EditSequencesNow(qb, chunk.front().Kind, ids);

        TExportNotes sending;
        TExportNotes settled;
        QList<const TLedgerRecord*> deleting;
        for (const TLedgerRecord& r : chunk) {
            TExportNote note = DeletionNote(r.Seq, r);
            note.Outcome = loNotDeleted;
            if (!now.contains(r.TxnID)) {
                if (deletedBefore.contains(r.TxnID)) {
                    // Sent by the undo that was interrupted, and so deleted.
                    Add(r, uaDeleted);
                    note.Outcome = loDeleted;
                    note.Message = QStringLiteral("Deleted by an undo that was interrupted");
                } else {
                    Add(r, uaGone);
                    note.Message = m_result.Items.last().Text;
                }
                settled << note;
            } else if (now.value(r.TxnID) != r.EditSequence) {
                Add(r, uaChanged);
                note.Message = m_result.Items.last().Text;
                settled << note;
            } else if (!writer) {
                Add(r, uaDelete);
            } else {
                sending << DeletionNote(r.Seq, r);
                deleting << &r;
            }
        }
        if (writer && !deleting.isEmpty()) {
            writer->Sending(sending);
            auto set = qb.NewRequestSet();
            set->SetOnError(oeContinueOnError);
            for (const TLedgerRecord* r : deleting) {
                TQBTxnDel& del = set->AppendTxnDelRq();
                del.TxnDelType.SetValue(DelType(r->Kind));
                del.TxnID.SetValue(r->TxnID);
            }
            std::unique_ptr<TMsgSetResponse> response;
            QString failure;
            bool unknown = false;
            try {
                response = qb.SendBatch(*set);
            } catch (const EQBStateUnknown& e) {
                unknown = true;
                failure = e.Message();
            } catch (const EQBError& e) {
                failure = e.Message();
            } catch (const EQBProcessorError& e) {
                failure = e.Message();
            }
            for (qsizetype i = 0; i < deleting.size(); ++i) {
                const TLedgerRecord& r = *deleting[i];
                TExportNote note = DeletionNote(r.Seq, r);
                const TQBResponse* rs =
                    response && i < response->Count() ? &response->At(int(i)) : nullptr;
                if (unknown) {
                    Add(r, uaStateUnknown);
                    note.Outcome = loStateUnknown;
                    note.Message = failure;
                } else if (rs && rs->StatusSeverity != u"Error" && rs->DetailAs<TQBTxnDelRet>()) {
                    Add(r, uaDeleted);
                    note.Outcome = loDeleted;
                } else if (rs && rs->StatusCode == 3120) {
                    Add(r, uaGone);
                    note.Outcome = loNotDeleted;
                    note.Message = m_result.Items.last().Text;
                } else {
                    const QString why =
                        rs ? Format("QB: [%d] %s", {rs->StatusCode, rs->StatusMessage})
                        : failure.isEmpty()
                            ? QStringLiteral("QuickBooks did not answer the request")
                            : failure;
                    Add(r, uaFailed, why);
                    note.Outcome = loFailed;
                    note.Message = why;
                }
                settled << note;
            }
        }
        if (writer && !settled.isEmpty())
            writer->Settled(settled);
        context.Watch().SetProgress(int(qMin(records.size(), from + batch)), int(records.size()));
    }
}
