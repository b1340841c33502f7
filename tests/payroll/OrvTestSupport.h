// Helpers of the payroll client tests: test certificates, a scripted
// stand-in payroll service (orv_stub_server.py), a redirection that points at
// them, and a report wait window that answers from a script.
#pragma once

#include "base/vlxClasses.h"
#include "payroll/OrvDirectReportSource.h"
#include "payroll/OrvReportWait.h"
#include "payroll/xmlrpc/XmlRpcClient.h"
#include "settings/OrvConnectionParam.h"
#include "settings/vlxRedir.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <memory>

namespace orvtest {

// A CA, a server certificate for localhost and a client certificate (with
// its key in one file), made once per test program with openssl.
class TTestCertificates {
public:
    // Empty when python3 or openssl is missing, or making them failed.
    static const TTestCertificates* Get(QString* whyNot);
    QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private:
    bool Make(QString* error);
    QTemporaryDir m_dir;
};

// "Certificate", "ServerCA" and the "Queries" folder of the shipped queries.
IRedirectionPtr TestRedirection(const TTestCertificates& certificates);

// Answers for orv_stub_server.py.
QJsonObject Result(const QJsonValue& value);
QJsonObject Fault(int code, const QString& text);
QJsonObject Base64(const QString& text);
QJsonObject RawBody(const QString& body);
QJsonObject HttpStatus(int status);

class TStubServer {
public:
    // script: method -> array of answers (see orv_stub_server.py).
    bool Start(const TTestCertificates& certificates, const QJsonObject& script, QString* error,
               bool requireClientCertificate = true);
    ~TStubServer();
    int Port() const { return m_port; }
    // Every call received so far: {"method", "params"}.
    QJsonArray Calls() const;
    QStringList Methods() const;
    int CountOf(const QString& method) const;
    TOrvAPIConnectionParam Param(const QString& username = QStringLiteral("clerk")) const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

// A stub server answering `script`, or null (with a warning) when it did not start.
std::unique_ptr<TStubServer> ServeScript(const TTestCertificates& certificates,
                                         const QJsonObject& script);

// The sandbox payroll service (sandbox/payroll) on a free port with its own
// certificates, reset through its control methods.
class TSandboxService {
public:
    // Empty when python3 or openssl is missing or the service did not start.
    // options: more of the service's command-line options (--companies N).
    bool Start(QString* error, const QStringList& options = {});
    ~TSandboxService();

    IRpcResultPtr Control(const QString& method,
                          const std::function<void(IRpcFunction&)>& params = {});
    QStringList CalledMethods();
    int LiveTasks();
    int Sessions();
    TOrvAPIConnectionParam Param(const QString& user = QStringLiteral("demo"),
                                 const QString& password = QStringLiteral("demo")) const;
    // Certificates of the service, queries of the program.
    TOrvAPIEnvironment Environment() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    TRpcTransportSettings m_control;
};

// A stand-in service that always answers log-in and log-out.
QJsonObject BaseScript(const QStringList& sessions = {QStringLiteral("s1")});

// The report wait of a run as a test scripts it: records the wait's
// message and the waits before the polls (counted, not spent), and before
// a poll lets the user press Cancel once PressCancelWhen holds, answering
// "Cancel?" from Answers as the wait window would.
class TScriptedReportWait : public IRunProgress {
public:
    QStringList Questions;
    QList<bool> Answers;
    std::function<bool()> PressCancelWhen;
    // Called with the wait's index as each report wait begins.
    std::function<void(int)> OnReportWait;
    QString Message;
    int Executions = 0;
    QList<int> Waits;
    // The run's cancel.
    TCancelTokenPtr Cancel = std::make_shared<TCancelToken>();

    void StartWait(const QString&) override {}
    void StartReportWait(const QString& message) override;
    void EndWait() override {}
    void SetProgress(int, int) override {}
    bool WaitBeforePoll(int ms);
    // The direct source reports and waits here, on the cancel.
    void Attach(TOrvDirectReportSourceServices& services);
};

class TNoProgress : public IProgressIndicator {
public:
    void StartProgress(const QString&, int) override {}
    void SetProgress(int) override {}
    void EndProgress() override {}
};

} // namespace orvtest
