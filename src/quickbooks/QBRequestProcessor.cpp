#include "quickbooks/QBRequestProcessor.h"

IQBRequestProcessorPtr CreateQBRequestProcessor(const TQBProcessorConfig& config) {
    if (!config.Factory)
        throw EQBProcessorError(qbhr::NotInstalled,
                                QStringLiteral("This program has no way to reach QuickBooks."));
    return config.Factory(config);
}

QString QBProcessorMessage(quint32 hresult) {
    switch (hresult) {
    case qbhr::ParseError:
        return QStringLiteral(
            "QuickBooks found an error when parsing the provided XML text stream.");
    case qbhr::CannotAccess:
        return QStringLiteral("Could not access QuickBooks.");
    case qbhr::CannotOpenFile:
        return QStringLiteral("QuickBooks could not open the company file.");
    case qbhr::OtherFileOpen:
        return QStringLiteral("Another company file is open in QuickBooks.");
    case qbhr::NotRunning:
        return QStringLiteral("QuickBooks is not running and no company file is open.");
    case qbhr::AccessDenied:
        return QStringLiteral("QuickBooks refused access to the company file.");
    default:
        return QString();
    }
}
