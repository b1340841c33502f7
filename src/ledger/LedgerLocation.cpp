#include "ledger/LedgerLocation.h"

#include "records/LedgerTypes.h"
#include "settings/OrvConnectionParam.h"

#include <QUrl>
#include <QUrlQuery>
#include <algorithm>

namespace {

const QString PasswordName = QStringLiteral("Ledger\\PasswordHex");

const QStringList SslModes{"disable", "allow", "prefer", "require", "verify-ca", "verify-full"};
const QStringList FileParameters{"sslrootcert", "sslcert", "sslkey"};
const QString SslMode = QStringLiteral("sslmode");
const QString ConnectTimeout = QStringLiteral("connect_timeout");

[[noreturn]] void Malformed(const QString& value, const QString& why) {
    throw ELedgerError(u"The ledger location \"" + RedactedLedgerLocation(value) +
                       u"\" is not valid: " + why +
                       u"\n\nA PostgreSQL ledger is written "
                       u"postgresql://user@host:port/dbname, with libpq's sslmode, sslrootcert, "
                       u"sslcert, sslkey and connect_timeout as a query "
                       u"(?sslmode=verify-full&sslrootcert=/path/ca.pem); any other value is the "
                       u"path of an SQLite file.");
}

// Empty when libpq may have the value, else why not.
QString ParameterProblem(const QString& name, const QString& value) {
    const QString quoted = u'"' + name + u'"';
    if (name == SslMode)
        return SslModes.contains(value)
                   ? QString()
                   : u"sslmode is one of " + SslModes.join(QStringLiteral(", "));
    if (name == ConnectTimeout) {
        bool ok = false;
        const int seconds = value.toInt(&ok);
        return ok && seconds >= 0 ? QString()
                                  : QStringLiteral("connect_timeout is a number of seconds");
    }
    if (!FileParameters.contains(name))
        return u"it gives the parameter " + quoted +
               u", which the ledger does not take (it takes sslmode, sslrootcert, sslcert, "
               u"sslkey and connect_timeout)";
    // Qt's driver turns ";" into a blank before libpq reads the options.
    if (value.isEmpty() || value.contains(u';') ||
        std::any_of(value.cbegin(), value.cend(), [](QChar c) { return c.unicode() < 0x20; }))
        return quoted + u" is not a file name the ledger can pass on";
    return QString();
}

QString QuotedOption(const QString& value) {
    QString quoted = value;
    quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + quoted + u'\'';
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
    if (!Parameters.isEmpty()) {
        QUrlQuery query;
        for (const auto& [name, value] : Parameters)
            query.addQueryItem(name, QString(value).replace(u'%', QStringLiteral("%25")));
        url.setQuery(query);
    }
    return url.toString(QUrl::EncodeSpaces);
}

QString TLedgerLocation::ConnectOptions() const {
    QStringList options;
    bool timeout = false;
    for (const auto& [name, value] : Parameters) {
        options << name + u'=' + QuotedOption(value);
        timeout = timeout || name == ConnectTimeout;
    }
    // A server that does not answer must not hold a run for long.
    if (!timeout)
        options << QStringLiteral("connect_timeout=10");
    return options.join(u';');
}

QString RedactedLedgerLocation(const QString& value) {
    const qsizetype scheme = value.indexOf(QLatin1String("://"));
    if (scheme < 0)
        return value;
    const qsizetype start = scheme + 3;
    qsizetype end = start;
    while (end < value.size() && value[end] != u'/' && value[end] != u'?' && value[end] != u'#')
        ++end;
    const qsizetype at = value.lastIndexOf(u'@', end - 1);
    if (at < start)
        return value;
    const qsizetype colon = value.indexOf(u':', start);
    if (colon < 0 || colon > at)
        return value;
    return value.left(colon + 1) + QStringLiteral("***") + value.mid(at);
}

QString LedgerTransportWarning(const TLedgerLocation& location) {
    const QString host = location.Host.toLower();
    if (location.Engine != lenPostgreSQL || host == u"localhost" || host.startsWith(u"127.") ||
        host == u"::1")
        return QString();
    for (const auto& parameter : location.Parameters)
        if (parameter.first == SslMode)
            return QString();
    return u"The run ledger " + location.Display() +
           u" is on another computer and its location sets no sslmode: the connection may go "
           u"unencrypted, or to a server nobody verified. Add ?sslmode=verify-full&sslrootcert=… "
           u"to the alias \"Ledger\" (see the README's shared ledger).";
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
    if (location.DatabaseName.isEmpty() || location.DatabaseName.contains(u'/') ||
        url.hasFragment())
        Malformed(trimmed, QStringLiteral("it names no database"));
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        const QString name = key.toLower();
        for (const auto& given : location.Parameters)
            if (given.first == name)
                Malformed(trimmed, u"it gives \"" + name + u"\" twice");
        const QString problem = ParameterProblem(name, value);
        if (!problem.isEmpty())
            Malformed(trimmed, problem);
        location.Parameters.append({name, value});
    }
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
