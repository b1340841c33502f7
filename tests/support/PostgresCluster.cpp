#include "PostgresCluster.h"

#include "TestPlatform.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSqlDatabase>
#include <QTcpServer>

namespace testsupport {

namespace {

// The newest installed server's programs.
QString ServerBinFolder() {
    QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(versions.begin(), versions.end(), numeric);
    for (auto it = versions.crbegin(); it != versions.crend(); ++it) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/") + *it + QStringLiteral("/bin");
        if (QFile::exists(bin + QStringLiteral("/initdb")))
            return bin;
    }
    return QString();
}

int FreeLoopbackPort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

TPostgresCluster::TPostgresCluster() : m_bin(ServerBinFolder()) {}

TPostgresCluster::~TPostgresCluster() {
    if (m_running)
        Run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-m"),
             QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")},
            true);
}

QString TPostgresCluster::Run(const QString& program, const QStringList& args, bool asServerUser) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PGPASSWORD"), Password());
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(m_dir.path());
    const QString path = m_bin + u'/' + program;
    if (asServerUser && RunningAsRoot())
        p.start(QStringLiteral("runuser"),
                QStringList{QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                            path} +
                    args);
    else
        p.start(path, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return program + u' ' + args.join(u' ') + QStringLiteral(": ") +
               QString::fromLocal8Bit(p.readAllStandardError() + p.readAllStandardOutput());
    return QString();
}

QString TPostgresCluster::MissingDriver() {
    if (QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return QString();
    return QStringLiteral("Qt's PostgreSQL driver (QPSQL) is not in this build");
}

QString TPostgresCluster::Start() {
    if (const QString missing = MissingDriver(); !missing.isEmpty())
        return missing;
    if (m_bin.isEmpty())
        return QStringLiteral("PostgreSQL's server is not installed (scripts/install-deps.sh "
                              "installs it)");
    if (!m_dir.isValid())
        return QStringLiteral("no temporary folder");
    QFile pw(m_dir.filePath(QStringLiteral("pw")));
    if (!pw.open(QIODevice::WriteOnly) || pw.write(Password().toUtf8() + '\n') < 0)
        return QStringLiteral("cannot write the password file");
    pw.close();
    if (RunningAsRoot()) {
        QProcess chown;
        chown.start(QStringLiteral("chown"),
                    {QStringLiteral("-R"), QStringLiteral("nobody:"), m_dir.path()});
        if (!chown.waitForFinished() || chown.exitCode() != 0)
            return QStringLiteral("cannot hand the cluster's folder to the user nobody");
    }
    const QString data = m_dir.filePath(QStringLiteral("data"));
    QString error =
        Run(QStringLiteral("initdb"),
            {QStringLiteral("-D"), data, QStringLiteral("-U"), User(),
             QStringLiteral("--pwfile=") + pw.fileName(), QStringLiteral("--auth=scram-sha-256"),
             QStringLiteral("--no-locale"), QStringLiteral("-E"), QStringLiteral("UTF8")},
            true);
    if (!error.isEmpty())
        return error;
    // A port found free may be taken before the server binds it: try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = FreeLoopbackPort();
        const QString options =
            QStringLiteral("-p %1 -c listen_addresses=127.0.0.1 -c unix_socket_directories=%2 "
                           "-c fsync=off -c full_page_writes=off")
                .arg(m_port)
                .arg(m_dir.path());
        error = Run(QStringLiteral("pg_ctl"),
                    {QStringLiteral("-D"), data, QStringLiteral("-l"),
                     m_dir.filePath(QStringLiteral("server.log")), QStringLiteral("-w"),
                     QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("-o"), options,
                     QStringLiteral("start")},
                    true);
        if (error.isEmpty()) {
            m_running = true;
            return QString();
        }
    }
    return error;
}

QString TPostgresCluster::Psql(const QString& database, const QString& sql) {
    return RunPsql(database, {QStringLiteral("-c"), sql});
}

QString TPostgresCluster::PsqlFile(const QString& database, const QString& path) {
    return RunPsql(database, {QStringLiteral("-f"), path});
}

QString TPostgresCluster::RunPsql(const QString& database, const QStringList& input) {
    return Run(QStringLiteral("psql"),
               QStringList{QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                           QString::number(m_port), QStringLiteral("-U"), User(),
                           QStringLiteral("-d"), database, QStringLiteral("-v"),
                           QStringLiteral("ON_ERROR_STOP=1")} +
                   input,
               false);
}

QString TPostgresCluster::CreateDatabase(const QString& name) {
    return Psql(QStringLiteral("postgres"), u"CREATE DATABASE \"" + name + u'"');
}

} // namespace testsupport
