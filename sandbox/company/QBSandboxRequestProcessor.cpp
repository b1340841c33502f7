#include "company/QBSandboxRequestProcessor.h"

#include "company/QBSandboxLists.h"
#include "company/QBSandboxProcessor.h"

IQBRequestProcessorPtr CreateSandboxRequestProcessor(const TQBProcessorConfig& config) {
    TQBSandboxProcessor::TOptions options;
    options.CompanyFile = config.CompanyFile;
    options.DemoDataDir =
        config.DemoDataDir.isEmpty() ? DefaultSandboxDemoDir() : config.DemoDataDir;
    return std::make_unique<TQBSandboxProcessor>(options);
}
