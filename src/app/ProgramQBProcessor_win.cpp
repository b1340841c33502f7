#include "ProgramQBProcessor.h"

#include "quickbooks/QBRequestProcessor.h"

void UseProgramQBRequestProcessor() {
    SetQBRequestProcessorFactory(&CreateQBXMLRP2Processor);
}
