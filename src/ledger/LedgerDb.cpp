#include "ledger/LedgerDb.h"

#include "base/OwnerOnlyFiles.h"
#include "records/LedgerTypes.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>

namespace {

QAtomicInt s_connectionCounter;

const QString PostingStops =
    QStringLiteral("Posting stops: nothing may be posted without a record in the ledger.");

QString ErrorText(const QSqlError& error, const TLedgerLocation& location) {
    QString text = error.text().trimmed();
    if (text.isEmpty())
        text = QStringLiteral("the database gives no reason");
    // PostgreSQL's insufficient_privilege.
    if (location.Engine == lenPostgreSQL && error.nativeErrorCode() == u"42501")
        return u"The PostgreSQL role \"" + location.User +
               u"\" may not do this: only the ledger's admin role changes the company map, the "
               u"pairings and the tables; a workstation's role writes its runs, records, first "
               u"pairings and claims.\n" +
               text;
    return text;
}

// A number two programs of this library agree on for the schema lock.
constexpr qint64 SchemaLockKey = 0x4f72765160; // "OrvQ`"

} // namespace

QVariant LedgerValue(const QString& text) {
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

QString LedgerTimeText(const QDateTime& time) {
    return time.isValid() ? time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"))
                          : QStringLiteral("");
}

QDateTime LedgerTime(const QVariant& value) {
    QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC() : QDateTime();
}

QString LedgerDateText(const QDate& date) {
    return date.isValid() ? date.toString(Qt::ISODate) : QStringLiteral("");
}

QDate LedgerDate(const QVariant& value) {
    return QDate::fromString(value.toString(), Qt::ISODate);
}

TLedgerDb::TLedgerDb(const TLedgerLocation& location, int busyTimeoutMs)
    : m_location(location),
      m_connectionName(u"orvq-ledger-" +
                       QString::number(s_connectionCounter.fetchAndAddRelaxed(1))) {
    const bool sqlite = location.Engine == lenSQLite;
    const QString driver = sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
    m_db = QSqlDatabase::addDatabase(driver, m_connectionName);
    try {
        if (!m_db.isValid())
            Fail(u"Qt's database driver " + driver + u" is not installed.");
        if (sqlite) {
            const QString folder = QFileInfo(location.FilePath).absolutePath();
            if (!platform::MakeOwnerOnlyPath(folder))
                Fail(u"The folder \"" + folder + u"\" cannot be created.");
            // SQLite gives its journals the database file's mode.
            if (!platform::PrepareOwnerOnlyFile(location.FilePath))
                Fail(u"The file \"" + location.FilePath + u"\" cannot be created.");
            m_db.setDatabaseName(location.FilePath);
            m_db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=" + QString::number(busyTimeoutMs));
        } else {
            m_db.setHostName(location.Host);
            m_db.setPort(location.Port);
            m_db.setUserName(location.User);
            m_db.setDatabaseName(location.DatabaseName);
            if (!location.Password.isEmpty())
                m_db.setPassword(location.Password);
            m_db.setConnectOptions(location.ConnectOptions());
        }
        if (!m_db.open())
            Fail(ErrorText(m_db.lastError(), m_location));
        if (sqlite) {
            // A killed program leaves a consistent file; a commit is on the
            // disk before the request set it records is sent.
            Exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            Exec(QStringLiteral("PRAGMA synchronous=FULL"));
            // Journals an older version left readable to others.
            for (const char* journal : {"-wal", "-shm"})
                platform::KeepToOwner(location.FilePath + QLatin1String(journal));
        } else {
            Exec(u"SET lock_timeout = " + QString::number(busyTimeoutMs));
        }
    } catch (...) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw;
    }
    m_phase = phReading;
}

