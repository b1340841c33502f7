// Taking a run back: what a run of the ledger added (checks, deposits,
// journal entries) and no undo has deleted since is deleted from QuickBooks
// as DeleteRunRecords does it, each only when QuickBooks still holds it as
// the run left it. Voids are listed as not undoable (QuickBooks has no
// un-void), but a check the run added and voided itself is deleted. Records
// of unknown outcome are settled from QuickBooks first; those still unknown
// are listed with what to look for. An undo is a run of the ledger itself,
// so running it again after an interruption finishes it, and after a
// complete one finds nothing to do. Refused when the open company (name and
// file) is not the run's.
#pragma once

#include "export/QBUndoExport.h"
#include "runs/RunContext.h"
#include "settings/QBDecl.h"

struct TUndoRunOptions {
    // The run to take back: its id, or an unambiguous beginning of one.
    QString RunId;
    // Says what an undo would do; deletes nothing and records nothing.
    bool Preview = false;
    int BatchSize = DefaultQBBatchSize;
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
    // Lists the voids that cannot be undone and the records whose outcome
    // is unknown; a check the run added and voided is deleted as the void
    // left it.
    void ListLeft(const QList<TLedgerRecord>& records, QList<TLedgerRecord>& undoable,
                  const QHash<int, QString>& unknownWhy);
    void Add(const TUndoItem& item);

    TUndoRunOptions m_options;
    TUndoResult m_result;
};
