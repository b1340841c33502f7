#include "ProgramQBProcessor.h"

TQBRequestProcessorFactory ProgramQBRequestProcessor() {
    return &CreateQBXMLRP2Processor;
}
