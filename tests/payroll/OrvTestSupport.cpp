#include "OrvTestSupport.h"

#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

namespace orvtest {

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

const TTestCertificates* TTestCertificates::Get(QString* whyNot) {
    static std::unique_ptr<TTestCertificates> made;
    static QString failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty()) {
            failure = QStringLiteral("python3 and openssl are needed");
        } else {
            auto certificates = std::make_unique<TTestCertificates>();
            if (certificates->Make(&failure))
                made = std::move(certificates);
        }
    }
    if (whyNot)
        *whyNot = failure;
    return made.get();
}

bool TTestCertificates::Make(QString* error) {
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    return testsupport::MakeTestCertificates(m_dir.path(),
                                             QStringLiteral("DNS:localhost,IP:127.0.0.1"), error);
}

std::unique_ptr<TStubServer> ServeScript(const TTestCertificates& certificates,
                                         const QJsonObject& script) {
    auto server = std::make_unique<TStubServer>();
    QString error;
    if (!server->Start(certificates, script, &error)) {
        qWarning("%s", qPrintable(error));
        return nullptr;
    }
    return server;
}

IRedirectionPtr TestRedirection(const TTestCertificates& certificates) {
    const QString queries =
        qEnvironmentVariable("ORVQ_SOURCE_DIR") + QStringLiteral("/data/queries");
    return std::make_shared<TGenericRedirection>(
        TRedirectionEntries{{QStringLiteral("Queries"), queries}},
        TRedirectionEntries{{QStringLiteral("Certificate"), certificates.Path("client-bundle.pem")},
                            {QStringLiteral("ServerCA"), certificates.Path("ca.pem")}},
        TRedirectionPlaces{}, QString());
}

QJsonObject Result(const QJsonValue& value) {
    return QJsonObject{{QStringLiteral("result"), value}};
}
QJsonObject Fault(int code, const QString& text) {
    return QJsonObject{{QStringLiteral("fault"), QJsonArray{code, text}}};
}
QJsonObject Base64(const QString& text) {
    return QJsonObject{{QStringLiteral("$b64"), text}};
}
QJsonObject RawBody(const QString& body) {
    return QJsonObject{{QStringLiteral("body"), body}};
}
QJsonObject HttpStatus(int status) {
    return QJsonObject{{QStringLiteral("status"), status}};
}

QJsonObject BaseScript(const QStringList& sessions) {
    QJsonArray connects;
    for (const QString& session : sessions)
        connects.append(Result(QJsonObject{{QStringLiteral("SESSION"), session}}));
    return QJsonObject{{QStringLiteral("orv.sb.connect"), connects},
                       {QStringLiteral("orv.disconnect"), QJsonArray{Result(true)}}};
}

bool TStubServer::Start(const TTestCertificates& certificates, const QJsonObject& script,
                        QString* error, bool requireClientCertificate) {
    if (!m_dir.isValid() ||
        !WriteFile(m_dir.filePath(QStringLiteral("script.json")), QJsonDocument(script).toJson())) {
        *error = QStringLiteral("cannot write the server script");
        return false;
    }
    QStringList args{qEnvironmentVariable("ORVQ_SOURCE_DIR") +
                         QStringLiteral("/tests/payroll/orv_stub_server.py"),
                     m_dir.filePath(QStringLiteral("script.json")),
                     m_dir.filePath(QStringLiteral("calls.jsonl")), certificates.Path("server.pem"),
                     certificates.Path("server.key")};
    if (requireClientCertificate)
        args << certificates.Path("ca.pem");
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("python3"), args);
    if (!m_process.waitForStarted(10000) || !m_process.waitForReadyRead(20000)) {
        *error = QStringLiteral("the stub server did not start");
        return false;
    }
    m_port = m_process.readLine().trimmed().toInt();
    return m_port > 0;
}

TStubServer::~TStubServer() {
    m_process.kill();
    m_process.waitForFinished(5000);
}

QJsonArray TStubServer::Calls() const {
    QFile f(m_dir.filePath(QStringLiteral("calls.jsonl")));
    QJsonArray calls;
    if (!f.open(QIODevice::ReadOnly))
        return calls;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (!line.trimmed().isEmpty())
            calls.append(QJsonDocument::fromJson(line).object());
    }
    return calls;
}

QStringList TStubServer::Methods() const {
    QStringList methods;
    for (const QJsonValue& call : Calls())
        methods << call.toObject().value(QStringLiteral("method")).toString();
    return methods;
}

int TStubServer::CountOf(const QString& method) const {
    return int(Methods().count(method));
}

