#include "payroll/xmlrpc/XmlRpcTransport.h"

#include "base/ErrorAdvice.h"
#include "base/vlxCancelToken.h"
#include "base/ztFormat.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <curl/curl.h>
#include <openssl/crypto.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>
#include <mutex>

namespace {

void EnsureCurlInitialised() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            throw ERpcTransportError(QStringLiteral("The HTTPS library could not be initialised"));
    });
}

QString Duration(int ms) {
    if (ms % 60000 == 0)
        return Format("%d minute%s", {ms / 60000, ms == 60000 ? "" : "s"});
    if (ms % 1000 == 0)
        return Format("%d second%s", {ms / 1000, ms == 1000 ? "" : "s"});
    return Format("%d ms", {ms});
}

QString ByteSize(qint64 bytes) {
    const qint64 mb = 1024 * 1024;
    if (bytes >= mb && bytes % mb == 0)
        return Format("%d MB", {bytes / mb});
    return Format("%d bytes", {bytes});
}

struct TExchange {
    const TRpcTransportSettings* Settings = nullptr;
    QByteArray Response;
    bool TooLarge = false;
    bool Idle = false;
    bool PastDeadline = false;
    bool Cancelled = false;
    curl_off_t LastDown = 0;
    curl_off_t LastUp = 0;
    QElapsedTimer SinceLastByte;
    QElapsedTimer SinceStart;
    QByteArray CaFile;
    bool CaFileFailed = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<TExchange*>(user);
    const size_t bytes = size * count;
    if (exchange->Response.size() + qint64(bytes) > exchange->Settings->MaxResponseBytes) {
        exchange->TooLarge = true;
        return 0; // aborts the transfer
    }
    exchange->Response.append(data, qsizetype(bytes));
    return bytes;
}

int Progress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    auto* exchange = static_cast<TExchange*>(user);
    if (exchange->Settings->Cancelled && exchange->Settings->Cancelled()) {
        exchange->Cancelled = true;
        return 1; // aborts the transfer
    }
    if (exchange->SinceStart.elapsed() > exchange->Settings->DeadlineMs) {
        exchange->PastDeadline = true;
        return 1; // aborts the transfer
    }
    if (dlnow != exchange->LastDown || ulnow != exchange->LastUp) {
        exchange->LastDown = dlnow;
        exchange->LastUp = ulnow;
        exchange->SinceLastByte.restart();
        return 0;
    }
    if (exchange->SinceLastByte.elapsed() > exchange->Settings->IdleTimeoutMs) {
        exchange->Idle = true;
        return 1; // aborts the transfer
    }
    return 0;
}

// Adds the configured CA file to the trust store that libcurl set up from
// the system's certificates, instead of replacing it.
CURLcode AddTrustedCa(CURL*, void* sslContext, void* user) {
    auto* exchange = static_cast<TExchange*>(user);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    if (X509_STORE_load_locations(store, exchange->CaFile.constData(), nullptr) != 1) {
        exchange->CaFileFailed = true;
        return CURLE_SSL_CACERT_BADFILE;
    }
    return CURLE_OK;
}

struct TCurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct TSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Runs the transfer in steps of at most RpcCancelCheckMs, so that the
// progress callback, and with it the cancel, is asked that often even while
// the server says nothing (a plain curl_easy_perform asks about once a
// second).
CURLcode Perform(CURL* curl, TExchange& exchange) {
    CURLM* multi = curl_multi_init();
    if (!multi)
        throw ERpcTransportError(QStringLiteral("The HTTPS library could not be initialised"));
    const std::unique_ptr<CURLM, CURLMcode (*)(CURLM*)> owner(multi, &curl_multi_cleanup);
    if (curl_multi_add_handle(multi, curl) != CURLM_OK)
        throw ERpcTransportError(QStringLiteral("The HTTPS library could not be initialised"));
    CURLcode result = CURLE_OK;
    int running = 1;
    while (running > 0) {
        CURLMcode step = curl_multi_perform(multi, &running);
        if (step == CURLM_OK && running > 0) {
            if (exchange.Settings->Cancelled && exchange.Settings->Cancelled()) {
                exchange.Cancelled = true;
                result = CURLE_ABORTED_BY_CALLBACK;
                break;
            }
            step = curl_multi_poll(multi, nullptr, 0, RpcCancelCheckMs, nullptr);
        }
        if (step != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left))
        if (message->msg == CURLMSG_DONE && message->easy_handle == curl)
            result = message->data.result;
    curl_multi_remove_handle(multi, curl);
    return result;
}

