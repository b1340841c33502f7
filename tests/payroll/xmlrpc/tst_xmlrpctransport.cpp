#include "RpcTestSupport.h"
#include "base/ErrorAdvice.h"
#include "base/vlxCancelToken.h"
#include "payroll/xmlrpc/XmlRpcClient.h"

#include "TestSupport.h"
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QtTest>

#include <memory>

using namespace rpctest;

// A stand-in server process, stopped when the test ends.
class TTestServer {
public:
    bool Start(const QStringList& args, QString* error) {
        m_process.start(Python(),
                        QStringList{qEnvironmentVariable("ORVQ_SOURCE_DIR") +
                                    QStringLiteral("/tests/payroll/xmlrpc/rpc_test_server.py")} +
                            args);
        if (!m_process.waitForStarted(30000) || !m_process.waitForReadyRead(30000)) {
            *error = QStringLiteral("test server did not start: ") +
                     QString::fromUtf8(m_process.readAllStandardError());
            return false;
        }
        m_port = m_process.readLine().trimmed().toInt();
        return m_port > 0;
    }
    ~TTestServer() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    int Port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};

class TestXmlRpcTransport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void urlForms_data();
    void urlForms();
    void secureByDefault();
    void trustedServerAnswers();
    void clientCertificatePresented();
    void refusedCertificates_data();
    void refusedCertificates();
    void unreadableClientCertificate();
    void plainHttpAndStatus();
    void refusedConnection();
    void throughProxy();
    void silentPeerTimesOut();
    void idleServerTimesOut();
    void drippingServerMeetsTheDeadline();
    void cancelAbandonsCall_data();
    void cancelAbandonsCall();

private:
    QString Cert(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    std::unique_ptr<TTestServer> StartServer(const QStringList& args);
    TRpcTransportSettings TlsSettings(int port, const QString& host = QStringLiteral("localhost"));
    IRpcStructPtr Echo(TRpcCaller& caller, IRpcFunctionPtr call = nullptr);

    QTemporaryDir m_dir;
};

void TestXmlRpcTransport::initTestCase() {
    if (Python().isEmpty() || QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        QSKIP("python3 and openssl are needed for the TLS tests");
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(
        testsupport::MakeTestCertificates(m_dir.path(), QStringLiteral("DNS:localhost"), &error),
        qPrintable(error));
    // A self-signed server certificate for the refusal tests.
    const QStringList selfSigned{"req",
                                 "-x509",
                                 "-newkey",
                                 "ec",
                                 "-pkeyopt",
                                 "ec_paramgen_curve:prime256v1",
                                 "-nodes",
                                 "-keyout",
                                 "self.key",
                                 "-out",
                                 "self.pem",
                                 "-days",
                                 "2",
                                 "-subj",
                                 "/CN=localhost",
                                 "-addext",
                                 "subjectAltName=DNS:localhost"};
    QVERIFY2(testsupport::RunOpenssl(m_dir.path(), selfSigned, &error), qPrintable(error));
}

std::unique_ptr<TTestServer> TestXmlRpcTransport::StartServer(const QStringList& args) {
    auto server = std::make_unique<TTestServer>();
    QString error;
    if (!server->Start(args, &error)) {
        qWarning("%s", qPrintable(error));
        return nullptr;
    }
    return server;
}

TRpcTransportSettings TestXmlRpcTransport::TlsSettings(int port, const QString& host) {
    TRpcTransportSettings settings;
    settings.Host = host;
    settings.Port = port;
    settings.UseTls = true;
    settings.RootCertificateFile = Cert("ca.pem");
    settings.ConnectTimeoutMs = 10000;
    settings.IdleTimeoutMs = 10000;
    return settings;
}

IRpcStructPtr TestXmlRpcTransport::Echo(TRpcCaller& caller, IRpcFunctionPtr call) {
    if (!call) {
        call = NewRpcFunction();
        call->SetMethodName(QStringLiteral("orv.echo"));
        call->AddItem(QString::fromUtf8("Zoë"));
    }
    return caller.ExecuteCall(call)->AsStruct();
}

void TestXmlRpcTransport::urlForms_data() {
    QTest::addColumn<bool>("tls");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("url");
    QTest::newRow("https") << true << "pay.example.com" << 9943 << ""
                           << "https://pay.example.com:9943";
    QTest::newRow("https port 443") << true << "10.0.0.5" << 443 << "/rpc"
                                    << "https://10.0.0.5:443/rpc";
    QTest::newRow("http port 80") << false << "host" << 80 << "/x"
                                  << "http://host/x";
    QTest::newRow("http other port") << false << "host" << 8080 << ""
                                     << "http://host:8080";
    QTest::newRow("user smuggled in host") << true << "evil.com@pay" << 9943 << ""
                                           << "";
    QTest::newRow("path in host") << true << "pay/x" << 9943 << ""
                                  << "";
    QTest::newRow("empty host") << true << "" << 9943 << ""
                                << "";
    QTest::newRow("port out of range") << true << "pay" << 70000 << ""
                                       << "";
}

void TestXmlRpcTransport::urlForms() {
    QFETCH(bool, tls);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, path);
    QFETCH(QString, url);
    TRpcTransportSettings settings;
    settings.UseTls = tls;
    settings.Host = host;
    settings.Port = port;
    settings.EndpointPath = path;
    if (url.isEmpty())
        QVERIFY_THROWS_EXCEPTION(ERpcTransportError, RpcServerUrl(settings));
    else
        QCOMPARE(RpcServerUrl(settings), url);
}

