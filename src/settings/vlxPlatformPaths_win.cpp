#include "settings/vlxPlatformPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <iterator>

// windows.h first: the SDK headers after it use its types without including it.
#include <windows.h>

#include <shlobj.h>

namespace platform {

QString ProgramFilePath() {
    if (QCoreApplication::instance())
        return QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, DWORD(std::size(buffer)));
    if (n == 0 || n >= std::size(buffer))
        return QString();
    return QString::fromWCharArray(buffer, int(n));
}

QString ProgramName(const QString& programFilePath) {
    return QFileInfo(programFilePath).completeBaseName();
}

QString RedirectionFileName(const QString& programFilePath) {
    return QFileInfo(programFilePath).completeBaseName() + QStringLiteral(".red");
}

QChar PathDelimiter() {
    return u'\\';
}

bool EndsWithDelimiter(const QString& path) {
    return path.endsWith(u'\\') || path.endsWith(u'/');
}

namespace {

QString ShellFolder(int csidl) {
    wchar_t buffer[MAX_PATH];
    if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer) != S_OK)
        return QString();
    QString path = QString::fromWCharArray(buffer);
    while (path.endsWith(u'\\'))
        path.chop(1);
    return path;
}

} // namespace

QString AppDataFolder() {
    return ShellFolder(CSIDL_APPDATA);
}

QString LocalAppDataFolder() {
    return ShellFolder(CSIDL_LOCAL_APPDATA);
}

QString CommonAppDataFolder() {
    return ShellFolder(CSIDL_COMMON_APPDATA);
}

// The registry of the current user; the program's root key lies below it.
TztSettingsHive AppSettingsHive(const QString&) {
    return {QStringLiteral("HKEY_CURRENT_USER"), QSettings::NativeFormat};
}

QString AppSettingsRootPath(const QString& programName) {
    return QStringLiteral("Software\\Zantrel\\") + programName;
}

} // namespace platform
