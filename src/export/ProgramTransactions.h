// What the run ledger holds of the transactions earlier runs of this program
// added to a company, in the ledger's plain records: which were added (by
// TxnID), which may have been (an answer lost: by number, date, payee and
// amount) and which were seen cleared. QuickBooks' answers do not tell
// whether a transaction is cleared, so an export that clears asks here.
#pragma once

#include "records/LedgerTypes.h"

#include <QSet>

enum TProgramTxnState {
    ptsNotOurs,    // no run of this program added it, as far as the ledger knows
    ptsNotCleared, // added by this program, no clearing of it seen
    ptsCleared,    // added by this program and seen cleared
};

class TProgramTransactions {
public:
    TProgramTransactions() = default;
    // Checks, deposits and journal entries added or whose outcome is
    // unknown, and clearings done; records of other kinds are ignored.
    explicit TProgramTransactions(const QList<TLedgerRecord>& records);

    // The transaction QuickBooks holds under txnID for the record.
    TProgramTxnState State(const TLedgerRecordIntent& record, const QString& txnID) const;

private:
    static QString Key(const TLedgerRecordIntent& record);

    QSet<QString> m_txnIDs;
    QSet<QString> m_unknownKeys;
    QSet<QString> m_clearedTxnIDs;
};

// "Check 1001 already existed, added by an earlier run of this program:
// marked cleared"
QString MarkedClearedText(const QString& name);
// "Check 1001 exists, not marked cleared: no run of this program added it,
// so it is left as it is"
QString NotMarkedClearedText(const QString& name);
