// The run ledger: a database (an SQLite file, or PostgreSQL shared by several
// workstations) that records every run that may change QuickBooks, written
// ahead of what the run sends, so that a run killed at any point leaves a
// record of what may have happened. It also keeps which QuickBooks company
// each Orvane company and report file was posted into, the bureau's company
// map, and the claims that keep two workstations from exporting one payroll.
//
// Write-ahead order for a run: BeginRun; per request set, WriteIntents before
// it is sent and WriteOutcomes after its answers are applied; EndRun. Each
// call is one committed transaction and renews the run's heartbeat. Every
// failure throws ELedgerError: the run stops, since nothing may be posted
// without a record.
//
// One object is one connection, used on the thread that made it.
#pragma once

#include "ledger/LedgerLocation.h"
#include "records/LedgerTypes.h"
#include "settings/vlxRedir.h"
#include "settings/ztSettings.h"

#include <QSet>

#include <functional>
#include <memory>
#include <optional>

class TLedgerDb;

struct TLedgerOptions {
    TLedgerIdentity Identity;
    // UTC now; empty: this computer's clock, set to the database server's.
    std::function<QDateTime()> Clock;
    // How long SQLite waits for another writer, PostgreSQL for a lock.
    int BusyTimeoutMs = 10000;
    // A run without an end whose heartbeat is older reads as interrupted;
    // one of this computer whose process is gone does at once.
    int RunLeaseSeconds = 300;
};

class TRunLedger {
public:
    // Opens the ledger, creating it or upgrading an older one. Throws
    // ELedgerError: it cannot be opened, it was made by a newer program, or it
    // is something else's database.
    TRunLedger(const TLedgerLocation& location, TLedgerOptions options);
    ~TRunLedger();
    TRunLedger(const TRunLedger&) = delete;
    TRunLedger& operator=(const TRunLedger&) = delete;

    const TLedgerLocation& Location() const;
    int Version();

    // --- Runs, written ahead
    // Records a run as running; returns its id.
    QString BeginRun(const TLedgerRunStart& start);
    // Writes records as pending; returns their sequence numbers.
    QList<int> WriteIntents(const QString& runId, const QList<TLedgerRecordIntent>& records);
    void WriteOutcomes(const QString& runId, const QList<TLedgerRecordOutcome>& outcomes);
    // Both in one transaction: the outcomes of records written before, then
    // new records, each with its outcome (pending for an intent); returns
    // the new records' sequence numbers. A run writes its last set's
    // outcomes with the next set's intents so: one commit per set.
    QList<int> WriteRecords(const QString& runId, const QList<TLedgerRecordOutcome>& outcomes,
                            const QList<TLedgerRecord>& records);
    // Tells readers the run still lives.
    void Heartbeat(const QString& runId);
    // Ends the run as finished or failed; records still pending become state
    // unknown, since their request set may have reached QuickBooks.
    void EndRun(const QString& runId, TLedgerRunState state, const QString& message = {});

    // --- Runs, read
    // Newest first.
    QList<TLedgerRun> Runs(const TLedgerRunFilter& filter = {});
    // By id or an unambiguous beginning of one. Throws ELedgerError when the
    // beginning fits several runs.
    std::optional<TLedgerRun> FindRun(const QString& idOrPrefix);
    // In sequence; an interrupted run's pending records read as state unknown.
    QList<TLedgerRecord> Records(const QString& runId);
    // The checks, deposits and journal entries the run added that no undo has
    // deleted since: what an undo may take back (TxnID and EditSequence).
    QList<TLedgerRecord> Undoable(const QString& runId);
    // What the checks and GL runs into the company may have left there: the
    // checks, deposits and journal entries they added or whose outcome is
    // unknown (pending included), and the clearings they saw done.
    QList<TLedgerRecord> AddedInto(const TLedgerTarget& target);
    // Settles records of an ended or interrupted run whose outcome was
    // unknown, with a note of who settled them; records settled meanwhile
    // are left as they are.
    void ResolveRecords(const QString& runId, const QList<TLedgerRecordOutcome>& outcomes,
                        const QString& note);
    // Those of the TxnIDs that a record added (a check, deposit or journal
    // entry of some run).
    QSet<QString> HeldTxnIDs(const QStringList& txnIDs);
    // The undo runs that refer to the run, oldest first.
    QList<TLedgerRun> UndoRunsOf(const QString& runId);
    // Payrolls of the company a checks or GL run finished without failed or
    // unknown records and no undo took back.
    QStringList ExportedPayrolls(const QString& orvaneCompany, TReportKind kind);

    // --- Which QuickBooks company an Orvane company or a report file went to
    QList<TLedgerPairing> Pairings();
    std::optional<TLedgerPairing> FindPairing(TLedgerPairingKind kind, const QString& key);
    QList<TLedgerPairing> PairingsOfCompanyFile(const QString& companyFile);
    // Adds or replaces the pairing of its kind and key.
    void RecordPairing(const TLedgerPairing& pairing);
    // False when there was none.
    bool RemovePairing(TLedgerPairingKind kind, const QString& key);

    // --- The bureau's company map, by Orvane company; each change records
    // who made it and when
    QList<TBureauMapEntry> CompanyMap();
    std::optional<TBureauMapEntry> MapEntry(const QString& orvaneCompany);
    // Throws ELedgerError when the company is mapped already.
    void AddMapEntry(const TBureauMapEntry& entry);
    // Throws ELedgerError when the company is not mapped.
    void UpdateMapEntry(const TBureauMapEntry& entry);
    bool RemoveMapEntry(const QString& orvaneCompany);

    // --- Claims on exporting a payroll
    // Granted when nobody holds it or the holder's claim expired; otherwise
    // names the holder. One transaction, so of two workstations one wins.
    TLedgerClaim Claim(const QString& orvaneCompany, const QString& payroll, TReportKind kind,
                       int seconds = DefaultClaimSeconds);
    // Extends a granted claim; false when it was lost (expired and taken over).
    bool RenewClaim(TLedgerClaim& claim, int seconds = DefaultClaimSeconds);
    void ReleaseClaim(const TLedgerClaim& claim);

private:
    QDateTime Now() const;
    void Touch(const QString& runId, const QDateTime& now);
    // The run was written by a process of this computer that is named.
    bool ProcessKnownHere(const TLedgerRun& run) const;
    QList<int> InsertRecords(const QString& runId, const QList<TLedgerRecord>& records);
    void UpdateOutcomes(const QString& runId, const QList<TLedgerRecordOutcome>& outcomes);
    QList<TLedgerRun> ReadRuns(const QString& where, const QVariantList& values,
                               const QString& order, int limit = 0);
    QList<TLedgerRecord> ReadRecords(const QString& where, const QVariantList& values,
                                     bool interrupted);
    QList<TLedgerPairing> ReadPairings(const QString& where, const QVariantList& values);
    QList<TBureauMapEntry> ReadMap(const QString& where, const QVariantList& values);
    // The entry as stored: who changes it, and now.
    TBureauMapEntry Changed(const TBureauMapEntry& entry) const;

    std::unique_ptr<TLedgerDb> m_db;
    TLedgerOptions m_options;
    qint64 m_serverOffsetMs = 0;
};

// The ledger of the redirection alias "Ledger", with the password saved in the
// settings. Throws ELedgerError, and the redirection's errors.
std::unique_ptr<TRunLedger> OpenLedger(const IRedirection& redirection, const IztSettings& settings,
                                       TLedgerOptions options);
