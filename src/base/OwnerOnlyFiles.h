// The files the program writes hold payroll data, passwords and logs, so
// they are kept to the user who runs it: on Unix files get mode 0600 and the
// folders the program creates 0700, keeping a stricter mode the user set. On
// Windows they live in the user's profile, whose access rules already do
// that: there these only create what is asked for.
#pragma once

#include <QString>

class QFileDevice;

namespace platform {

// Takes group and others' access from an open file (for a QSaveFile, the
// file that replaces the target on commit).
void KeepToOwner(QFileDevice& file);
// The same for a file by path, when it exists.
void KeepToOwner(const QString& path);
// Creates the file empty and the owner's only unless it exists, else takes
// the others' access away: for files a library creates with modes of its own.
// False when it cannot be created.
bool PrepareOwnerOnlyFile(const QString& path);
// QDir::mkpath; the folders it creates are the owner's only.
bool MakeOwnerOnlyPath(const QString& folder);

} // namespace platform
