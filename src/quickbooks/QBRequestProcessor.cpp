#include "quickbooks/QBRequestProcessor.h"

namespace {

TQBRequestProcessorFactory& Factory() {
    static TQBRequestProcessorFactory factory;
    return factory;
}

} // namespace

void SetQBRequestProcessorFactory(TQBRequestProcessorFactory factory) {
    Factory() = std::move(factory);
}

IQBRequestProcessorPtr CreateQBRequestProcessor(const TQBProcessorConfig& config) {
    if (!Factory())
        throw EQBProcessorError(qbhr::NotInstalled,
                                QStringLiteral("This program has no way to reach QuickBooks."));
    return Factory()(config);
}
