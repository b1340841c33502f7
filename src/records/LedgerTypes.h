// Plain records of the run ledger: a run and what became of each of its
// records, which QuickBooks company an Orvane company or a report file was
// posted into, the bureau's company map and the claims that keep two
// workstations from exporting the same payroll. No QuickBooks types: the runs
// translate their own into these.
#pragma once

#include "base/Currency.h"
#include "base/ztExceptions.h"
#include "ledger/ReportKind.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// The ledger cannot be opened, read or written. Where a run needs it, the
// message says that posting stops; details follow the first empty line.
class ELedgerError : public EztException {
public:
    using EztException::EztException;
};

enum TLedgerRunKind { lrkChecks, lrkGL, lrkUndo, lrkPreview };

// A run without an end whose heartbeat is older than the lease reads as
// interrupted; it is never stored so, since a slow run may still renew it.
enum TLedgerRunState { lrsRunning, lrsFinished, lrsFailed, lrsInterrupted };

enum TLedgerRecordKind { lekCheck, lekVoid, lekDeposit, lekJournalEntry, lekClearing, lekDeletion };

enum TLedgerOutcome {
    loPending, // written before its request set is sent
    loAdded,
    loVoided,
    loAlreadyExisted,
    loDiffers,
    loFailed,
    loStateUnknown, // sent, and no answer tells what QuickBooks did
    loSkipped,
    loDeleted,
    loNotDeleted,
    loWouldAdd, // previews
    loWouldVoid,
    loInvalid,
    loCleared,  // a clearing done
    loNotAdded, // an unknown outcome that QuickBooks shows was not done
};

// The words the ledger stores and the user reads ("journal entry", "already
// existed", "state unknown", "interrupted"), for every enumeration here.
template <typename TEnum> struct TLedgerWords {
    static QString Text(TEnum value);
    // False for a text none of the values has.
    static bool Parse(const QString& text, TEnum& value);
};
template <typename TEnum> QString LedgerText(TEnum value) {
    return TLedgerWords<TEnum>::Text(value);
}
template <typename TEnum> bool ParseLedgerText(const QString& text, TEnum& value) {
    return TLedgerWords<TEnum>::Parse(text, value);
}

// A process as its system knows it: the id, and when it started in the
// system's own terms, so that a later process given the same id is not taken
// for it. Id 0: not known.
struct TLedgerProcess {
    qint64 Id = 0;
    QString Started;
};

// Who writes: the operating-system user, the computer (the workstation name
// claims show), the program's version and the process.
struct TLedgerIdentity {
    QString OsUser;
    QString Computer;
    QString ProgramVersion;
    TLedgerProcess Process;

    static TLedgerIdentity ThisWorkstation(const QString& programVersion);
};

// Where a run's report came from: the Orvane company and payrolls of a
// service run, or the report file of a file run.
struct TLedgerSource {
    QString OrvaneCompany;
    QStringList Payrolls;
    QString FileName;
    qint64 FileSize = 0;
    QString FileSha256; // lower-case hex
};

// The QuickBooks company a run posts into, as QuickBooks names it.
struct TLedgerTarget {
    QString CompanyFile;
    QString CompanyName;
};

// What a run is, as it starts.
struct TLedgerRunStart {
    TLedgerRunKind Kind = lrkChecks;
    TReportKind ReportKind = rkNone;
    TLedgerSource Source;
    TLedgerTarget Target;
    QString Options;     // the run's options as the user would read them
    QString TargetRunId; // an undo: the run it takes back
};

struct TLedgerRun : TLedgerRunStart {
    QString Id; // a UUID
    TLedgerRunState State = lrsRunning;
    QDateTime Started; // UTC
    QDateTime Ended;   // invalid while running or when interrupted
    QDateTime Heartbeat;
    TLedgerIdentity Identity;
    QString Message; // why a run failed
    // A running run whose process cannot be looked at here (another
    // computer's): when it reads as interrupted unless it writes again.
    // Invalid for a run of a process of this computer that lives.
    QDateTime LeaseEnds;
    // Records per outcome; an interrupted run's pending ones count as state
    // unknown.
    QMap<TLedgerOutcome, int> Counts;
    // The records' amounts per outcome, as Counts counts them.
    QMap<TLedgerOutcome, Currency> Amounts;
    // The first and last date of its records (check dates); invalid for none.
    QDate FirstDate;
    QDate LastDate;
};

