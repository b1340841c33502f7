#include "records/LedgerWorkstation.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

QString OsUserName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return QString();
    return QString::fromLocal8Bit(found->pw_name);
}

namespace {

enum TProcRead { prRead, prMissing, prUnreadable };

// A small file of /proc, read whole (its size reads as 0).
TProcRead ReadProcFile(const QByteArray& path, QByteArray& content) {
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? prMissing : prUnreadable;
    content.clear();
    char chunk[1024];
    ssize_t got = 0;
    while ((got = read(fd, chunk, sizeof chunk)) > 0)
        content.append(chunk, got);
    close(fd);
    return got < 0 ? prUnreadable : prRead;
}

// Start times count clock ticks from the boot: the boot's id tells two
// boots apart. (The boot time /proc/stat gives may move by a second.)
const QByteArray& BootId() {
    static const QByteArray id = [] {
        QByteArray text;
        ReadProcFile("/proc/sys/kernel/random/boot_id", text);
        return text.trimmed();
    }();
    return id;
}

struct TProcStat {
    TProcRead Read = prUnreadable;
    bool Ended = false; // a zombie: it ended, nobody has waited for it yet
    QString Started;
};

TProcStat ProcStat(const QByteArray& which) {
    TProcStat stat;
    QByteArray text;
    stat.Read = ReadProcFile("/proc/" + which + "/stat", text);
    if (stat.Read != prRead)
        return stat;
    // The name in parentheses may hold blanks and parentheses itself.
    const qsizetype close = text.lastIndexOf(')');
    const QList<QByteArray> fields =
        close < 0 ? QList<QByteArray>() : text.mid(close + 1).simplified().split(' ');
    // Field 3 is the state, field 22 the start.
    if (fields.size() < 20) {
        stat.Read = prUnreadable;
        return stat;
    }
    stat.Ended = fields[0] == "Z" || fields[0] == "X";
    stat.Started = QString::fromLatin1(BootId() + '/' + fields[19]);
    return stat;
}

} // namespace

TLedgerProcess ThisOsProcess() {
    const TProcStat self = ProcStat("self");
    return {qint64(getpid()), self.Read == prRead ? self.Started : QString()};
}

bool OsProcessGone(const TLedgerProcess& process) {
    if (process.Id <= 0 || process.Id > INT_MAX || process.Started.isEmpty())
        return false;
    const TProcStat stat = ProcStat(QByteArray::number(process.Id));
    if (stat.Read == prMissing)
        return true;
    return stat.Read == prRead && (stat.Ended || stat.Started != process.Started);
}
