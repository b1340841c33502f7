// Opening archives with the 7z program, to check what the library wrote.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace sevenziptool {

// The library named by the redirection file shipped for this platform
// ("SevenZipDll").
QString LibraryPath();
// Empty when the library and the 7z program are there; otherwise what to
// install (the tests fail with it rather than skip).
QString MissingTools();

struct TRun {
    int ExitCode = -1;
    QByteArray Output;
};
// Runs 7z with stdin closed, so a password prompt fails instead of waiting.
TRun Run(const QStringList& arguments);

struct TEntry {
    QString Path;
    QString Size;
    QString Attributes;
    QString Modified;
    QString Created;
    QString Encrypted;
};
// "7z l -slt": the entries, or an empty list when 7z fails (ok = false).
QList<TEntry> List(const QString& archive, const QString& password, bool& ok);
// Extracts every entry; name -> bytes. ok = false when 7z fails.
QMap<QString, QByteArray> Extract(const QString& archive, const QString& password, bool& ok);

} // namespace sevenziptool
