// HTTP(S) POST of one XML-RPC request: a new connection per call, the
// server's certificate and host name verified, bounded waits.
#pragma once

#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"

#include <QByteArray>
#include <QString>
#include <functional>

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
    // The whole call, connecting included, is abandoned after this long: a
    // server that sends a byte now and then never meets the idle time-out.
    int DeadlineMs = 2 * 60 * 1000;
    // Answers are read whole into memory; a larger one is refused.
    qint64 MaxResponseBytes = MaxReportBytes;
    // Asked several times a second while a call is under way, also while
    // the server is silent; true abandons the call with EOperationCancelled.
    std::function<bool()> Cancelled;
};

// "https://host:port/path", or for plain HTTP "http://host/path" on port 80.
// Throws ERpcTransportError for a host that is not a plain host name or address.
QString RpcServerUrl(const TRpcTransportSettings& settings);

// The cap of answers that are never big (a session, a task's id or state):
// a few hundred bytes, so a flood is refused long before it costs memory.
constexpr qint64 RpcSmallAnswerMaxBytes = qint64(1024) * 1024;

// How often a call in progress looks at Cancelled, at the least.
constexpr int RpcCancelCheckMs = 100;

// POSTs the body as "text/xml" and returns the response body. Throws
// ERpcTransportError, or EOperationCancelled when Cancelled said so; the
// message of a call past its deadline names methodName when given.
QByteArray PostRpcRequest(const TRpcTransportSettings& settings, const QByteArray& body,
                          const QString& methodName = QString());

// Frees what the HTTPS library keeps for the calling thread (its random
// generators, its error queue). Called by a thread that posted requests as
// it ends: left to the thread's exit handlers, that happens after a
// QThread::wait has returned, so a program ending right after may exit
// while they still run.
void EndRpcTransportOnThisThread();
