// What each record of a checks export becomes, a step at a time: a check
// added, existing or voided, returned pay deposited, each marked cleared as
// the options say, and what to tell the ledger of it. The steps only ask for
// requests and read their answers; how they travel is the export's.
#pragma once

#include "export/ExportObserver.h"
#include "export/ProgramTransactions.h"
#include "export/QBChecksExport.h"
#include "export/QBExistingIndex.h"
#include "export/QBRequestPipeline.h"
#include "logging/vlxDeferredLogger.h"

#include <QHash>
#include <QSet>

#include <optional>

// The key under which two check numbers may name the same QuickBooks check.
QString CheckNumberKey(const TCheckRecord& r);

// A record on its way through the export: what it is to send next, and what
// it logs, held until the record is done and every record before it has
// been logged, so the log reads in report order however the requests
// travel.
struct TCheckWork {
    enum TStage { rsNew, rsQuery, rsChange, rsClear, rsRefresh, rsDone };

    const TCheckRecord* Record = nullptr;
    int Index = 0; // in the report
    TStage Stage = rsNew;
    std::optional<TQBRequest> Request; // waiting to be sent, or sent and not yet answered
    bool Included = false;
    QString Payee;   // the trimmed payee name a voided check must have
    QString Created; // what the record created so far
    TDeferredLogger Log;
    // What the observer hears: the check, void or deposit, and its clearing.
    TExportNote Note;
    TExportNote Clearing;
    // The note whose change Request carries; null for a query.
    TExportNote* InFlight = nullptr;
};

class TCheckDecider {
public:
    // The options' accounts are QuickBooks' spelling; with `observed`, what
    // becomes of records is gathered for the observer (Settled), and the
    // EditSequence after a clearing or a void is read again.
    TCheckDecider(const TQBExistingIndex& existing, const TQBChecksExportParam& options,
                  const TProgramTransactions* ours, bool preview, bool observed);

    // The record's first step: settled at once, or a request to send.
    void Start(TCheckWork& w);
    // The answer to the record's request: its next request, or done.
    void Answer(TCheckWork& w, const TQBAnswer& answer);

    // The counts so far.
    TChecksExportResult& Result() { return m_result; }
    // Records done, for the progress.
    int Finished() const { return m_finished; }
    // What became of records since the last call.
    TExportNotes& Settled() { return m_settled; }

private:
    template <typename F> void InRecord(TCheckWork& w, F step);
    void Fail(TCheckWork& w, bool stateUnknown);
    void Finish(TCheckWork& w);
    static void Await(TCheckWork& w, TCheckWork::TStage stage, TQBRequest request);
    void AwaitChange(TCheckWork& w, TCheckWork::TStage stage, TQBRequest request,
                     TExportNote& note);
    TQBCheckRet PlannedCheck(const TCheckRecord& r) const;
    void Settle(TCheckWork& w, TExportNote& note, TLedgerOutcome outcome,
                const QString& message = QString());
    void Resettle(TExportNote& note, TLedgerOutcome outcome, const QString& message);
    void ClearOrFinish(TCheckWork& w, const TQBResponse& response, const char* what);
    void ClearExistingOrFinish(TCheckWork& w);
    void Clear(TCheckWork& w, const QString& txnID);
    void SettleCreated(TCheckWork& w, const TQBResponse& response);
    void RefreshOrFinish(TCheckWork& w);
    void Refreshed(TCheckWork& w, const TQBResponse& response);
    bool SettleExisting(TCheckWork& w, const TExisting& existing);
    void DecideVoidOrDeposit(TCheckWork& w, const TQBCheckRetList& answer);
    // The payee the options name in requests: none without names.
    QString RequestPayee(const TCheckRecord& r) const;

    const TQBExistingIndex& m_existing;
    const TQBChecksExportParam& m_options;
    const TProgramTransactions* m_ours;
    const bool m_preview;
    const bool m_observed;
    QString m_cashAccount;  // trimmed
    QString m_noteAccounts; // "cash / liability", as the observer hears them
    int m_finished = 0;
    TExportNotes m_settled;

    // Numbers of checks this run failed to add, true where whether the add
    // was done is unknown.
    QHash<QString, bool> m_notAdded;

    // Previews: the checks earlier records would add, by number, and the
    // TxnIDs they would void.
    QHash<QString, std::vector<TQBCheckRet>> m_plannedChecks;
    QSet<QString> m_voidedInPreview;

    TChecksExportResult m_result;
};
