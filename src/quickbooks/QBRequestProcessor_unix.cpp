// Without QuickBooks on this platform, requests go to the sandbox company.
#include "quickbooks/QBRequestProcessor.h"

#include "company/QBSandboxLists.h"
#include "company/QBSandboxProcessor.h"

IQBRequestProcessorPtr CreateQBRequestProcessor(const TQBProcessorConfig& config) {
    TQBSandboxProcessor::TOptions options;
    options.CompanyFile = config.CompanyFile;
    options.DemoDataDir =
        config.DemoDataDir.isEmpty() ? DefaultSandboxDemoDir() : config.DemoDataDir;
    return std::make_unique<TQBSandboxProcessor>(options);
}