void CheckReadable(const QString& path, const char* what) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ERpcTransportError(
            Format("The %s file \"%s\" cannot be read: %s", {what, path, file.errorString()}));
}

} // namespace

QString RpcServerUrl(const TRpcTransportSettings& settings) {
    // Only a host name or an address: anything else could smuggle a user,
    // a path or another scheme into the URL.
    static const QRegularExpression hostPattern(
        QStringLiteral("^(?:[A-Za-z0-9](?:[A-Za-z0-9._-]*[A-Za-z0-9])?|\\[[0-9A-Fa-f:.]+\\])$"));
    if (!hostPattern.match(settings.Host).hasMatch())
        throw ERpcTransportError(Format("Invalid server address \"%s\"", {settings.Host}));
    if (settings.Port <= 0 || settings.Port > 65535)
        throw ERpcTransportError(Format("Invalid server port %d", {settings.Port}));
    if (settings.UseTls)
        return QLatin1String("https://") + settings.Host + u':' + QString::number(settings.Port) +
               settings.EndpointPath;
    if (settings.Port == 80)
        return QLatin1String("http://") + settings.Host + settings.EndpointPath;
    return QLatin1String("http://") + settings.Host + u':' + QString::number(settings.Port) +
           settings.EndpointPath;
}

QByteArray PostRpcRequest(const TRpcTransportSettings& settings, const QByteArray& body,
                          const QString& methodName) {
    const QString url = RpcServerUrl(settings);
    if (!settings.CertificateFile.isEmpty())
        CheckReadable(settings.CertificateFile, "client certificate");
    if (!settings.KeyFile.isEmpty())
        CheckReadable(settings.KeyFile, "client key");
    if (!settings.RootCertificateFile.isEmpty())
        CheckReadable(settings.RootCertificateFile, "trusted certificate");

    EnsureCurlInitialised();
    std::unique_ptr<CURL, TCurlDeleter> curl(curl_easy_init());
    if (!curl)
        throw ERpcTransportError(QStringLiteral("The HTTPS library could not be initialised"));
    CURL* c = curl.get();

    TExchange exchange;
    exchange.Settings = &settings;
    char errorText[CURL_ERROR_SIZE] = {};
    const QByteArray urlBytes = url.toUtf8();
    const QByteArray certificate = settings.CertificateFile.toLocal8Bit();
    const QByteArray key = settings.KeyFile.toLocal8Bit();
    const QByteArray proxy = settings.ProxyHost.toUtf8();
    const QByteArray proxyUser = settings.ProxyUser.toUtf8();
    const QByteArray proxyPassword = settings.ProxyPassword.toUtf8();
    exchange.CaFile = settings.RootCertificateFile.toLocal8Bit();

    std::unique_ptr<curl_slist, TSlistDeleter> headers;
    for (const char* header :
         {"Accept: */*", "Content-Type: text/xml", "Connection: Keep-Alive", "Expect:"}) {
        curl_slist* list = curl_slist_append(headers.get(), header);
        if (!list)
            throw ERpcTransportError(QStringLiteral("Out of memory"));
        headers.release();
        headers.reset(list);
    }

    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(c, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &exchange);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(settings.ConnectTimeoutMs));

    // The password travels in this request: the server must prove who it is.
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
    if (!exchange.CaFile.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, &AddTrustedCa);
        curl_easy_setopt(c, CURLOPT_SSL_CTX_DATA, &exchange);
    }
    if (!certificate.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_SSLCERT, certificate.constData());
        curl_easy_setopt(c, CURLOPT_SSLCERTTYPE, "PEM");
        curl_easy_setopt(c, CURLOPT_SSLKEY,
                         key.isEmpty() ? certificate.constData() : key.constData());
        curl_easy_setopt(c, CURLOPT_SSLKEYTYPE, "PEM");
    }

    // An empty proxy also keeps libcurl away from the proxy environment variables.
    curl_easy_setopt(c, CURLOPT_PROXY, proxy.constData());
    if (!proxy.isEmpty()) {
        if (settings.ProxyPort > 0)
            curl_easy_setopt(c, CURLOPT_PROXYPORT, long(settings.ProxyPort));
        if (!proxyUser.isEmpty()) {
            curl_easy_setopt(c, CURLOPT_PROXYUSERNAME, proxyUser.constData());
            curl_easy_setopt(c, CURLOPT_PROXYPASSWORD, proxyPassword.constData());
        }
        curl_easy_setopt(c, CURLOPT_PROXYAUTH,
                         settings.ProxyBasicAuth ? long(CURLAUTH_BASIC) : long(CURLAUTH_ANY));
    }

    exchange.SinceLastByte.start();
    exchange.SinceStart.start();
    const CURLcode code = Perform(c, exchange);
    if (exchange.Cancelled)
        throw EOperationCancelled();
    const QString detail = errorText[0] ? QString::fromUtf8(errorText).trimmed()
                                        : QString::fromUtf8(curl_easy_strerror(code));
    if (code != CURLE_OK) {
        if (exchange.PastDeadline)
            throw ERpcTransportError(WithErrorAdvice(
                methodName.isEmpty()
                    ? Format("The payroll service at %s did not finish answering within %s; the "
                             "call was abandoned",
                             {url, Duration(settings.DeadlineMs)})
                    : Format("The payroll service at %s did not finish answering %s within %s; "
                             "the call was abandoned",
                             {url, methodName, Duration(settings.DeadlineMs)}),
                asPayrollService, paTooSlow));
        if (exchange.Idle)
            throw ERpcTransportError(
                Format("The server %s sent nothing for %s; the call was abandoned",
                       {url, Duration(settings.IdleTimeoutMs)}));
        if (exchange.TooLarge)
            throw ERpcTransportError(Format("The answer of the server %s exceeds the limit of %s",
                                            {url, ByteSize(settings.MaxResponseBytes)}));
        switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            throw ERpcTransportError(Format("The connection to %s could not be made within %s",
                                            {url, Duration(settings.ConnectTimeoutMs)}));
        case CURLE_PEER_FAILED_VERIFICATION:
            throw ERpcTransportError(
                Format("The certificate of the server %s was not accepted: %s", {url, detail}));
        case CURLE_SSL_CACERT_BADFILE:
            throw ERpcTransportError(
                Format("The trusted certificate file \"%s\" cannot be used: %s",
                       {settings.RootCertificateFile, detail}));
        case CURLE_SSL_CERTPROBLEM:
            throw ERpcTransportError(Format("The client certificate file \"%s\" cannot be used: %s",
                                            {settings.CertificateFile, detail}));
        case CURLE_SSL_CONNECT_ERROR:
            throw ERpcTransportError(
                Format("The secure connection to %s failed: %s", {url, detail}));
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
        case CURLE_COULDNT_RESOLVE_PROXY:
            throw ERpcTransportError(
                WithErrorAdvice(Format("Cannot connect to %s: %s", {url, detail}), asPayrollService,
                                paCannotConnect));
        default:
            throw ERpcTransportError(Format("The call to %s failed: %s", {url, detail}));
        }
    }
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299)
        throw ERpcTransportError(
            Format("The server %s answered with HTTP status %d", {url, status}));
    return std::move(exchange.Response);
}

void EndRpcTransportOnThisThread() {
    OPENSSL_thread_stop();
}
