#include "export/QBConnectionFactory.h"

#include "settings/vlxRedir.h"

const QString QBSdkDownloadAddress =
    QStringLiteral("https://developer.intuit.com/app/developer/qbdesktop/docs/get-started");

TQBConnectionConfig QBConnectionConfig(const IRedirection& redirection,
                                       TQBRequestProcessorFactory processor) {
    TQBConnectionConfig config;
    config.SdkDownloadAddress = QBSdkDownloadAddress;
    config.Processor.Factory = std::move(processor);
    config.Processor.CompanyFile = redirection.GetFileName(QStringLiteral("QBCompanyFile"));
    return config;
}

TQBConnectionFactory QBConnectionFactory(TQBConnectionConfig config) {
    return
        [config](const ICommonLoggerPtr& logger) { return TQBConnection::Create(logger, config); };
}

TQBConnectionFactory RedirectedQBConnectionFactory(std::function<IRedirectionPtr()> redirection,
                                                   TQBRequestProcessorFactory processor) {
    return [redirection = std::move(redirection),
            processor = std::move(processor)](const ICommonLoggerPtr& logger) {
        return TQBConnection::Create(logger, QBConnectionConfig(*redirection(), processor));
    };
}
