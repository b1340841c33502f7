#include "export/QBUndoExport.h"

#include "base/RegionalSettings.h"
#include "export/QBRequestPipeline.h"

namespace {

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

TExportNote DeletionNote(const TLedgerRecord& r) {
    TExportNote note =
        ExportNote(r.Seq, lekDeletion, r.Number, r.Date, r.Payee, r.Amount, r.Accounts);
    note.TxnID = r.TxnID;
    note.EditSequence = r.EditSequence;
    return note;
}

class TUndoExporter {
public:
    TUndoExporter(TQBConnection& qb, const QSet<QString>& deletedBefore, int batchSize,
                  const TRunWatch& watch, IExportObserver* observer)
        : m_qb(qb), m_pipeline(qb, batchSize), m_deletedBefore(deletedBefore), m_watch(watch),
          m_observer(observer) {}

    TUndoDeletions Run(const QList<TLedgerRecord>& records) {
        for (TLedgerRecordKind kind : {lekCheck, lekDeposit, lekJournalEntry}) {
            QList<TLedgerRecord> ofKind;
            for (const TLedgerRecord& r : records)
                if (r.Kind == kind)
                    ofKind << r;
            if (!m_result.Cancelled)
                DeleteKind(ofKind);
        }
        return m_result;
    }

private:
    void DeleteKind(const QList<TLedgerRecord>& records) {
        const int batch = m_pipeline.BatchSize();
        for (qsizetype from = 0; from < records.size(); from += batch) {
            // Between sets: a set sent is answered and recorded first.
            if (from > 0 && m_watch.StopHere()) {
                m_result.Cancelled = true;
                return;
            }
            DeleteSet(records.mid(from, batch));
            m_watch.SetProgress(int(qMin(records.size(), from + batch)), int(records.size()));
        }
    }

    void DeleteSet(const QList<TLedgerRecord>& chunk) {
        QStringList ids;
        for (const TLedgerRecord& r : chunk)
            ids << r.TxnID;
        const QHash<QString, QString> now = EditSequencesNow(m_qb, chunk.front().Kind, ids);

        TExportNotes sending;
        TExportNotes settled;
        QList<const TLedgerRecord*> deleting;
        std::vector<TQBRequest> requests;
        for (const TLedgerRecord& r : chunk) {
            TExportNote note = DeletionNote(r);
            note.Outcome = loNotDeleted;
            if (!now.contains(r.TxnID)) {
                if (m_deletedBefore.contains(r.TxnID)) {
                    // Sent by the undo that was interrupted, and so deleted.
                    Add(r, uaDeleted);
                    note.Outcome = loDeleted;
                    note.Message = QStringLiteral("Deleted by an undo that was interrupted");
                } else {
                    note.Message = Add(r, uaGone);
                }
                settled << note;
            } else if (now.value(r.TxnID) != r.EditSequence) {
                note.Message = Add(r, uaChanged);
                settled << note;
            } else if (!m_observer) {
                Add(r, uaDelete);
            } else {
                sending << DeletionNote(r);
                deleting << &r;
                TQBTxnDel del;
                del.TxnDelType.SetValue(DelType(r.Kind));
                del.TxnID.SetValue(r.TxnID);
                requests.push_back({TQBRequestKind::TxnDel, del});
            }
        }
        if (!deleting.isEmpty()) {
            m_observer->Sending(sending);
            const TQBAnswers answers = m_pipeline.Send(std::move(requests));
            for (qsizetype i = 0; i < deleting.size(); ++i)
                settled << Deleted(*deleting[i], answers[size_t(i)]);
        }
        if (m_observer && !settled.isEmpty())
            m_observer->Settled(settled);
    }

    TExportNote Deleted(const TLedgerRecord& r, const TQBAnswer& answer) {
        TExportNote note = DeletionNote(r);
        const TQBResponse* rs = answer.Response();
        if (answer.State() == qasUnknown) {
            Add(r, uaStateUnknown);
            note.Outcome = loStateUnknown;
            note.Message = answer.Text();
        } else if (answer.State() == qasDone && rs->DetailAs<TQBTxnDelRet>()) {
            Add(r, uaDeleted);
            note.Outcome = loDeleted;
        } else if (rs && rs->StatusCode == qbstatus::ObjectNotFound) {
            note.Outcome = loNotDeleted;
            note.Message = Add(r, uaGone);
        } else {
            Add(r, uaFailed, answer.Text());
            note.Outcome = loFailed;
            note.Message = answer.Text();
        }
        return note;
    }

    // The item's text.
    QString Add(const TLedgerRecord& r, TUndoAction action, const QString& detail = QString()) {
        m_result.Items << UndoItem(r, action, detail);
        return m_result.Items.last().Text;
    }

    TQBConnection& m_qb;
    TQBRequestPipeline m_pipeline;
    const QSet<QString>& m_deletedBefore;
    TRunWatch m_watch;
    IExportObserver* m_observer;
    TUndoDeletions m_result;
};

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

TUndoItem UndoItem(const TLedgerRecord& record, TUndoAction action, const QString& detail) {
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
    return {record, action, text};
}

TUndoDeletions DeleteRunRecords(TQBConnection& qb, const QList<TLedgerRecord>& records,
                                const QSet<QString>& deletedBefore, int batchSize,
                                const TRunWatch& watch, IExportObserver* observer) {
    return TUndoExporter(qb, deletedBefore, batchSize, watch, observer).Run(records);
}
