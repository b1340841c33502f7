#include "TestPlatform.h"

#include "settings/ztSettingsFile.h"

#include <QFile>

#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace testsupport {

bool RunningAsRoot() {
    return geteuid() == 0;
}

bool DropRootToNobody() {
    if (!RunningAsRoot())
        return true;
    const passwd* nobody = getpwnam("nobody");
    return nobody && setgid(nobody->pw_gid) == 0 && setuid(nobody->pw_uid) == 0;
}

QString OpenFilesCannotBeDeleted() {
    return QString();
}

bool EndedByCrash(const QProcess& child) {
    return child.exitStatus() == QProcess::CrashExit;
}

void LetOthersReadNewFiles() {
    umask(022);
}

QString MakeFifo(const QString& path) {
    if (mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
        return QStringLiteral("mkfifo failed: ") + QString::fromLocal8Bit(strerror(errno));
    return QString();
}

std::unique_ptr<QSettings> OpenStoredAppSettings(const QString& programName) {
    return std::make_unique<QSettings>(qEnvironmentVariable("XDG_CONFIG_HOME") +
                                           QStringLiteral("/Zantrel/") + programName +
                                           QStringLiteral(".ini"),
                                       SettingsFileFormat());
}

QString StoredAppSettingsRootPath(const QString&) {
    return QString();
}

QString SevenZipLibraryNotBuilt(const QString&) {
    return QString();
}

TFileSizeLimit::TFileSizeLimit(long long bytes) {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    m_saved = static_cast<long long>(limit.rlim_cur);
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    // Writes beyond the limit fail instead of raising SIGXFSZ.
    m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    m_active = true;
}

TFileSizeLimit::~TFileSizeLimit() {
    if (!m_active)
        return;
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(m_saved);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_savedHandler);
}

QString TFileSizeLimit::Unsupported() {
    return QString();
}

} // namespace testsupport