TOrvAPIConnectionParam TStubServer::Param(const QString& username) const {
    TOrvAPIConnectionParam param;
    param.APIServerAddress = QStringLiteral("localhost");
    param.APIServerPort = m_port;
    param.Username = username;
    param.Password = QStringLiteral("secret");
    return param;
}

bool TSandboxService::Start(QString* error, const QStringList& options) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty()) {
        *error = QStringLiteral("python3 and openssl are needed");
        return false;
    }
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardErrorFile(QProcess::nullDevice());
    // --watch-stdin: a test program that dies leaves no server behind.
    m_process.start(python, QStringList{qEnvironmentVariable("ORVQ_SOURCE_DIR") +
                                            QStringLiteral("/sandbox/payroll/orvq_paysandbox.py"),
                                        "--port", "0", "--task-delay", "0", "--watch-stdin",
                                        "--certs", m_dir.filePath("certs")} +
                                options);
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(60000)) {
            *error = QStringLiteral("the sandbox payroll service did not start");
            return false;
        }
    }
    bool ok = false;
    m_port = m_process.readLine().trimmed().toInt(&ok);
    if (!ok) {
        *error = QStringLiteral("the sandbox payroll service printed no port");
        return false;
    }
    m_control.Host = QStringLiteral("127.0.0.1");
    m_control.Port = m_port;
    m_control.UseTls = true;
    m_control.CertificateFile = m_dir.filePath("certs/client.pem");
    m_control.RootCertificateFile = m_dir.filePath("certs/server-ca.pem");
    return true;
}

TSandboxService::~TSandboxService() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(30000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

IRpcResultPtr TSandboxService::Control(const QString& method,
                                       const std::function<void(IRpcFunction&)>& params) {
    TRpcCaller caller(m_control);
    IRpcFunctionPtr call = NewRpcFunction();
    call->SetMethodName(method);
    if (params)
        params(*call);
    return caller.ExecuteCall(call);
}

QStringList TSandboxService::CalledMethods() {
    QStringList methods;
    const IRpcArrayPtr calls = Control(QStringLiteral("sandbox.calls"))->AsArray();
    for (int i = 0; i < calls->Count(); ++i)
        methods << calls->Item(i)->AsStruct()->Key(QStringLiteral("method"))->AsString();
    return methods;
}

int TSandboxService::LiveTasks() {
    return Control(QStringLiteral("sandbox.tasks"))->AsArray()->Count();
}

int TSandboxService::Sessions() {
    return Control(QStringLiteral("sandbox.sessions"))->AsInteger();
}

TOrvAPIConnectionParam TSandboxService::Param(const QString& user, const QString& password) const {
    TOrvAPIConnectionParam param;
    param.APIServerAddress = QStringLiteral("127.0.0.1");
    param.APIServerPort = m_port;
    param.Username = user;
    param.Password = password;
    return param;
}

TOrvAPIEnvironment TSandboxService::Environment() const {
    TOrvAPIEnvironment environment;
    environment.Redirection = std::make_shared<TGenericRedirection>(
        TRedirectionEntries{{QStringLiteral("Queries"), qEnvironmentVariable("ORVQ_SOURCE_DIR") +
                                                            QStringLiteral("/data/queries")}},
        TRedirectionEntries{{QStringLiteral("Certificate"), m_dir.filePath("certs/client.pem")},
                            {QStringLiteral("ServerCA"), m_dir.filePath("certs/server-ca.pem")}},
        TRedirectionPlaces{}, QString());
    environment.IdleTimeoutMs = 30000;
    return environment;
}

void TScriptedReportWait::StartReportWait(const QString& message) {
    Message = message;
    ++Executions;
    if (OnReportWait)
        OnReportWait(Executions - 1);
}

bool TScriptedReportWait::WaitBeforePoll(int ms) {
    Waits << ms;
    if (PressCancelWhen && PressCancelWhen()) {
        PressCancelWhen = nullptr;
        Questions << QStringLiteral("Cancel?");
        if (Answers.isEmpty())
            QTest::qFail("a question was asked that the test did not script", __FILE__, __LINE__);
        else if (Answers.takeFirst())
            Cancel->CancelStep();
    }
    return Cancel->Cancelled();
}

void TScriptedReportWait::Attach(TOrvDirectReportSourceServices& services) {
    services.Progress = this;
    services.Environment.Cancel = Cancel.get();
    services.Wait.Wait = [this](int ms) { return WaitBeforePoll(ms); };
}

} // namespace orvtest
