// Where the run ledger lives: the value of the redirection alias "Ledger".
// A path names an SQLite file; "postgresql://user@host:port/dbname" a
// PostgreSQL database shared by several workstations, whose password comes
// from the settings store (protected like the service password) or from
// PostgreSQL's own password file. A query gives libpq's connection
// parameters ("?sslmode=verify-full&sslrootcert=/etc/orvq/ca.pem").
#pragma once

#include "settings/ztSettings.h"

#include <QList>
#include <QString>
#include <utility>

enum TLedgerEngine { lenSQLite, lenPostgreSQL };

struct TLedgerLocation {
    static constexpr int DefaultPort = 5432;

    TLedgerEngine Engine = lenSQLite;
    QString FilePath; // SQLite
    QString Host;     // PostgreSQL
    int Port = DefaultPort;
    QString User;
    QString DatabaseName;
    QString Password; // empty: PostgreSQL's password file, or none
    // libpq's parameters, names lower case, in the URL's order.
    QList<std::pair<QString, QString>> Parameters;

    // The path, or the URL without a password: what messages name.
    QString Display() const;
    // The parameters as Qt's PostgreSQL driver passes them on to libpq.
    QString ConnectOptions() const;
};

// Throws ELedgerError for an empty value or a PostgreSQL URL that is not
// "postgresql://[user@]host[:port]/dbname[?parameters]" (a password in the
// URL is refused: the redirection file is plain text), or whose parameters
// are not ones the ledger takes.
TLedgerLocation ParseLedgerLocation(const QString& value);

// The value with a URL's password shown as "***": how every message and log
// record shows a ledger location.
QString RedactedLedgerLocation(const QString& value);

// Why the connection may go unencrypted or unverified (a server that is not
// this computer's, and no "sslmode"); empty when there is nothing to say.
QString LedgerTransportWarning(const TLedgerLocation& location);

// The ledger's password in the settings store ("Ledger\PasswordHex"); a
// damaged value reads as no password. Saving an empty one deletes it.
QString LoadLedgerPassword(const IztSettings& settings);
void SaveLedgerPassword(IztSettings& settings, const QString& password);
