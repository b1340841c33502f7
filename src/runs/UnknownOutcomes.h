// Records whose outcome is unknown ("state unknown": sent, and no answer
// told what QuickBooks did) are settled by looking in QuickBooks: a run does
// it for the earlier runs into its company before it posts, an undo before
// it deletes, and `orvq-cli runs --resolve` on demand. A check, deposit or
// journal entry is found when exactly one transaction matches it in every
// field the export sets and no record of the ledger added that transaction;
// a void by its check's TxnID. Clearings stay unknown: QuickBooks' answers
// carry no cleared status.
#pragma once

#include "ledger/RunLedger.h"
#include "quickbooks/QBConnection.h"

// One unknown record of a run and what QuickBooks shows of it.
struct TUnknownOutcome {
    QString RunId;
    TLedgerRecord Record;
    // Added or voided (with the transaction's TxnID and EditSequence), not
    // added, or still state unknown, Why saying why.
    TLedgerOutcome Found = loStateUnknown;
    QString TxnID;
    QString EditSequence;
    QString Why;
};

class TUnknownOutcomeResolver {
public:
    TUnknownOutcomeResolver(TRunLedger& ledger, TQBConnection& qb, int batchSize);

    // The unknown records of the ended checks and GL runs into the open
    // company (only those of onlyRunId when given), looked up a request set
    // of batch size at a time. Writes nothing.
    QList<TUnknownOutcome> LookUp(const TLedgerTarget& company, const QString& onlyRunId = {});
    // Looks up, then settles on the runs' records what QuickBooks shows,
    // with the note (ResolvedNote of the run that does it); logs each record.
    // Throws ELedgerError, and QuickBooks' errors before anything is written.
    QList<TUnknownOutcome> Resolve(const TLedgerTarget& company, const QString& note,
                                   const QString& onlyRunId = {});

private:
    struct TCandidate {
        QString TxnID;
        QString EditSequence;
    };
    void LookUpAdds(QList<TUnknownOutcome*> records);
    void LookUpVoids(const QList<TUnknownOutcome*>& records);
    QList<QList<TCandidate>> CandidatesOf(const QList<TUnknownOutcome*>& chunk);
    bool PayeeMatches(const TQBRef& ref, const QString& payee);

    TRunLedger& m_ledger;
    TQBConnection& m_qb;
    int m_batchSize;
    std::optional<TQBEmployeeRetList> m_employees; // read once a payee needs them
};

// "resolved by run 6c89c515"
QString ResolvedNote(const QString& resolvingRunId);
// "Check 1001 of run 6c89c515: added (resolved by run 0f3e2a71)", or "... stays
// state unknown: 2 transactions in QuickBooks match it: TxnIDs …".
QString UnknownOutcomeText(const TUnknownOutcome& outcome, const QString& note);
