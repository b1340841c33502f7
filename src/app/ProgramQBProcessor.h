// The request processor each program hands the QuickBooks library at start:
// QuickBooks' own on Windows (ProgramQBProcessor_win.cpp), the sandbox
// company where QuickBooks does not exist (_unix.cpp). Linked by the
// programs only, so no library of theirs links the stand-in.
#pragma once

void UseProgramQBRequestProcessor();
