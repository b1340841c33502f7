// The sandbox payroll service as a child process of a test: started on a free
// port with fresh certificates in a temporary folder and reports that are
// ready at once; stopped (its input closed) when the object goes.
// Tests of other folders may use it: add tests/sandbox/payroll to their
// include directories and link orvq_xmlrpc.
#pragma once

#include "payroll/xmlrpc/XmlRpcClient.h"
#include "payroll/xmlrpc/XmlRpcTransport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

class TPaySandboxServer {
public:
    TPaySandboxServer() = default;
    ~TPaySandboxServer() { Stop(); }
    TPaySandboxServer(const TPaySandboxServer&) = delete;
    TPaySandboxServer& operator=(const TPaySandboxServer&) = delete;

    // python3 and openssl are there; tests skip without them.
    static bool Available() {
        return !QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty() &&
               !QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty();
    }

    // Extra command-line options (README.md of sandbox/payroll) come after
    // the defaults and win. Returns false with *error set when it did not start.
    bool Start(const QStringList& options, QString* error) {
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty()) {
            *error = QStringLiteral("python3 and openssl are needed");
            return false;
        }
        if (!m_dir.isValid()) {
            *error = QStringLiteral("no temporary folder");
            return false;
        }
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(python,
                        QStringList{QStringLiteral("-B"),
                                    qEnvironmentVariable("ORVQ_SOURCE_DIR") +
                                        QStringLiteral("/sandbox/payroll/orvq_paysandbox.py"),
                                    QStringLiteral("--port"), QStringLiteral("0"),
                                    QStringLiteral("--task-delay"), QStringLiteral("0"),
                                    QStringLiteral("--watch-stdin"), QStringLiteral("--certs"),
                                    CertDir()} +
                            options);
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(60000)) {
                *error = QStringLiteral("the sandbox payroll service did not start");
                return false;
            }
        }
        bool ok = false;
        m_port = m_process.readLine().trimmed().toInt(&ok);
        if (!ok)
            *error = QStringLiteral("the sandbox payroll service printed no port");
        return ok;
    }

    // Closing its input stops it; its exit status, or -1 when it had to be killed.
    int Stop() {
        if (m_process.state() == QProcess::NotRunning)
            return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(60000)) {
            m_process.kill();
            m_process.waitForFinished();
            return -1;
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    int Port() const { return m_port; }
    QString CertDir() const { return m_dir.filePath(QStringLiteral("certs")); }
    QString ClientCertificate() const { return CertDir() + QStringLiteral("/client.pem"); }
    QString ServerCA() const { return CertDir() + QStringLiteral("/server-ca.pem"); }

    // How the program reaches it: TLS, its client certificate, the sandbox CA.
    TRpcTransportSettings Settings() const {
        TRpcTransportSettings s;
        s.Host = QStringLiteral("127.0.0.1");
        s.Port = m_port;
        s.UseTls = true;
        s.CertificateFile = ClientCertificate();
        s.RootCertificateFile = ServerCA();
        return s;
    }

    // One call on a connection of its own, such as the controls
    // "sandbox.expireSessions" or "sandbox.failNext".
    IRpcResultPtr Call(const QString& method,
                       const std::function<void(IRpcFunction&)>& params = {}) const {
        TRpcCaller caller(Settings());
        IRpcFunctionPtr call = NewRpcFunction();
        call->SetMethodName(method);
        if (params)
            params(*call);
        return caller.ExecuteCall(call);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};
