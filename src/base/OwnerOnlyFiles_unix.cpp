#include "base/OwnerOnlyFiles.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Only the owner's bits of what is there: a stricter mode stays.
mode_t OwnerOnly(mode_t mode, bool folder) {
    return mode & (folder ? S_IRWXU : (S_IRUSR | S_IWUSR));
}

} // namespace

void KeepToOwner(QFileDevice& file) {
    struct stat open {};
    const int fd = file.handle();
    if (fd < 0 || fstat(fd, &open) != 0)
        return;
    mode_t mode = open.st_mode;
    // A QSaveFile writes a new file that replaces the named one: the named
    // one's stricter mode is the one to keep.
    struct stat named {};
    if (stat(QFile::encodeName(file.fileName()).constData(), &named) == 0 &&
        named.st_ino != open.st_ino)
        mode = named.st_mode;
    if (OwnerOnly(mode, false) != (open.st_mode & 07777))
        fchmod(fd, OwnerOnly(mode, false));
}

void KeepToOwner(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (stat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
        (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        chmod(name.constData(), OwnerOnly(st.st_mode, false));
}

bool PrepareOwnerOnlyFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd =
        open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0) {
        close(fd);
        return true;
    }
    if (errno != EEXIST)
        return false;
    KeepToOwner(path);
    return true;
}

bool MakeOwnerOnlyPath(const QString& folder) {
    // The missing folders, outermost first, so each is closed as it is made.
    QStringList missing;
    for (QFileInfo info(QDir::cleanPath(QDir(folder).absolutePath())); !info.exists();
         info = QFileInfo(info.absolutePath())) {
        missing.prepend(info.absoluteFilePath());
        if (info.isRoot())
            break;
    }
    for (const QString& path : missing) {
        if (mkdir(QFile::encodeName(path).constData(), S_IRWXU) != 0 && !QFileInfo(path).isDir())
            return false;
    }
    return QFileInfo(folder).isDir();
}

} // namespace platform
