// One logged-in session with the Orvane payroll service over XML-RPC, and the
// connection the workflows use, which logs in again once when the service
// has dropped the session.
#pragma once

#include "base/vlxCancelToken.h"
#include "base/ztExceptions.h"
#include "logging/vlxcommonlogger.h"
#include "payroll/OrvData.h"
#include "table/MemTable.h"
#include "payroll/xmlrpc/XmlRpcClient.h"
#include "payroll/xmlrpc/XmlRpcTypes.h"
#include "settings/OrvConnectionParam.h"
#include "settings/vlxRedir.h"

#include <QElapsedTimer>
#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

// An error answer of the service: its code and text exactly as sent.
class EOrvAPIError : public EztException {
public:
    EOrvAPIError(qint32 errorCode, const QString& errorMessage);
    qint32 ErrorCode() const { return m_errorCode; }
    const QString& ErrorMessage() const { return m_errorMessage; }

private:
    qint32 m_errorCode;
    QString m_errorMessage;
};

// The service's answer once it has dropped a session.
constexpr qint32 OrvWrongSessionCode = 810;
extern const QString OrvWrongSessionMessage;
bool IsOrvWrongSession(const EOrvAPIError& error);

struct TOrvReportDef {
    IRpcStructPtr Params;
    QString ReportType;
    qint32 ReportNumber = 0;
};

struct TTimeClockImportData {
    QString FileData;
    quint8 LookupOption = 0; // 0 "Name", 1 "Custom #", 2 "SSN"
    quint8 DBDTOption = 0;   // 0 "Full", 1 "Partial"
    bool FourDigitYear = false;
    quint8 FileFormat = 0; // 0 "Fixed positions", 1 "Comma delimited"
    bool AutoImportJobCodes = false;
    bool UseEmployeePayRates = false;
};

struct TTimeClockImportResult {
    qint32 RejectedRecords = 0;
    QString LogFile;
};

struct TOrvXImportInputFile {
    QString FileName;
    QString FileData;
};
using TOrvXImportInputFiles = std::vector<TOrvXImportInputFile>;

struct TOrvXImportResult {
    qint32 InputRows = 0;
    qint32 ImportedRows = 0;
    QString ErrorsList;
    qint32 RealErrors = 0;
    qint32 Warnings = 0;
};
using TOrvXImportResults = std::vector<TOrvXImportResult>;

class IOrvAPIConnection {
public:
    virtual ~IOrvAPIConnection() = default;

    virtual void OpenClient(qint32 clNbr) = 0;
    // The query's dataset as a new table; params may be null.
    virtual std::unique_ptr<TMemTable> RunQuery(const QString& queryFile,
                                                const IRpcStructPtr& params) = 0;
    // The id of the started server task.
    virtual QString RunReport(const TOrvReportDef& report) = 0;
    virtual bool IsTaskFinished(const QString& taskId) = 0;
    virtual void DeleteTask(const QString& taskId) = 0;
    virtual QString GetReport(const QString& taskId) = 0;
    virtual TTimeClockImportResult TCImport(const TOrvPayrollBatchDef& batch,
                                            const TTimeClockImportData& data) = 0;
    virtual IRpcStructPtr PostTableChanges(qint32 clNbr, const IRpcStructPtr& changes) = 0;
    virtual QString OrvXImport(const TOrvXImportInputFiles& files, const QString& mapFile) = 0;
    virtual TOrvXImportResults GetOrvXImportResults(const QString& taskId) = 0;
};
using IOrvAPIConnectionPtr = std::shared_ptr<IOrvAPIConnection>;

// Where a failure without a caller goes; none: the application's error
// display (PostToErrorDisplay).
using TFailureDisplay = std::function<void(std::exception_ptr)>;
void ShowFailureIn(const TFailureDisplay& display, std::exception_ptr failure) noexcept;

// How long one call may take as a whole, however steadily the service
// sends: calls that carry a report, a dataset or a file get the long one.
constexpr int OrvCallDeadlineMs = 2 * 60 * 1000;
constexpr int OrvTransferDeadlineMs = 30 * 60 * 1000;

// Where a connection finds what is not in the user's settings.
struct TOrvAPIEnvironment {
    // Where the certificate aliases "Certificate" and "ServerCA" are: the
    // program's redirection file (the core's), read by the caller.
    IRedirectionPtr Redirection;
    // A call is abandoned when the service sends nothing for this long;
    // 0 keeps the transport's default.
    int IdleTimeoutMs = 0;
    // The deadlines of one call, as above; tests shorten them.
    int CallDeadlineMs = OrvCallDeadlineMs;
    int TransferDeadlineMs = OrvTransferDeadlineMs;
    // The run's cancel: a call in progress is given up within a fraction of
    // a second once it is cancelled (the log-out never is). None: calls run
    // to their end.
    TCancelToken* Cancel = nullptr;
    // Where a failure is shown that has no caller (a log-out failing when
    // the connection goes); none: the application's error display.
    TFailureDisplay ShowFailure;
};

