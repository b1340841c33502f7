// Where the program lives and where the system keeps user data: the one
// place that differs between Windows and Unix (vlxPlatformPaths_win.cpp,
// vlxPlatformPaths_unix.cpp).
#pragma once

#include "settings/ztSettings.h"

#include <QString>

namespace platform {

// Full path of the running program file.
QString ProgramFilePath();
// The program's name: its file name without an extension (Unix programs
// have none, so the whole file name).
QString ProgramName(const QString& programFilePath);
// File name of the redirection file of a program file: "orvq.exe" ->
// "orvq.red" on Windows, "orvq" -> "orvq.red" on Unix.
QString RedirectionFileName(const QString& programFilePath);
// "\" on Windows, "/" on Unix; the separator GetDirectory ends with.
QChar PathDelimiter();
// Whether a folder text already ends with a separator of this platform.
bool EndsWithDelimiter(const QString& path);

// The user's roaming and local application-data folders and the folder
// common to all users; empty text when the system cannot tell.
QString AppDataFolder();
QString LocalAppDataFolder();
QString CommonAppDataFolder();

// Where the program's settings tree lives: the registry hive on Windows,
// one INI file in the user's configuration folder on Unix.
TztSettingsHive AppSettingsHive(const QString& programName);
// The program's root path inside the hive.
QString AppSettingsRootPath(const QString& programName);

} // namespace platform
