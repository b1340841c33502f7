// Where the run ledger lives: the value of the redirection alias "Ledger".
// A path names an SQLite file; "postgresql://user@host:port/dbname" a
// PostgreSQL database shared by several workstations, whose password comes
// from the settings store (protected like the service password) or from
// PostgreSQL's own password file.
#pragma once

#include "settings/ztSettings.h"

#include <QString>

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

    // The path, or the URL without a password: what messages name.
    QString Display() const;
};

// Throws ELedgerError for an empty value or a PostgreSQL URL that is not
// "postgresql://[user@]host[:port]/dbname" (a password in the URL is refused:
// the redirection file is plain text).
TLedgerLocation ParseLedgerLocation(const QString& value);

// The ledger's password in the settings store ("Ledger\PasswordHex"); a
// damaged value reads as no password. Saving an empty one deletes it.
QString LoadLedgerPassword(const IztSettings& settings);
void SaveLedgerPassword(IztSettings& settings, const QString& password);
