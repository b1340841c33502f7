// Taking a run back: what a run of the ledger added (checks, deposits,
// journal entries) and no undo has deleted since is deleted from QuickBooks
// with TxnDelRq, a request set at a time, each only when QuickBooks still
// holds it as the run left it (its EditSequence read now, one query per set,
// equals the stored one). A changed or vanished transaction is left and
// named; voids are listed as not undoable (QuickBooks has no un-void), but a
// check the run added and voided itself is deleted. Records of unknown
// outcome are settled from QuickBooks first; those still unknown are listed
// with what to look for. An
// undo is a run of the ledger itself, so running it again after an
// interruption finishes it, and after a complete one finds nothing to do.
// Refused when the open company (name and file) is not the run's.
#pragma once

#include "runs/RunContext.h"
#include "settings/QBDecl.h"

#include <QSet>

class TLedgerRunWriter;

struct TUndoRunOptions {
    // The run to take back: its id, or an unambiguous beginning of one.
    QString RunId;
    // Says what an undo would do; deletes nothing and records nothing.
    bool Preview = false;
    int BatchSize = DefaultQBBatchSize;
};

// What the undo does, or would do, with one record of the run.
enum TUndoAction {
    uaDelete,       // would be deleted (preview)
    uaDeleted,      //
    uaChanged,      // changed in QuickBooks after the run: left
    uaGone,         // no longer in QuickBooks: left
    uaFailed,       // QuickBooks refused the delete
    uaStateUnknown, // the answer was lost: run the undo again
    uaNotUndoable,  // a void
    // The run's record whose outcome QuickBooks did not show: look there
    uaUnknownOutcome,
};

struct TUndoItem {
    TLedgerRecord Record; // of the run taken back
    TUndoAction Action = uaDelete;
    QString Text; // "Check 1105100 was changed in QuickBooks after the run: not deleted"
};

struct TUndoResult {
    TLedgerRun Run;    // the run taken back
    QString UndoRunId; // the undo's own run; empty for a preview or nothing to do
    QList<TUndoItem> Items;
    QMap<TUndoAction, int> Counts;
    bool Cancelled = false;
    QString Summary;

    int Count(TUndoAction action) const { return Counts.value(action); }
    // Records whose state is unknown: the undo's own and the run's.
    int Unknown() const { return Count(uaStateUnknown) + Count(uaUnknownOutcome); }
    // Nothing the undo could delete, now or in a later run.
    bool NothingToDo() const;
};

class TUndoRun {
public:
    explicit TUndoRun(TUndoRunOptions options);

    // Logs each item and the summary in a block of its own and shows the
    // summary in a box (not for a preview). Refusals and failures are logged
    // there and travel on: a run that is not in the ledger, an undo's own
    // run, a run still going, another open company.
    void RunUndo(TRunContext& context);
    const TUndoResult& Result() const { return m_result; }

private:
    // One kind of transaction, a request set at a time; writer is null for
    // a preview.
    void UndoKind(TRunContext& context, TQBConnection& qb, TLedgerRunWriter* writer,
                  const QList<TLedgerRecord>& records, const QSet<QString>& deletedBefore);
    // Lists the voids that cannot be undone and the records whose outcome
    // is unknown; a check the run added and voided is deleted as the void
    // left it.
    void ListLeft(const QList<TLedgerRecord>& records, QList<TLedgerRecord>& undoable,
                  const QHash<int, QString>& unknownWhy);
    void Add(const TLedgerRecord& record, TUndoAction action, const QString& detail = QString());

    TUndoRunOptions m_options;
    TUndoResult m_result;
};

// "Check 1105100", "Deposit of check 1105100", "Journal entry of 03/08/2024",
// "Void of check 1105100".
QString LedgerRecordName(const TLedgerRecord& record);