// One record of a run as written before its request set is sent. A void's or
// a deletion's TxnID and EditSequence are those of the transaction it changes.
struct TLedgerRecordIntent {
    TLedgerRecordKind Kind = lekCheck;
    QString Number;
    QDate Date;
    QString Payee;
    Currency Amount;
    QString Accounts;
    QString TxnID;
    QString EditSequence;
};

// What became of a record once its answer was applied. An empty TxnID or
// EditSequence keeps the one written before.
struct TLedgerRecordOutcome {
    int Seq = 0;
    TLedgerOutcome Outcome = loPending;
    QString TxnID;
    QString EditSequence;
    QString Message;
};

struct TLedgerRecord : TLedgerRecordIntent {
    int Seq = 0; // 1, 2, … in the order the run wrote them
    TLedgerOutcome Outcome = loPending;
    QString Message;
    QString Note; // how an unknown outcome was settled later ("resolved by run 6c89c515")
};

struct TLedgerRunFilter {
    QString CompanyFile; // empty: every company
    int Limit = 0;       // 0: no limit
};

// A QuickBooks company an Orvane company (by number) or a report file (by
// SHA-256) was posted into.
enum TLedgerPairingKind { lpaOrvaneCompany, lpaReportFile };

struct TLedgerPairing {
    TLedgerPairingKind Kind = lpaOrvaneCompany;
    QString Key;   // company number or file checksum
    QString Label; // the Orvane company's name or the report file's name
    TLedgerTarget Target;
    QDateTime Recorded;
    QString RunId; // the run that made the pairing
};

// One row of the bureau's company map.
struct TBureauMapEntry {
    QString OrvaneCompany;
    QString CompanyFile;
    QString CashAccount;
    QString LiabilityAccount;
    TChecksReportChoice ChecksKind = crcAllChecks;
    bool PostGL = false;
    bool Clear = false;
    bool IncludeDD = false;
    bool PayeeNames = false;
    // The QuickBooks company the file held when the row was added: a file
    // that opens another is refused. Empty in rows older than the record.
    QString CompanyName;
    // Who changed the row last, and when (UTC); set by the ledger.
    QString ChangedBy;
    QDateTime Changed;
    // Why the stored row cannot be used (a value this version does not
    // know); never stored.
    QString Problem;

    friend bool operator==(const TBureauMapEntry& a, const TBureauMapEntry& b) {
        return a.OrvaneCompany == b.OrvaneCompany && a.CompanyFile == b.CompanyFile &&
               a.CashAccount == b.CashAccount && a.LiabilityAccount == b.LiabilityAccount &&
               a.ChecksKind == b.ChecksKind && a.PostGL == b.PostGL && a.Clear == b.Clear &&
               a.IncludeDD == b.IncludeDD && a.PayeeNames == b.PayeeNames &&
               a.CompanyName == b.CompanyName;
    }
};

// A claim on exporting one payroll: granted to this ledger's workstation, or
// naming the workstation that holds it.
struct TLedgerClaim {
    QString OrvaneCompany;
    QString Payroll;
    TReportKind ReportKind = rkNone;
    bool Granted = false;
    QString Token; // the holder's; renewing and releasing need it
    QString Workstation;
    QDateTime Since;
    QDateTime Expires;
    QString TakenOverFrom; // the workstation whose expired claim this one replaced
};

constexpr int DefaultClaimSeconds = 15 * 60;

// "being exported by WS-2 since 10:02" (local time).
QString ClaimHolderText(const TLedgerClaim& claim);
// "Run 6c89c515 on WS-2 last wrote at 10:30; it counts as interrupted from
// 10:35 unless it writes again" (local times), for a run with a lease end.
QString RunLeaseText(const TLedgerRun& run);
