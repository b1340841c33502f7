#include "ledger/LedgerWorkstation.h"

#include <windows.h>

QString OsUserName() {
    wchar_t name[257];
    DWORD size = sizeof name / sizeof name[0];
    if (!GetUserNameW(name, &size) || size == 0)
        return QString();
    // The size counts the terminating zero.
    return QString::fromWCharArray(name, static_cast<int>(size) - 1);
}
