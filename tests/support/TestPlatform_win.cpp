#include "TestPlatform.h"

#include <QFileInfo>

namespace testsupport {

bool RunningAsRoot() {
    return false;
}

bool DropRootToNobody() {
    return true;
}

std::unique_ptr<QSettings> OpenStoredAppSettings(const QString& programName) {
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\Zantrel\\") +
                                           programName,
                                       QSettings::NativeFormat);
}

QString StoredAppSettingsRootPath(const QString& programName) {
    return QStringLiteral("Software\\Zantrel\\") + programName + QStringLiteral("\\");
}

void LetOthersReadNewFiles() {}

QString OpenFilesCannotBeDeleted() {
    return QStringLiteral("Windows does not delete a file a program holds open");
}

bool EndedByCrash(const QProcess& child) {
    return child.exitStatus() == QProcess::CrashExit || child.exitCode() == 3;
}

QString MakeFifo(const QString&) {
    return QStringLiteral("Windows has no named pipes in its file system");
}

QString SevenZipLibraryNotBuilt(const QString& libraryPath) {
    if (QFileInfo::exists(libraryPath))
        return QString();
    return QStringLiteral("7-Zip's library ") + libraryPath +
           QStringLiteral(" is not built for Windows here");
}

TFileSizeLimit::TFileSizeLimit(long long) {}

TFileSizeLimit::~TFileSizeLimit() = default;

QString TFileSizeLimit::Unsupported() {
    return QStringLiteral("Windows has no limit on the size of the files a process writes");
}

} // namespace testsupport
