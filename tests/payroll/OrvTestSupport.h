// Helpers of the payroll client tests: test certificates, a scripted
// stand-in payroll service (orv_stub_server.py), a redirection that points at
// them, and a report wait window that answers from a script.
#pragma once

#include "base/vlxClasses.h"
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
    bool Start(QString* error);
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

// The report wait window of the tests: runs a local event loop until Done,
// asks the close question from a script, and tries to close when told to.
class TScriptedWaitWindow : public IOrvReportWaitWindow {
public:
    QStringList Questions;
    QList<bool> Answers;
    // Checked on every turn of the loop; true makes the user press Cancel
    // once (then it is cleared).
    std::function<bool()> PressCancelWhen;
    // Run while a question is open, before its answer: what happens while
    // the user thinks it over.
    std::function<void()> WhileAsked;
    QString Title;
    QString Message;
    int Executions = 0;

    TOrvWaitResult Execute(const QString& title, const QString& message,
                           std::function<void()> closeRequested) override;
    void Done(TOrvWaitResult result) override;
    bool ConfirmYesNo(const QString& question) override;

private:
    std::function<void()> m_closeRequested;
    TOrvWaitResult m_result = owrNone;
    bool m_running = false;
};

class TNoProgress : public IProgressIndicator {
public:
    void StartProgress(const QString&, int) override {}
    void SetProgress(int) override {}
    void EndProgress() override {}
};

// Hands a fetch the test's scripted window, which outlives it.
class TWindowRef : public IOrvReportWaitWindow {
public:
    explicit TWindowRef(TScriptedWaitWindow& window) : m_window(window) {}
    TOrvWaitResult Execute(const QString& title, const QString& message,
                           std::function<void()> closeRequested) override {
        return m_window.Execute(title, message, std::move(closeRequested));
    }
    void Done(TOrvWaitResult result) override { m_window.Done(result); }
    bool ConfirmYesNo(const QString& question) override { return m_window.ConfirmYesNo(question); }

private:
    TScriptedWaitWindow& m_window;
};

} // namespace orvtest