// Settings that say nothing about it speak TLS.
void TestXmlRpcTransport::secureByDefault() {
    TRpcTransportSettings settings;
    settings.Host = QStringLiteral("payroll.example");
    QCOMPARE(RpcServerUrl(settings), QStringLiteral("https://payroll.example:443"));
}

void TestXmlRpcTransport::trustedServerAnswers() {
    auto server = StartServer({"echo", Cert("server.pem"), Cert("server.key")});
    QVERIFY(server);
    TRpcCaller caller(TlsSettings(server->Port()));
    IRpcFunctionPtr call = NewRpcFunction();
    call->SetMethodName(QStringLiteral("orv.echo"));
    call->AddItem(QString::fromUtf8("Zoë"));
    const QByteArray request = call->GetRequestXML();
    const IRpcStructPtr echo = Echo(caller, call);
    QCOMPARE(echo->Key(QStringLiteral("path"))->AsString(), QStringLiteral("/"));
    QCOMPARE(echo->Key(QStringLiteral("accept"))->AsString(), QStringLiteral("*/*"));
    QCOMPARE(echo->Key(QStringLiteral("contentType"))->AsString(), QStringLiteral("text/xml"));
    QCOMPARE(echo->Key(QStringLiteral("connection"))->AsString(), QStringLiteral("Keep-Alive"));
    QCOMPARE(echo->Key(QStringLiteral("contentLength"))->AsString(),
             QString::number(request.size()));
    QCOMPARE(echo->Key(QStringLiteral("body"))->AsBase64(), request);
    QCOMPARE(echo->Key(QStringLiteral("client"))->AsString(), QString());
    // An answer above the limit is refused, not read on.
    caller.Settings().MaxResponseBytes = 100;
    try {
        caller.PostRequest(request);
        QFAIL("no error");
    } catch (const ERpcTransportError& e) {
        QCOMPARE(e.Message(), QStringLiteral("The answer of the server https://localhost:%1 "
                                             "exceeds the limit of 100 bytes")
                                  .arg(server->Port()));
    }
    caller.Settings().MaxResponseBytes = 1 << 20;
    // The call object is emptied for the next call.
    QCOMPARE(call->MethodName(), QString());
    QCOMPARE(call->Count(), 0);
}

void TestXmlRpcTransport::clientCertificatePresented() {
    auto server = StartServer({"echo", Cert("server.pem"), Cert("server.key"), Cert("ca.pem")});
    QVERIFY(server);
    TRpcCaller caller(TlsSettings(server->Port()));
    caller.Settings().CertificateFile = Cert("client-bundle.pem");
    QCOMPARE(Echo(caller)->Key(QStringLiteral("client"))->AsString(),
             QStringLiteral("OrvQ Test Client"));
}

void TestXmlRpcTransport::refusedCertificates_data() {
    QTest::addColumn<QString>("serverCert");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("trustTestCa");
    QTest::addColumn<QString>("reason");
    QTest::newRow("self-signed") << "self"
                                 << "localhost" << true << "self-signed";
    QTest::newRow("wrong host name") << "server"
                                     << "127.0.0.1" << true << "127.0.0.1";
    QTest::newRow("CA not trusted") << "server"
                                    << "localhost" << false << "certificate";
}

