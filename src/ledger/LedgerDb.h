// The ledger's connection through Qt SQL, for the library's own use: one
// connection per object, used on the thread that made it. Statements are
// written in the subset of SQL that SQLite and PostgreSQL share; the few
// places where the two differ are the adapter functions at the end.
#pragma once

#include "ledger/LedgerLocation.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <functional>

class TLedgerDb {
public:
    // Connects and sets the engine up. Throws ELedgerError (cannot be opened).
    TLedgerDb(const TLedgerLocation& location, int busyTimeoutMs);
    ~TLedgerDb();
    TLedgerDb(const TLedgerDb&) = delete;
    TLedgerDb& operator=(const TLedgerDb&) = delete;

    const TLedgerLocation& Location() const { return m_location; }

    // Runs work in one transaction, committed when it returns. Any failure
    // rolls it back and leaves as ELedgerError (cannot be written). Not nested.
    void Write(const std::function<void()>& work);

    // A statement with "?" placeholders, prepared once, run with values.
    QSqlQuery Prepare(const QString& sql);
    void Run(QSqlQuery& query, const QVariantList& values);
    // Prepare and Run in one.
    QSqlQuery Exec(const QString& sql, const QVariantList& values = {});

    // ELedgerError naming what failed, as read or write failure by context.
    [[noreturn]] void Fail(const QString& detail) const;

    // Where the engines differ.
    int SchemaVersion(); // 0: nothing stored yet
    void SetSchemaVersion(int version);
    // Keeps another process from creating or upgrading the schema at the same
    // time; inside Write.
    void LockSchema();
    // Tables this library did not make that would be mixed with the ledger's.
    bool HoldsForeignTables(const QStringList& ledgerTables);
    // The database server's clock minus this computer's, in milliseconds; 0
    // for a file.
    qint64 ServerClockOffsetMs();

private:
    enum TPhase { phOpening, phReading, phWriting };

    TLedgerLocation m_location;
    QString m_connectionName;
    QSqlDatabase m_db;
    TPhase m_phase = phOpening;
};

// Values as the ledger stores them: texts never NULL, times as UTC text of
// fixed width (so they compare as text in both engines), dates as yyyy-MM-dd.
QVariant LedgerValue(const QString& text);
QString LedgerTimeText(const QDateTime& time);
QDateTime LedgerTime(const QVariant& value);
QString LedgerDateText(const QDate& date);
QDate LedgerDate(const QVariant& value);
