#include "ProgramQBProcessor.h"

#include "company/QBSandboxRequestProcessor.h"

void UseProgramQBRequestProcessor() {
    SetQBRequestProcessorFactory(&CreateSandboxRequestProcessor);
}
