#include "ledger/LedgerLocation.h"

#include "ledger/LedgerTypes.h"
#include "settings/OrvConnectionParam.h"

#include <QUrl>

namespace {

const QString PasswordName = QStringLiteral("Ledger\\PasswordHex");

[[noreturn]] void Malformed(const QString& value, const QString& why) {
    throw ELedgerError(u"The ledger location \"" + value + u"\" is not valid: " + why +
                       u"\n\nA PostgreSQL ledger is written postgresql://user@host:port/dbname; "
                       u"any other value is the path of an SQLite file.");
}

} // namespace

QString TLedgerLocation::Display() const {
    if (Engine == lenSQLite)
        return FilePath;
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setUserName(User);
    url.setHost(Host);
    url.setPort(Port);
    url.setPath(u'/' + DatabaseName);
    return url.toString();
}

TLedgerLocation ParseLedgerLocation(const QString& value) {
    const QString trimmed = value.trimmed();
    if (trimmed.isEmpty())
        throw ELedgerError(QStringLiteral("No run ledger is configured: the redirection file "
                                          "gives no value for the alias \"Ledger\"."));
    TLedgerLocation location;
    if (!trimmed.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) &&
        !trimmed.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive)) {
        location.FilePath = trimmed;
        return location;
    }
    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid())
        Malformed(trimmed, url.errorString());
    if (!url.password().isEmpty())
        Malformed(trimmed, QStringLiteral("it holds a password; keep the password in the settings "
                                          "or in PostgreSQL's password file"));
    location.Engine = lenPostgreSQL;
    location.Host = url.host();
    location.Port = url.port(TLedgerLocation::DefaultPort);
    location.User = url.userName();
    location.DatabaseName = url.path().mid(1);
    if (location.Host.isEmpty())
        Malformed(trimmed, QStringLiteral("it names no host"));
    if (location.DatabaseName.isEmpty() || location.DatabaseName.contains(u'/') || url.hasQuery() ||
        url.hasFragment())
        Malformed(trimmed, QStringLiteral("it names no database"));
    return location;
}

QString LoadLedgerPassword(const IztSettings& settings) {
    try {
        return UnprotectPassword(settings.GetAsString(PasswordName));
    } catch (const EztException&) {
        return QString();
    }
}

void SaveLedgerPassword(IztSettings& settings, const QString& password) {
    settings.SetAsString(PasswordName, ProtectPassword(password));
}
