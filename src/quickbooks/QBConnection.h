// TQBConnection: the one class through which the program talks to
// QuickBooks. One connection per user action: created, used, destroyed.
#pragma once

#include "base/ErrorAdvice.h"
#include "logging/vlxcommonlogger.h"
#include "quickbooks/QBFC7Lib.h"
#include "quickbooks/QBRequestProcessor.h"

// The status codes of QuickBooks' responses the program tells apart.
namespace qbstatus {
constexpr int Ok = 0;
constexpr int ObjectNotFound = 3120; // no transaction or list element with that ID
} // namespace qbstatus

// A response with severity error; its message is "QB: [code] message",
// followed by a line that says what to do for the statuses users meet most.
class EQBStatusError : public EQBError {
public:
    EQBStatusError(int statusCode, const QString& message)
        : EQBError(WithErrorAdvice(message, asQBStatus, quint32(statusCode))),
          m_statusCode(statusCode) {}
    int StatusCode() const { return m_statusCode; }

private:
    int m_statusCode;
};

// QuickBooks' answer to a set that changes data was lost and QuickBooks
// keeps no copy of it: what the set did cannot be known here.
class EQBStateUnknown : public EQBError {
public:
    using EQBError::EQBError;
};

// QuickBooks or its SDK cannot be reached at all.
class EQBAccessError : public EQBError {
public:
    using EQBError::EQBError;
};

// The name of a QuickBooks employee in the form check records use.
struct TQBEEName {
    QString FirstName;
    QString MiddleInitial;
    QString LastName;

    friend bool operator==(const TQBEEName& a, const TQBEEName& b) {
        return a.FirstName == b.FirstName && a.MiddleInitial == b.MiddleInitial &&
               a.LastName == b.LastName;
    }
    friend bool operator!=(const TQBEEName& a, const TQBEEName& b) { return !(a == b); }
};

struct TQBConnectionConfig {
    TQBProcessorConfig Processor;
    // The company file QuickBooks is asked to open for the session; empty:
    // the file open in QuickBooks.
    QString CompanyFile;
    // Ends the message shown when the SDK cannot be reached.
    QString SdkDownloadAddress;
};

extern const QString QBApplicationTitle; // "Orvane QB Export"

// No QuickBooks employee has the three names of a report's record.
class EQBEmployeeNotFound : public EQBError {
public:
    using EQBError::EQBError;
};

class TQBConnection {
public:
    // Opens the connection and the session on the platform's processor.
    static std::unique_ptr<TQBConnection> Create(ICommonLoggerPtr logger,
                                                 const TQBConnectionConfig& config);
    // The same over a given session manager.
    TQBConnection(ICommonLoggerPtr logger, IQBSessionManagerPtr sessionManager,
                  const QString& sdkDownloadAddress, const QString& companyFile = QString());
    // Ends the session and the connection.
    ~TQBConnection();
    TQBConnection(const TQBConnection&) = delete;
    TQBConnection& operator=(const TQBConnection&) = delete;

    int MajorVersion() const { return m_majorVersion; }
    int MinorVersion() const { return m_minorVersion; }
    ICommonLogger& Logger() const { return *m_logger; }

    // A preview's connection: every set that would change data is refused
    // before it leaves (EQBError), whoever builds it. Set once QuickBooks is
    // open, before anything is sent.
    void SetPreviewOnly(bool previewOnly) { m_previewOnly = previewOnly; }
    bool PreviewOnly() const { return m_previewOnly; }

    std::unique_ptr<TMsgSetRequest> NewRequestSet();
    // Logs request and response; fails with EQBStatusError at the first
    // response of severity error. A set that changes data is sent for error
    // recovery (see SendBatch).
    std::unique_ptr<TMsgSetResponse> SendRequestSet(TMsgSetRequest& requestSet);
    // Sends a set whose responses belong to different callers: statuses are
    // left to them (CheckResponseStatus). A set that changes data carries a
    // new message-set ID; when the processor fails after QuickBooks may have
    // seen the set, or its answer cannot be read, QuickBooks' stored answer
    // is asked for at once and returned as if it had arrived (logged).
    // Throws EQBStateUnknown when QuickBooks keeps no answer, and the
    // processor's error when it refused the set whole before QuickBooks
    // saw it or the set changes nothing.
    std::unique_ptr<TMsgSetResponse> SendBatch(TMsgSetRequest& requestSet);
    void MarkCleared(const QString& txnID);
    // Deletes one transaction; fails with EQBStatusError ObjectNotFound when QuickBooks
    // holds none of that kind with that TxnID.
    TQBTxnDelRet DeleteTransaction(TQBTxnDelType type, const QString& txnID);

