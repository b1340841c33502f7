// HTTP(S) POST of one XML-RPC request: a new connection per call, the
// server's certificate and host name verified, bounded waits.
#pragma once

#include "base/ztExceptions.h"

#include <QByteArray>
#include <QString>

// A failed exchange with the server: refused or lost connection, TLS
// failure, time-out, HTTP error status.
class ERpcTransportError : public EztException {
public:
    using EztException::EztException;
};

struct TRpcTransportSettings {
    QString Host;
    int Port = 443;
    // Plain HTTP only where asked for explicitly.
    bool UseTls = true;
    // Extra trusted CA certificates (PEM), on top of the system's trust store.
    QString RootCertificateFile;
    // PEM holding the client certificate, and its key unless KeyFile is set.
    QString CertificateFile;
    QString KeyFile;
    QString EndpointPath;
    QString ProxyHost;
    int ProxyPort = 0;
    QString ProxyUser;
    QString ProxyPassword;
    bool ProxyBasicAuth = false;
    // Time to establish the connection, TLS handshake included.
    int ConnectTimeoutMs = 30 * 1000;
    // A call is abandoned when no byte has moved for this long.
    int IdleTimeoutMs = 5 * 60 * 1000;
    // Answers are read whole into memory; a larger one is refused.
    qint64 MaxResponseBytes = qint64(256) * 1024 * 1024;
};

// "https://host:port/path", or for plain HTTP "http://host/path" on port 80.
// Throws ERpcTransportError for a host that is not a plain host name or address.
QString RpcServerUrl(const TRpcTransportSettings& settings);

// POSTs the body as "text/xml" and returns the response body.
QByteArray PostRpcRequest(const TRpcTransportSettings& settings, const QByteArray& body);
