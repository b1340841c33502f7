// The operating system's side of who writes to the ledger.
#pragma once

#include "records/LedgerTypes.h"

#include <QString>

// The name the current user logged on with; empty when the system cannot tell.
QString OsUserName();

// This process: its id and when it started; Started is empty when the
// system cannot tell.
TLedgerProcess ThisOsProcess();
// True only when the system tells that the process of this computer no
// longer lives: no process has its id, or the one that has it started at
// another time. False when it lives or the system cannot tell.
bool OsProcessGone(const TLedgerProcess& process);