    // The company the session has open: its name as QuickBooks tells it
    // (fails when QuickBooks names none) and the full path of its file.
    TQBCompanyRet QueryCompany();
    QString CurrentCompanyFileName();

    // Logs the status of one response as QuickBooks' severity asks: Info
    // with a code other than 0 as debug, Warn as a warning; Error throws
    // EQBStatusError "QB: [code] message".
    static void CheckResponseStatus(ICommonLogger& logger, const TQBResponse& response);
    static bool IsErrorStatus(const TQBResponse& response);
    // "QB: [3120] Object ... cannot be found. ..."
    static QString StatusText(const TQBResponse& response);

    // Lists and lookups. A query that found nothing gives an empty list.
    TQBAccountRetList QueryAccounts();
    TQBClassRetList QueryClasses();
    TQBCustomerRetList QueryCustomers();
    TQBEmployeeRetList QueryEmployees();
    TQBDepositRetList QueryDeposits(const QDate& fromDate, const QDate& toDate);
    TQBCheckRetList QueryChecks(const QDate& fromDate, const QDate& toDate);
    TQBJournalEntryRetList QueryJournalEntries(const QDate& fromDate, const QDate& toDate,
                                               bool lineItems = false);
    TQBCheckRetList QueryChecksByNumber(const QString& checkNumber);
    // The checks of these numbers, with their lines, in one request. No
    // numbers, no request.
    TQBCheckRetList QueryChecksByNumbers(const QStringList& checkNumbers);
    // The transactions of these TxnIDs that still exist, in one request, with
    // their current EditSequence; no line items. No TxnIDs, no request.
    TQBCheckRetList QueryChecksByTxnID(const QStringList& txnIDs);
    TQBDepositRetList QueryDepositsByTxnID(const QStringList& txnIDs);
    TQBJournalEntryRetList QueryJournalEntriesByTxnID(const QStringList& txnIDs);

    // Each clears the list, then fills it in the order QuickBooks returned.
    void GetAccountFullNames(QStringList& strings);
    void GetAccountNumbers(QStringList& strings);
    void GetClassFullNames(QStringList& strings);
    void GetCustomerFullNames(QStringList& strings);

    bool JournalEntryExists(const QDate& date);

    static TQBEEName GetEmployeeName(const TQBEmployeeRet* employee);
    // Throws EQBEmployeeNotFound "Cannot find QB employee record with ..."
    // without a match.
    static const TQBEmployeeRet& FindEmployeeByName(const TQBEmployeeRetList& employees,
                                                    const TQBEEName& name);
    static const TQBEmployeeRet* FindEmployeeByListID(const TQBEmployeeRetList& employees,
                                                      const TQBRef& ref);

    // The newest of the reported versions as major * 1000 + minor.
    static int ChooseQBXMLVersion(const QStringList& versions);

private:
    void Open(const QString& sdkDownloadAddress, const QString& companyFile);
    std::unique_ptr<TMsgSetResponse> Exchange(TMsgSetRequest& requestSet);
    std::unique_ptr<TMsgSetResponse> Recover(const TMsgSetRequest& lost, const QString& failure);
    template <typename List, typename Append> List QueryList(const QString& caption, Append append);
    template <typename List, typename Append>
    List QueryByTxnID(const QString& caption, const QStringList& txnIDs, Append append);

    ICommonLoggerPtr m_logger;
    IQBSessionManagerPtr m_sessionManager;
    int m_majorVersion = 0;
    int m_minorVersion = 0;
    // Message-set IDs are this connection's random prefix and a sequence
    // number, unique across runs and within the 23 characters QuickBooks
    // keeps.
    QString m_messageSetPrefix;
    int m_messageSetCount = 0;
    bool m_previewOnly = false;
};
