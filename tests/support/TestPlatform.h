// What the tests need of the operating system beyond Qt: the user they run
// as, and a stand-in for a full disk. One implementation a platform
// (TestPlatform_unix.cpp, TestPlatform_win.cpp).
#pragma once

#include <QProcess>
#include <QSettings>
#include <QString>

#include <memory>

namespace testsupport {

// Whether the tests run as root (PostgreSQL and the claims of other users'
// processes need an unprivileged user then); never on Windows.
bool RunningAsRoot();
// Makes this process the unprivileged user "nobody" when it runs as root;
// false when that fails.
bool DropRootToNobody();

// The program's own settings store for programName as the system keeps it,
// opened without the program's code: the registry key
// HKEY_CURRENT_USER\Software\Zantrel\<program> on Windows, the file
// $XDG_CONFIG_HOME/Zantrel/<program>.ini on Unix. rootPath is the store's
// root path inside it.
std::unique_ptr<QSettings> OpenStoredAppSettings(const QString& programName);
QString StoredAppSettingsRootPath(const QString& programName);

// Lets files this process makes be readable by others unless the program
// says otherwise (umask 022 on Unix; Windows files follow their folder).
void LetOthersReadNewFiles();

// Why a file this process holds open cannot be deleted meanwhile (Windows
// refuses it); empty where it can.
QString OpenFilesCannotBeDeleted();

// Whether a finished child ended by a crash (on Windows abort() ends a
// program with exit code 3 rather than a crash status).
bool EndedByCrash(const QProcess& child);

// Makes a named pipe (FIFO) at path; returns why it cannot where the
// platform has none in its file system, and an empty text once made.
QString MakeFifo(const QString& path);

// Why 7-Zip's library at libraryPath may be missing in this build (the
// Windows build does not make 7z.dll), for the packing tests to skip with;
// empty where it must be there and its absence is a failure.
QString SevenZipLibraryNotBuilt(const QString& libraryPath);

// While it lives, files this process writes cannot grow beyond `bytes`:
// writes beyond fail as on a full disk. Unsupported() says why not, where
// the platform has no such limit.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(long long bytes);
    ~TFileSizeLimit();
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

    static QString Unsupported();
    bool Active() const { return m_active; }

private:
    bool m_active = false;
    long long m_saved = 0;
    void (*m_savedHandler)(int) = nullptr;
};

} // namespace testsupport
