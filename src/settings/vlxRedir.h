// Path redirection: every folder and file outside the settings store is
// named by an alias in the redirection file beside the program
// ("<program>.red"), an INI file with the sections [Directories] and
// [Filenames]. Values may refer to built-in folders and to other directory
// aliases as %Name%; "%%" is a literal percent sign.
#pragma once

#include "base/ztExceptions.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>
#include <memory>

class ERedirectionError : public EztException {
public:
    using EztException::EztException;
};
class ERedirectionFileNotFound : public ERedirectionError {
public:
    using ERedirectionError::ERedirectionError;
};
class ERedirectionNotFound : public ERedirectionError {
public:
    using ERedirectionError::ERedirectionError;
};
class ERedirectionInvalid : public ERedirectionError {
public:
    using ERedirectionError::ERedirectionError;
};
class ERedirectionDuplicateDirectory : public ERedirectionInvalid {
public:
    using ERedirectionInvalid::ERedirectionInvalid;
};
class ERedirectionDuplicateFileName : public ERedirectionInvalid {
public:
    using ERedirectionInvalid::ERedirectionInvalid;
};
class ERedirectionSyntaxError : public ERedirectionInvalid {
public:
    using ERedirectionInvalid::ERedirectionInvalid;
};

class IRedirection {
public:
    virtual ~IRedirection() = default;
    // The folder of a directory alias, ending with the path delimiter unless
    // empty.
    virtual QString GetDirectory(const QString& alias) const = 0;
    virtual QString GetFileName(const QString& alias) const = 0;
};
using IRedirectionPtr = std::shared_ptr<const IRedirection>;

// The built-in names a value can refer to, each a folder without a trailing
// delimiter (empty when the system cannot tell). "ThisDir" comes from the
// redirection file itself.
struct TRedirectionPlaces {
    QString WorkDir;          // current folder when the program started
    QString AppDir;           // folder of the program file
    QString TempDir;          // the system's temporary folder
    QString AppDataDir;       // the user's application data
    QString LocalAppDataDir;  // the user's machine-local application data
    QString CommonAppDataDir; // application data common to all users
};
// The places of this program on this machine.
TRedirectionPlaces SystemRedirectionPlaces();
// Current folder captured when the program was loaded, before any window.
QString StartupWorkDir();

using TRedirectionEntries = QList<QPair<QString, QString>>;

class TGenericRedirection : public IRedirection {
public:
    // Throws ERedirectionDuplicateDirectory / ERedirectionDuplicateFileName
    // when an alias is defined twice with exactly the same name.
    TGenericRedirection(TRedirectionEntries directories, TRedirectionEntries fileNames,
                        TRedirectionPlaces places, QString thisDir);

    QString GetDirectory(const QString& alias) const override;
    QString GetFileName(const QString& alias) const override;

    const TRedirectionEntries& Directories() const { return m_directories; }
    const TRedirectionEntries& FileNames() const { return m_fileNames; }

private:
    QString Expand(const QString& value, const QString& alias) const;
    QString BuiltIn(const QString& lowerName, bool& found) const;
    const QPair<QString, QString>* FindDirectory(const QString& alias) const;

    TRedirectionEntries m_directories;
    TRedirectionEntries m_fileNames;
    // Lower-cased alias -> index of its first definition.
    QHash<QString, qsizetype> m_directoryIndex;
    QHash<QString, qsizetype> m_fileIndex;
    TRedirectionPlaces m_places;
    QString m_thisDir;
};

class TRedirectionFile : public TGenericRedirection {
public:
    // Throws ERedirectionFileNotFound "Cannot find redirection file <%s>".
    explicit TRedirectionFile(const QString& path,
                              const TRedirectionPlaces& places = SystemRedirectionPlaces());
    const QString& FilePath() const { return m_path; }

private:
    TRedirectionFile(const QString& path, const TRedirectionPlaces& places,
                     std::pair<TRedirectionEntries, TRedirectionEntries> sections);
    QString m_path;
};

// Reads the two sections of a redirection file's bytes, in file order.
std::pair<TRedirectionEntries, TRedirectionEntries> ParseRedirectionText(const QByteArray& bytes);

// The redirection file of a program: "<workDir>/<name>.red" when it exists,
// else the one beside the program. Throws ERedirectionFileNotFound.
QString LocateRedirectionFile(const QString& workDir, const QString& programFilePath);

// Reads the redirection file anew on every call; callers take the path they
// need and drop the object.
using TRedirectionFactory = std::function<IRedirectionPtr()>;

// The redirection file of the program at programFilePath (located as
// LocateRedirectionFile does, from the start-up folder), read at each call.
// The factory throws ERedirectionFileNotFound.
TRedirectionFactory ProgramRedirection(const QString& programFilePath);
