// The sandbox company as the request processor a program or a test hands
// the QuickBooks library (TQBProcessorConfig::Factory).
#pragma once

#include "quickbooks/QBRequestProcessor.h"

// A processor on config's company file, created from the demo data (of
// config, else the folder "demo" beside the program) when missing.
IQBRequestProcessorPtr CreateSandboxRequestProcessor(const TQBProcessorConfig& config);
