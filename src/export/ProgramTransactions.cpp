#include "export/ProgramTransactions.h"

TProgramTransactions::TProgramTransactions(const QList<TLedgerRecord>& records) {
    for (const TLedgerRecord& r : records) {
        if (r.Kind == lekClearing) {
            if (r.Outcome == loCleared && !r.TxnID.isEmpty())
                m_clearedTxnIDs.insert(r.TxnID);
            continue;
        }
        if (r.Kind != lekCheck && r.Kind != lekDeposit && r.Kind != lekJournalEntry)
            continue;
        // A TxnID known names the one transaction; a person's later one
        // of the same number and amount is not this program's.
        if (r.Outcome == loAdded && !r.TxnID.isEmpty())
            m_txnIDs.insert(r.TxnID);
        else if (r.Outcome == loStateUnknown || r.Outcome == loPending)
            m_unknownKeys.insert(Key(r));
    }
}

QString TProgramTransactions::Key(const TLedgerRecordIntent& r) {
    return LedgerText(r.Kind) + QChar(0x1f) + r.Number.trimmed() + QChar(0x1f) +
           r.Date.toString(Qt::ISODate) + QChar(0x1f) + r.Payee.trimmed() + QChar(0x1f) +
           QString::number(r.Amount.Raw());
}

TProgramTxnState TProgramTransactions::State(const TLedgerRecordIntent& record,
                                             const QString& txnID) const {
    if (!txnID.isEmpty() && m_clearedTxnIDs.contains(txnID))
        return ptsCleared;
    if ((!txnID.isEmpty() && m_txnIDs.contains(txnID)) || m_unknownKeys.contains(Key(record)))
        return ptsNotCleared;
    return ptsNotOurs;
}

QString MarkedClearedText(const QString& name) {
    return name + QStringLiteral(" already existed, added by an earlier run of this program: "
                                 "marked cleared");
}

QString NotMarkedClearedText(const QString& name) {
    return name + QStringLiteral(" exists, not marked cleared: no run of this program added it, "
                                 "so it is left as it is");
}
