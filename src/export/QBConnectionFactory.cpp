#include "export/QBConnectionFactory.h"

#include "settings/vlxRedir.h"

const QString QBSdkDownloadAddress =
    QStringLiteral("https://developer.intuit.com/app/developer/qbdesktop/docs/get-started");

TQBConnectionConfig DefaultQBConnectionConfig() {
    return QBConnectionConfig(*Redirection());
}

TQBConnectionConfig QBConnectionConfig(const IRedirection& redirection) {
    TQBConnectionConfig config;
    config.SdkDownloadAddress = QBSdkDownloadAddress;
    config.Processor.CompanyFile = redirection.GetFileName(QStringLiteral("QBCompanyFile"));
    return config;
}

TQBConnectionFactory QBConnectionFactory(TQBConnectionConfig config) {
    return
        [config](const ICommonLoggerPtr& logger) { return TQBConnection::Create(logger, config); };
}

TQBConnectionFactory DefaultQBConnectionFactory() {
    return [](const ICommonLoggerPtr& logger) {
        return TQBConnection::Create(logger, DefaultQBConnectionConfig());
    };
}

TQBConnectionFactory RedirectedQBConnectionFactory(std::function<IRedirectionPtr()> redirection) {
    return [redirection = std::move(redirection)](const ICommonLoggerPtr& logger) {
        return TQBConnection::Create(logger, QBConnectionConfig(*redirection()));
    };
}
