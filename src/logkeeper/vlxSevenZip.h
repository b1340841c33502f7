// Writing a 7z archive through the 7-Zip library loaded at run time (the
// file of the "SevenZipDll" alias): level-5 compression, a password that
// also hides the entry names, entries from disk and from memory.
#pragma once

#include "base/ztExceptions.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <vector>

class QFile;
class QIODevice;

class ESevenZipError : public EztException {
public:
    using EztException::EztException;
};

// FILE_ATTRIBUTE_ARCHIVE: what a freshly written file carries on Windows.
constexpr quint32 ArchiveFileAttribute = 0x20;

class TSevenZipArchive {
public:
    // Loads the library and checks that it writes 7z archives with the
    // interface layout declared here. Throws ESevenZipError:
    // "Error loading library %s", "%s is not a 7z library",
    // "%s is not a Format library", or the refusal of an older layout.
    explicit TSevenZipArchive(const QString& libraryPath);
    ~TSevenZipArchive();
    TSevenZipArchive(const TSevenZipArchive&) = delete;
    TSevenZipArchive& operator=(const TSevenZipArchive&) = delete;

    // The library's version as (major << 16) | minor; 0 when it does not say.
    quint32 LibraryVersion() const;

    void SetCompressionLevel(int level) { m_level = level; }
    // Empty: no encryption. Otherwise the data and the names are encrypted.
    void SetPassword(const QString& password) { m_password = password; }

    // Opens the file now (a missing file fails here, with a clear message);
    // the archive gets the bytes it holds at this moment.
    void AddFile(const QString& path, const QString& nameInArchive);
    void AddData(const QByteArray& data, const QString& nameInArchive, const QDateTime& time,
                 quint32 attributes = ArchiveFileAttribute);

    // Writes under a temporary name in the target folder and renames it over
    // fileName when complete: a failure leaves no archive, and an existing
    // archive of that name is replaced only by a whole one.
    void WriteTo(const QString& fileName);
    // Writes to a seekable device; throws ESevenZipError on any failure.
    void WriteToDevice(QIODevice& device);

    struct TItem {
        QString Name;
        QByteArray Data;
        std::shared_ptr<QFile> File; // set for entries from disk
        quint64 Size = 0;
        quint32 Attributes = ArchiveFileAttribute;
        QDateTime Created;
        QDateTime Modified;
    };

private:
    struct TLibrary;
    std::unique_ptr<TLibrary> m_library;
    QString m_libraryPath;
    int m_level = 5;
    QString m_password;
    std::vector<TItem> m_items;
};