TLedgerDb::~TLedgerDb() {
    // Closing rolls back a transaction a failure left open.
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void TLedgerDb::Fail(const QString& detail) const {
    const QString name = u'"' + m_location.Display() + u'"';
    switch (m_phase) {
    case phOpening:
        throw ELedgerError(u"The run ledger " + name + u" cannot be opened. " + PostingStops +
                           u"\n\n" + detail);
    case phWriting:
        throw ELedgerError(u"The run ledger " + name + u" cannot be written. " + PostingStops +
                           u"\n\n" + detail);
    case phReading:
        break;
    }
    throw ELedgerError(u"The run ledger " + name + u" cannot be read.\n\n" + detail);
}

void TLedgerDb::Write(const std::function<void()>& work) {
    OrvAssert(m_phase == phReading);
    m_phase = phWriting;
    try {
        // SQLite: take the write lock now, waiting for the busy time-out,
        // rather than fail when a read inside the transaction turns to write.
        Exec(m_location.Engine == lenSQLite ? QStringLiteral("BEGIN IMMEDIATE")
                                            : QStringLiteral("BEGIN"));
        work();
        Exec(QStringLiteral("COMMIT"));
    } catch (...) {
        QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
        m_phase = phReading;
        throw;
    }
    m_phase = phReading;
}

QSqlQuery TLedgerDb::Prepare(const QString& sql) {
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        Fail(ErrorText(query.lastError(), m_location));
    return query;
}

void TLedgerDb::Run(QSqlQuery& query, const QVariantList& values) {
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values[i]);
    if (!query.exec())
        Fail(ErrorText(query.lastError(), m_location));
}

QSqlQuery TLedgerDb::Exec(const QString& sql, const QVariantList& values) {
    if (values.isEmpty()) {
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        if (!query.exec(sql))
            Fail(ErrorText(query.lastError(), m_location));
        return query;
    }
    QSqlQuery query = Prepare(sql);
    Run(query, values);
    return query;
}

int TLedgerDb::SchemaVersion() {
    if (m_location.Engine == lenSQLite) {
        QSqlQuery q = Exec(QStringLiteral("PRAGMA user_version"));
        return q.next() ? q.value(0).toInt() : 0;
    }
    QSqlQuery exists =
        Exec(QStringLiteral("SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = "
                            "current_schema() AND table_name = 'ledger_version'"));
    if (!exists.next() || exists.value(0).toInt() == 0)
        return 0;
    QSqlQuery q = Exec(QStringLiteral("SELECT MAX(version) FROM ledger_version"));
    return q.next() ? q.value(0).toInt() : 0;
}

void TLedgerDb::SetSchemaVersion(int version) {
    if (m_location.Engine == lenSQLite) {
        Exec(u"PRAGMA user_version = " + QString::number(version));
        return;
    }
    if (SchemaVersion() == 0)
        Exec(
            QStringLiteral("CREATE TABLE IF NOT EXISTS ledger_version (version INTEGER NOT NULL)"));
    Exec(QStringLiteral("DELETE FROM ledger_version"));
    Exec(QStringLiteral("INSERT INTO ledger_version (version) VALUES (?)"), {version});
}

void TLedgerDb::LockSchema() {
    // SQLite's BEGIN IMMEDIATE already excludes every other writer.
    if (m_location.Engine == lenPostgreSQL)
        Exec(QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {SchemaLockKey});
}

bool TLedgerDb::HoldsForeignTables(const QStringList& ledgerTables) {
    // A file of another program is never written into; a shared database may
    // hold other tables, but none of the ledger's names.
    QSqlQuery q =
        m_location.Engine == lenSQLite
            ? Exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))
            : Exec(QStringLiteral("SELECT table_name FROM information_schema.tables WHERE "
                                  "table_schema = current_schema()"));
    while (q.next()) {
        if (m_location.Engine == lenSQLite || ledgerTables.contains(q.value(0).toString()))
            return true;
    }
    return false;
}

qint64 TLedgerDb::ServerClockOffsetMs() {
    if (m_location.Engine == lenSQLite)
        return 0;
    const QDateTime before = QDateTime::currentDateTimeUtc();
    QSqlQuery q = Exec(QStringLiteral("SELECT EXTRACT(EPOCH FROM CURRENT_TIMESTAMP)"));
    const QDateTime after = QDateTime::currentDateTimeUtc();
    if (!q.next())
        return 0;
    const auto server = static_cast<qint64>(q.value(0).toDouble() * 1000.0);
    return server - (before.toMSecsSinceEpoch() + after.toMSecsSinceEpoch()) / 2;
}
