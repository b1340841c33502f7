#include "export/QBConnectionFactory.h"

#include "settings/vlxRedir.h"

const QString QBSdkDownloadAddress =
    QStringLiteral("https://developer.intuit.com/app/developer/qbdesktop/docs/get-started");

TQBConnectionConfig DefaultQBConnectionConfig() {
    TQBConnectionConfig config;
    config.SdkDownloadAddress = QBSdkDownloadAddress;
    config.Processor.CompanyFile = Redirection()->GetFileName(QStringLiteral("QBCompanyFile"));
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
