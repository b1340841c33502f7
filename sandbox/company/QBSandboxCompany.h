// The sandbox company file: a QuickBooks company held in SQLite. Lists
// (accounts, classes, customers, employees, vendors, other names),
// transactions (checks, deposits, journal entries) with their lines, and the
// company's settings: supported qbXML versions and armed faults.
#pragma once

#include "base/ztExceptions.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class ESandboxError : public EztException {
public:
    using EztException::EztException;
};

enum class TSbListKind { Account, Class, Customer, Employee, Vendor, OtherName };
QString SbListKindName(TSbListKind kind); // "Account", ...

struct TSbListElement {
    QString ListID;
    TSbListKind Kind = TSbListKind::Account;
    QString Name;
    QString FullName; // employees: their Name
    QString ParentID;
    int Sublevel = 0;
    bool IsActive = true;
    QString AccountType;
    QString AccountNumber;
    QString CompanyName;
    QString FirstName;
    QString MiddleName;
    QString LastName;
    QString TimeCreated;
    QString TimeModified;
    QString EditSequence;
};

struct TSbTxnLine {
    QString TxnLineID;
    QString Kind; // "Expense", "Deposit", "Debit", "Credit"
    QString AccountID;
    QString EntityID;
    QString ClassID;
    QString CustomerID;
    std::optional<qint64> Cents;
    QString Memo;
    QString CheckNumber;
    QString BillableStatus;
    QString Cleared = QStringLiteral("NotCleared");
};

struct TSbTxn {
    QString TxnID;
    QString Type; // "Check", "Deposit", "JournalEntry"
    int TxnNumber = 0;
    QDate TxnDate;
    QString RefNumber;
    QString Memo;
    QString AccountID; // bank account of a check, deposit-to account of a deposit
    QString PayeeID;
    qint64 Cents = 0;
    std::optional<bool> IsToBePrinted;
    std::optional<bool> IsAdjustment;
    QString Cleared = QStringLiteral("NotCleared");
    QString TimeCreated;
    QString TimeModified;
    QString EditSequence;
    std::vector<TSbTxnLine> Lines;
};

struct TSbTxnFilter {
    QString Type;
    QStringList TxnIDs;
    QStringList RefNumbers;
    std::optional<QDate> FromDate;
    std::optional<QDate> ToDate;
    int MaxReturned = 0; // 0: all
    bool IncludeLines = false;
};

// Faults armed in the company file for tests and demonstrations. Counts
// are requests from now; each fault fires once.
struct TSbFaults {
    bool NotRunning = false;    // BeginSession refused: QuickBooks not running
    bool AccessDenied = false;  // BeginSession refused: the user denied access
    int FailRequest = 0;        // the n-th request fails with status FailStatus
    int FailStatus = 3180;      // 3180 (saving refused), 3140 (bad reference), 3070 (too long)
    int LoseResponse = 0;       // the set holding the n-th request is saved, its answer lost
    int FailBeforeSave = 0;     // the processor fails on the set holding the n-th request
                                // before anything of it is saved
    bool ForgetAnswers = false; // no answer is kept for error recovery
};

// What the company keeps of the last set an application sent with a new
// message-set ID, for error recovery.
struct TSbStoredAnswer {
    QString MessageSetID;
    QString Responses; // the set's response elements as they were answered
};

class TQBSandboxCompany {
public:
    using TClock = std::function<QDateTime()>;

    // Opens the company file; creates an empty company when `create` is set
    // and the file does not exist. Throws ESandboxError.
    TQBSandboxCompany(const QString& fileName, bool create, TClock clock = TClock());
    ~TQBSandboxCompany();
    TQBSandboxCompany(const TQBSandboxCompany&) = delete;
    TQBSandboxCompany& operator=(const TQBSandboxCompany&) = delete;

    QString FileName() const { return m_fileName; }

    // One transaction per request: nothing half-written survives a crash.
    void Begin();
    void Commit();
    void Rollback();

    QStringList Versions();
    void SetVersions(const QStringList& versions);
    TSbFaults Faults();
    void SetFaults(const TSbFaults& faults);
    // How long QuickBooks takes to answer a request set, in milliseconds.
    int LatencyMs();
    void SetLatencyMs(int milliseconds);
    // How long QuickBooks takes to open this company file for a session.
    int OpenLatencyMs();
    void SetOpenLatencyMs(int milliseconds);

    // The company's name (CompanyQueryRq); a file without one is named
    // after the file.
    QString CompanyName();
    void SetCompanyName(const QString& name);

    // Error recovery, per application: the last answer kept, replaced by the
    // next; an empty ID drops it.
    TSbStoredAnswer StoredAnswer(const QString& application);
    void SetStoredAnswer(const QString& application, const TSbStoredAnswer& answer);

    // Lists.
    QString AddListElement(TSbListElement element); // returns the ListID
    std::vector<TSbListElement> ListElements(TSbListKind kind);
    std::vector<TSbListElement> ListElements(const QList<TSbListKind>& kinds);
    std::optional<TSbListElement> FindByListID(const QString& listID);
    std::optional<TSbListElement> FindByFullName(const QList<TSbListKind>& kinds,
                                                 const QString& fullName);
    // ListID -> FullName of every list element, for the references of answers.
    QHash<QString, QString> FullNames();

    // Transactions.
    QString AddTxn(TSbTxn& txn); // fills ids and times; returns the TxnID
    std::vector<TSbTxn> Txns(const TSbTxnFilter& filter);
    std::optional<TSbTxn> FindTxn(const QString& txnID, bool withLines = true);
    // Checks and journal entries by reference number, deposits by the check
    // number of a line; in the order added.
    std::vector<TSbTxn> TxnsByNumber(const QString& number);
    // Every change of a transaction gives it a new, higher EditSequence.
    void VoidTxn(const QString& txnID);
    bool SetCleared(const QString& txnID, const QString& txnLineID, const QString& status);
    void SetTxnMemo(const QString& txnID, const QString& memo);
    // Removes the transaction and its lines; false when there is none.
    bool DeleteTxn(const QString& txnID);

    // Stamp of now: "2014-07-19T07:21:56-05:00".
    QString TimeStamp() const;
    QString EditSequenceNow() const;

private:
    QString Meta(const QString& key, const QString& fallback = QString());
    void SetMeta(const QString& key, const QString& value);
    QString NewID();
    // Marks the transaction modified now.
    void Touch(const QString& txnID);
    void Exec(const QString& sql);
    void CreateSchema();

    QString m_fileName;
    QString m_connectionName;
    QSqlDatabase m_db;
    TClock m_clock;
};
