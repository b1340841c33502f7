// The request processor each program hands its core: QuickBooks' own on
// Windows (ProgramQBProcessor_win.cpp), the sandbox company where QuickBooks
// does not exist (_unix.cpp). Compiled into the programs only, so no library
// links the stand-in.
#pragma once

#include "quickbooks/QBRequestProcessor.h"

TQBRequestProcessorFactory ProgramQBRequestProcessor();
