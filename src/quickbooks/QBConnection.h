// TQBConnection: the one class through which the program talks to
// QuickBooks. One connection per user action: created, used, destroyed.
#pragma once

#include "logging/vlxcommonlogger.h"
#include "quickbooks/QBFC7Lib.h"
#include "quickbooks/QBRequestProcessor.h"

// A response with severity error; its message is "QB: [code] message".
class EQBStatusError : public EQBError {
public:
    EQBStatusError(int statusCode, const QString& message)
        : EQBError(message), m_statusCode(statusCode) {}
    int StatusCode() const { return m_statusCode; }

private:
    int m_statusCode;
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
    // Ends the message shown when the SDK cannot be reached.
    QString SdkDownloadAddress;
};

extern const QString QBApplicationTitle; // "Orvane QB Export"

class TQBConnection {
public:
    // Opens the connection and the session on the platform's processor.
    static std::unique_ptr<TQBConnection> Create(ICommonLoggerPtr logger,
                                                 const TQBConnectionConfig& config);
    // The same over a given session manager.
    TQBConnection(ICommonLoggerPtr logger, IQBSessionManagerPtr sessionManager,
                  const QString& sdkDownloadAddress);
    // Ends the session and the connection.
    ~TQBConnection();
    TQBConnection(const TQBConnection&) = delete;
    TQBConnection& operator=(const TQBConnection&) = delete;

    int MajorVersion() const { return m_majorVersion; }
    int MinorVersion() const { return m_minorVersion; }
    ICommonLogger& Logger() const { return *m_logger; }

    std::unique_ptr<TMsgSetRequest> NewRequestSet();
    // Logs request and response; fails with EQBStatusError at the first
    // response of severity error.
    std::unique_ptr<TMsgSetResponse> SendRequestSet(const TMsgSetRequest& requestSet);
    void MarkCleared(const QString& txnID);

    // Lists and lookups. A query that found nothing gives an empty list.
    TQBAccountRetList QueryAccounts();
    TQBClassRetList QueryClasses();
    TQBCustomerRetList QueryCustomers();
    TQBEmployeeRetList QueryEmployees();
    TQBDepositRetList QueryDeposits(const QDate& fromDate, const QDate& toDate);
    TQBCheckRetList QueryChecks(const QDate& fromDate, const QDate& toDate);
    TQBJournalEntryRetList QueryJournalEntries(const QDate& fromDate, const QDate& toDate);
    TQBCheckRetList QueryChecksByNumber(const QString& checkNumber);

    // Each clears the list, then fills it in the order QuickBooks returned.
    void GetAccountFullNames(QStringList& strings);
    void GetAccountNumbers(QStringList& strings);
    void GetClassFullNames(QStringList& strings);
    void GetCustomerFullNames(QStringList& strings);

    bool JournalEntryExists(const QDate& date);

    static TQBEEName GetEmployeeName(const TQBEmployeeRet* employee);
    // Throws EQBError "Cannot find QB employee record with ..." without a match.
    static const TQBEmployeeRet& FindEmployeeByName(const TQBEmployeeRetList& employees,
                                                    const TQBEEName& name);
    static const TQBEmployeeRet* FindEmployeeByListID(const TQBEmployeeRetList& employees,
                                                      const TQBRef& ref);

    // The newest of the reported versions as major * 1000 + minor.
    static int ChooseQBXMLVersion(const QStringList& versions);

private:
    void Open(const QString& sdkDownloadAddress);
    template <typename List, typename Append> List QueryList(const QString& caption, Append append);

    ICommonLoggerPtr m_logger;
    IQBSessionManagerPtr m_sessionManager;
    int m_majorVersion = 0;
    int m_minorVersion = 0;
};
