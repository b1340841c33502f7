// The orvq-qbsandbox command line: create, inspect and rig a sandbox company.
#pragma once

#include <QStringList>
#include <QTextStream>

// Returns the exit code: 0 done, 1 failed, 2 wrong usage.
int RunQBSandboxTool(const QStringList& args, QTextStream& out, QTextStream& err);
