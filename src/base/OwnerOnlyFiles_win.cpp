#include "base/OwnerOnlyFiles.h"

#include <QDir>
#include <QFile>

// The user's profile keeps its files to the user; nothing to take away.
namespace platform {

void KeepToOwner(QFileDevice&) {}

void KeepToOwner(const QString&) {}

bool PrepareOwnerOnlyFile(const QString& path) {
    QFile file(path);
    return file.exists() || file.open(QIODevice::WriteOnly);
}

bool MakeOwnerOnlyPath(const QString& folder) {
    return QDir().mkpath(folder);
}

} // namespace platform
