// What an export tells whoever watches it about its records, set by set:
// the records whose changes a request set carries, before it is sent, and
// what became of records once answers were applied. The run ledger writes
// ahead through it; a preview or a bureau report can listen the same way.
// The records are the ledger's plain ones, which know no QuickBooks types.
#pragma once

#include "records/LedgerTypes.h"

#include <QList>

// One record of an export as the observer hears it. Key tells the records of
// one export apart: a record's outcome carries the key of its intent. A
// record that needed no change (it existed, it was skipped) is only settled.
struct TExportNote : TLedgerRecordIntent {
    int Key = 0;
    TLedgerOutcome Outcome = loPending;
    QString Message;
};
using TExportNotes = QList<TExportNote>;

class IExportObserver {
public:
    virtual ~IExportObserver() = default;
    // Before a request set that changes QuickBooks is sent: the records
    // whose changes it carries. A throw stops the export; the set is not
    // sent.
    virtual void Sending(const TExportNotes& records) = 0;
    // After a set's answers were applied: what became of records. A throw
    // stops the export before the next set.
    virtual void Settled(const TExportNotes& records) = 0;
};

// The record of a QuickBooks transaction an export created or changed.
inline TExportNote ExportNote(int key, TLedgerRecordKind kind, const QString& number,
                              const QDate& date, const QString& payee, Currency amount,
                              const QString& accounts) {
    TExportNote note;
    note.Key = key;
    note.Kind = kind;
    note.Number = number;
    note.Date = date;
    note.Payee = payee;
    note.Amount = amount;
    note.Accounts = accounts;
    return note;
}
