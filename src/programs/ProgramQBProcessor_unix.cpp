#include "ProgramQBProcessor.h"

#include "company/QBSandboxRequestProcessor.h"

TQBRequestProcessorFactory ProgramQBRequestProcessor() {
    return &CreateSandboxRequestProcessor;
}
