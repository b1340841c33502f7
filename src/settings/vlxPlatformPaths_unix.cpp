#include "settings/vlxPlatformPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

QString ProgramFilePath() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    // Before the application object exists (or in a tool without one).
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString ProgramName(const QString& programFilePath) {
    return QFileInfo(programFilePath).fileName();
}

QString RedirectionFileName(const QString& programFilePath) {
    return QFileInfo(programFilePath).fileName() + QStringLiteral(".red");
}

QChar PathDelimiter() {
    return u'/';
}

bool EndsWithDelimiter(const QString& path) {
    return path.endsWith(u'/');
}

namespace {

QString Clean(const QString& path) {
    return path.isEmpty() ? QString() : QDir::cleanPath(path);
}

} // namespace

// Unix has no roaming profile: the user's data folder (~/.local/share)
// serves both the roaming and the local application data.
QString AppDataFolder() {
    return Clean(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
}

QString LocalAppDataFolder() {
    return AppDataFolder();
}

// The first system-wide data folder (XDG_DATA_DIRS, normally
// /usr/local/share), which is what the other users see too.
QString CommonAppDataFolder() {
    const QString own = AppDataFolder();
    const QStringList all = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString& dir : all) {
        if (Clean(dir) != own)
            return Clean(dir);
    }
    return QString();
}

// ~/.config/Zantrel/<program>.ini: the file is the program's root key, its
// sections are the subkeys ("OrvaneConnection", "QBGLExportOptions", ...).
TztSettingsHive AppSettingsHive(const QString& programName) {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return TztSettingsHive::File(config + QStringLiteral("/Zantrel/") + programName +
                                 QStringLiteral(".ini"));
}

QString AppSettingsRootPath(const QString&) {
    return QString();
}

} // namespace platform