class TOrvAPIConnection : public IOrvAPIConnection {
public:
    // Logs in; throws the log-in call's error.
    TOrvAPIConnection(const TOrvAPIConnectionParam& param, ICommonLoggerPtr logger,
                      const TOrvAPIEnvironment& environment = {});
    // Logs out. A lost session is ignored; any other failure is logged and
    // handed to the application's error display, never thrown.
    ~TOrvAPIConnection() override;
    TOrvAPIConnection(const TOrvAPIConnection&) = delete;
    TOrvAPIConnection& operator=(const TOrvAPIConnection&) = delete;

    void OpenClient(qint32 clNbr) override;
    std::unique_ptr<TMemTable> RunQuery(const QString& queryFile,
                                        const IRpcStructPtr& params) override;
    QString RunReport(const TOrvReportDef& report) override;
    bool IsTaskFinished(const QString& taskId) override;
    void DeleteTask(const QString& taskId) override;
    QString GetReport(const QString& taskId) override;
    TTimeClockImportResult TCImport(const TOrvPayrollBatchDef& batch,
                                    const TTimeClockImportData& data) override;
    IRpcStructPtr PostTableChanges(qint32 clNbr, const IRpcStructPtr& changes) override;
    QString OrvXImport(const TOrvXImportInputFiles& files, const QString& mapFile) override;
    TOrvXImportResults GetOrvXImportResults(const QString& taskId) override;

    const QString& Session() const { return m_session; }
    // Logs out now and throws what the log-out throws (a lost session
    // excepted); afterwards the destructor sends nothing.
    void LogOut();
    // Logs out ignoring every error (the session is being replaced).
    void AbandonSession();

private:
    void LogIn(const TOrvAPIConnectionParam& param, const TOrvAPIEnvironment& environment);
    // Steps 2 to 5 of every operation's frame, up to the session parameter.
    void BeginCall(const QString& methodName);
    // Most answers are a few lines; a report, or a file the service sends
    // back, may be as big as a report can be.
    enum TAnswerSize { asSmall, asLarge };
    IRpcResultPtr Execute(TAnswerSize size = asSmall);
    // The same for a query: its answer, as big as a table may be, read
    // straight into a table where it has the service's layout.
    TRpcDataSetAnswer ExecuteDataSet();
    // The answer's cap and the deadline of the call about to go out, by
    // what it carries either way.
    void LimitCall(TAnswerSize size);
    void LogElapsed(const QElapsedTimer& timer);
    // A fault becomes EOrvAPIError.
    void CheckResult(const IRpcResultPtr& result);

    ICommonLoggerPtr m_logger;
    std::unique_ptr<TRpcCaller> m_caller;
    IRpcFunctionPtr m_call;
    QString m_session;
    const TCancelToken* m_cancel = nullptr;
    TFailureDisplay m_showFailure;
    int m_callDeadlineMs;
    int m_transferDeadlineMs;
};

// The user's name split into user and domain: exactly one "@" separates
// them; any other form is all user, without a domain.
void SplitOrvUsername(const QString& username, QString& user, QString& domain);

// Operations of the inner connection, repeated once after a new log-in when
// the service reports the lost session.
class TStableOrvAPIConnection : public IOrvAPIConnection {
public:
    TStableOrvAPIConnection(const TOrvAPIConnectionParam& param, ICommonLoggerPtr logger,
                            const TOrvAPIEnvironment& environment = {});

    void OpenClient(qint32 clNbr) override;
    std::unique_ptr<TMemTable> RunQuery(const QString& queryFile,
                                        const IRpcStructPtr& params) override;
    QString RunReport(const TOrvReportDef& report) override;
    bool IsTaskFinished(const QString& taskId) override;
    void DeleteTask(const QString& taskId) override;
    QString GetReport(const QString& taskId) override;
    TTimeClockImportResult TCImport(const TOrvPayrollBatchDef& batch,
                                    const TTimeClockImportData& data) override;
    IRpcStructPtr PostTableChanges(qint32 clNbr, const IRpcStructPtr& changes) override;
    QString OrvXImport(const TOrvXImportInputFiles& files, const QString& mapFile) override;
    TOrvXImportResults GetOrvXImportResults(const QString& taskId) override;

    // The session of the inner connection; empty once a new log-in failed.
    QString Session() const;

private:
    template <typename Operation> auto Stable(Operation&& operation);

    TOrvAPIConnectionParam m_param;
    ICommonLoggerPtr m_logger;
    TOrvAPIEnvironment m_environment;
    std::shared_ptr<TOrvAPIConnection> m_inner;
    int m_reconnections = 0;
};

// Logs in; the connection logs out when its last reference goes.
IOrvAPIConnectionPtr CreateOrvAPIConnection(const TOrvAPIConnectionParam& param,
                                            ICommonLoggerPtr logger,
                                            const TOrvAPIEnvironment& environment = {});