void TestXmlRpcTransport::refusedCertificates() {
    QFETCH(QString, serverCert);
    QFETCH(QString, host);
    QFETCH(bool, trustTestCa);
    QFETCH(QString, reason);
    auto server = StartServer(
        {"echo", m_dir.filePath(serverCert + ".pem"), m_dir.filePath(serverCert + ".key")});
    QVERIFY(server);
    TRpcCaller caller(TlsSettings(server->Port(), host));
    if (!trustTestCa)
        caller.Settings().RootCertificateFile.clear();
    try {
        Echo(caller);
        QFAIL("the certificate was accepted");
    } catch (const ERpcTransportError& e) {
        QVERIFY2(
            e.Message().startsWith(QStringLiteral("The certificate of the server https://") + host),
            qPrintable(e.Message()));
        QVERIFY2(e.Message().contains(reason), qPrintable(e.Message()));
    }
}

void TestXmlRpcTransport::unreadableClientCertificate() {
    TRpcCaller caller(TlsSettings(1));
    caller.Settings().CertificateFile = Cert("missing.pem");
    try {
        caller.PostRequest("x");
        QFAIL("no error");
    } catch (const ERpcTransportError& e) {
        QVERIFY2(e.Message().startsWith(QStringLiteral("The client certificate file \"") +
                                        Cert("missing.pem")),
                 qPrintable(e.Message()));
    }
    // A file that is not a certificate is refused by the TLS layer.
    auto server = StartServer({"echo", Cert("server.pem"), Cert("server.key")});
    QVERIFY(server);
    caller.Settings().Port = server->Port();
    caller.Settings().CertificateFile = Cert("server.ext");
    try {
        caller.PostRequest("x");
        QFAIL("no error");
    } catch (const ERpcTransportError& e) {
        QVERIFY2(e.Message().contains(QStringLiteral("client certificate")),
                 qPrintable(e.Message()));
    }
}

void TestXmlRpcTransport::plainHttpAndStatus() {
    auto plain = StartServer({"plain"});
    QVERIFY(plain);
    TRpcTransportSettings settings;
    settings.UseTls = false;
    settings.Host = QStringLiteral("127.0.0.1");
    settings.Port = plain->Port();
    settings.EndpointPath = QStringLiteral("/RPC2");
    TRpcCaller caller(settings);
    QCOMPARE(Echo(caller)->Key(QStringLiteral("path"))->AsString(), QStringLiteral("/RPC2"));

    auto failing = StartServer({"status500", Cert("server.pem"), Cert("server.key")});
    QVERIFY(failing);
    TRpcCaller tls(TlsSettings(failing->Port()));
    try {
        tls.PostRequest("x");
        QFAIL("no error");
    } catch (const ERpcTransportError& e) {
        QVERIFY2(e.Message().endsWith(QStringLiteral("answered with HTTP status 500")),
                 qPrintable(e.Message()));
    }
}

void TestXmlRpcTransport::refusedConnection() {
    // A port that was just free: nobody listens there.
    int port = 0;
    {
        auto server = StartServer({"plain"});
        QVERIFY(server);
        port = server->Port();
    }
    TRpcCaller caller(TlsSettings(port, QStringLiteral("127.0.0.1")));
    try {
        caller.PostRequest("x");
        QFAIL("no error");
    } catch (const ERpcTransportError& e) {
        QVERIFY2(e.Message().startsWith(QStringLiteral("Cannot connect to https://127.0.0.1:")),
                 qPrintable(e.Message()));
        // The next line says what to do.
        QVERIFY2(e.Message()
                     .section(QStringLiteral("\r\n"), 1)
                     .startsWith(
                         QStringLiteral("Check the server and the port on the Connection settings "
                                        "tab")),
                 qPrintable(e.Message()));
    }
}

