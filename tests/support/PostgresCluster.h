// A throwaway PostgreSQL server for the tests: a cluster in a temporary
// folder, listening on a free port of the loopback only, logins by password.
// PostgreSQL refuses to run as root, so when the tests do, the server runs as
// the unprivileged user "nobody". Stopped, and its folder removed, with the
// object.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testsupport {

class TPostgresCluster {
public:
    TPostgresCluster();
    ~TPostgresCluster();
    TPostgresCluster(const TPostgresCluster&) = delete;
    TPostgresCluster& operator=(const TPostgresCluster&) = delete;

    // Empty when the server runs, else why not.
    QString Start();
    // Why the program cannot reach a PostgreSQL ledger in this build (the
    // Windows build may lack the driver); empty when it can.
    static QString MissingDriver();
    int Port() const { return m_port; }
    static QString User() { return QStringLiteral("orvq"); }
    static QString Password() { return QStringLiteral("ledger-test"); }

    // Runs SQL in a database with psql; empty on success, else the error.
    QString Psql(const QString& database, const QString& sql);
    // Runs a file of SQL the same way.
    QString PsqlFile(const QString& database, const QString& path);
    // A new empty database; empty on success, else the error.
    QString CreateDatabase(const QString& name);

private:
    // Runs one of PostgreSQL's programs; empty on success, else the error.
    QString Run(const QString& program, const QStringList& args, bool asServerUser);
    QString RunPsql(const QString& database, const QStringList& input);

    QTemporaryDir m_dir;
    QString m_bin;
    int m_port = 0;
    bool m_running = false;
};

} // namespace testsupport
