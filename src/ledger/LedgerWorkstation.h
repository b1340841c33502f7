// The operating system's side of who writes to the ledger.
#pragma once

#include <QString>

// The name the current user logged on with; empty when the system cannot tell.
QString OsUserName();