void TestXmlRpcTransport::throughProxy() {
    auto proxy = StartServer({"plain"});
    QVERIFY(proxy);
    TRpcTransportSettings settings;
    settings.UseTls = false;
    // Never resolved here: the proxy receives the whole URL.
    settings.Host = QStringLiteral("payroll.invalid");
    settings.Port = 9943;
    settings.EndpointPath = QStringLiteral("/RPC2");
    settings.ProxyHost = QStringLiteral("127.0.0.1");
    settings.ProxyPort = proxy->Port();
    settings.ProxyUser = QStringLiteral("bureau");
    settings.ProxyPassword = QStringLiteral("s3cret");
    settings.ProxyBasicAuth = true;
    TRpcCaller caller(settings);
    const IRpcStructPtr echo = Echo(caller);
    QCOMPARE(echo->Key(QStringLiteral("path"))->AsString(),
             QStringLiteral("http://payroll.invalid:9943/RPC2"));
    QCOMPARE(echo->Key(QStringLiteral("proxyAuthorization"))->AsString(),
             QStringLiteral("Basic ") +
                 QString::fromLatin1(QByteArray("bureau:s3cret").toBase64()));
}

void TestXmlRpcTransport::silentPeerTimesOut() {
    auto server = StartServer({"silent"});
    QVERIFY(server);
    TRpcCaller caller(TlsSettings(server->Port()));
    caller.Settings().ConnectTimeoutMs = 300;
    try {
        caller.PostRequest("x");
        QFAIL("no error");
    } catch (const ERpcTransportError& e) {
        QCOMPARE(e.Message(), QStringLiteral("The connection to https://localhost:%1 could not be "
                                             "made within 300 ms")
                                  .arg(server->Port()));
    }
}

void TestXmlRpcTransport::idleServerTimesOut() {
    auto server = StartServer({"idle", Cert("server.pem"), Cert("server.key")});
    QVERIFY(server);
    TRpcCaller caller(TlsSettings(server->Port()));
    caller.Settings().IdleTimeoutMs = 200;
    IRpcFunctionPtr call = NewRpcFunction();
    call->SetMethodName(QStringLiteral("orv.echo"));
    try {
        caller.ExecuteCall(call);
        QFAIL("no error");
    } catch (const ERpcTransportError& e) {
        QCOMPARE(e.Message(), QStringLiteral("The server https://localhost:%1 sent nothing for "
                                             "200 ms; the call was abandoned")
                                  .arg(server->Port()));
    }
    // A failed call is left as it was.
    QCOMPARE(call->MethodName(), QStringLiteral("orv.echo"));
}

// Bytes that keep coming, too slowly to finish, never meet the idle
// time-out: the deadline ends the call all the same.
void TestXmlRpcTransport::drippingServerMeetsTheDeadline() {
    auto server = StartServer({"drip", Cert("server.pem"), Cert("server.key")});
    QVERIFY(server);
    TRpcCaller caller(TlsSettings(server->Port()));
    caller.Settings().DeadlineMs = 300;
    IRpcFunctionPtr call = NewRpcFunction();
    call->SetMethodName(QStringLiteral("orv.sb.connect"));
    try {
        caller.ExecuteCall(call);
        QFAIL("no error");
    } catch (const ERpcTransportError& e) {
        QCOMPARE(e.Message(), QStringLiteral("The payroll service at https://localhost:%1 did not "
                                             "finish answering orv.sb.connect within 300 ms; the "
                                             "call was abandoned\r\n")
                                      .arg(server->Port()) +
                                  ErrorAdvice(asPayrollService, paTooSlow));
    }
}

void TestXmlRpcTransport::cancelAbandonsCall_data() {
    QTest::addColumn<QStringList>("server");
    QTest::newRow("while connecting") << QStringList{"silent"};
    QTest::newRow("while the server is silent")
        << QStringList{"idle", Cert("server.pem"), Cert("server.key")};
}

// The call is given up at the first ask after the cancel, although the
// server keeps the connection and the time-outs are far off.
void TestXmlRpcTransport::cancelAbandonsCall() {
    QFETCH(QStringList, server);
    auto started = StartServer(server);
    QVERIFY(started);
    TRpcCaller caller(TlsSettings(started->Port()));
    caller.Settings().ConnectTimeoutMs = 600000;
    caller.Settings().IdleTimeoutMs = 600000;
    int asked = 0;
    caller.Settings().Cancelled = [&asked] { return ++asked >= 3; };
    try {
        caller.PostRequest("x");
        QFAIL("no error");
    } catch (const EOperationCancelled& e) {
        QCOMPARE(e.Message(), QStringLiteral("User cancelled operation"));
    }
    QVERIFY(asked >= 3);
}

QTEST_GUILESS_MAIN(TestXmlRpcTransport)
#include "tst_xmlrpctransport.moc"
