#include "records/LedgerWorkstation.h"

#include <windows.h>

QString OsUserName() {
    wchar_t name[257];
    DWORD size = sizeof name / sizeof name[0];
    if (!GetUserNameW(name, &size) || size == 0)
        return QString();
    // The size counts the terminating zero.
    return QString::fromWCharArray(name, static_cast<int>(size) - 1);
}

namespace {

// The creation time, in 100-nanosecond steps since 1601; empty when the
// system does not tell it.
QString CreationTime(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return QString();
    return QString::number((quint64(created.dwHighDateTime) << 32) | created.dwLowDateTime);
}

} // namespace

TLedgerProcess ThisOsProcess() {
    return {qint64(GetCurrentProcessId()), CreationTime(GetCurrentProcess())};
}

bool OsProcessGone(const TLedgerProcess& process) {
    if (process.Id <= 0 || process.Id > qint64(MAXDWORD) || process.Started.isEmpty())
        return false;
    HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                static_cast<DWORD>(process.Id));
    // Refused for another reason (another user's process): it cannot be told.
    if (!handle)
        return GetLastError() == ERROR_INVALID_PARAMETER;
    // An ended process keeps its id while a handle to it is open.
    const bool ended = WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
    const QString started = CreationTime(handle);
    CloseHandle(handle);
    return ended || (!started.isEmpty() && started != process.Started);
}
