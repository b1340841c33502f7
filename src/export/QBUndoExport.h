// Taking back in QuickBooks what a run of the ledger added: its checks,
// deposits and journal entries deleted with TxnDelRq, each only when
// QuickBooks still holds it as the run left it.
#pragma once

#include "base/vlxCancelToken.h"
#include "export/ExportObserver.h"
#include "quickbooks/QBConnection.h"

#include <QSet>

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

// "Check 1105100", "Deposit of check 1105100", "Journal entry of 03/08/2024",
// "Void of check 1105100".
QString LedgerRecordName(const TLedgerRecord& record);
// What the user reads of the record; detail is why a delete failed, or why
// the record's outcome is unknown.
TUndoItem UndoItem(const TLedgerRecord& record, TUndoAction action,
                   const QString& detail = QString());

struct TUndoDeletions {
    QList<TUndoItem> Items;
    bool Cancelled = false;
};

// Deletes the records, checks first, then deposits, then journal entries,
// a request set of up to batchSize at a time, each only when its
// EditSequence in QuickBooks (read with one query a set) equals the
// record's; a changed or vanished one is left. TxnIDs in deletedBefore
// were sent by an undo that was interrupted: missing now, they count as
// deleted. The observer hears of each set before it is sent and of what
// became of the records after; without one nothing is deleted and the
// items say what would be. A cancel is taken between sets.
TUndoDeletions DeleteRunRecords(TQBConnection& qb, const QList<TLedgerRecord>& records,
                                const QSet<QString>& deletedBefore, int batchSize,
                                const TRunWatch& watch, IExportObserver* observer);
