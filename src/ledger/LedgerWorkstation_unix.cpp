#include "ledger/LedgerWorkstation.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

QString OsUserName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return QString();
    return QString::fromLocal8Bit(found->pw_name);
}
