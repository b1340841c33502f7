#include "SevenZipTool.h"

#include "settings/vlxRedir.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace sevenziptool {

QString LibraryPath() {
    const TRedirectionFile shipped(QStringLiteral(ORVQ_RUNTIME_DIR "/orvq.red"));
    return shipped.GetFileName("SevenZipDll");
}

QString MissingTools() {
    QStringList missing;
    if (!QFileInfo::exists(LibraryPath()))
        missing << LibraryPath();
    if (Run({"i"}).ExitCode != 0)
        missing << "the 7z program";
    if (missing.isEmpty())
        return QString();
    return "Missing " + missing.join(" and ") +
           ": install Debian's p7zip-full (scripts/install-deps.sh)";
}

TRun Run(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start("7z", arguments);
    TRun run;
    if (!process.waitForStarted())
        return run;
    process.closeWriteChannel();
    process.waitForFinished(-1);
    run.Output = process.readAll();
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

QList<TEntry> List(const QString& archive, const QString& password, bool& ok) {
    const TRun run = Run({"l", "-slt", "-p" + password, archive});
    ok = run.ExitCode == 0;
    QList<TEntry> entries;
    if (!ok)
        return entries;
    // Entries follow the "----------" line, separated by empty lines.
    const QString text = QString::fromUtf8(run.Output);
    const qsizetype start = text.indexOf("\n----------\n");
    if (start < 0)
        return entries;
    TEntry entry;
    auto flush = [&] {
        if (!entry.Path.isEmpty())
            entries << entry;
        entry = TEntry();
    };
    for (const QString& line : text.mid(start + 12).split('\n')) {
        if (line.trimmed().isEmpty()) {
            flush();
            continue;
        }
        const qsizetype eq = line.indexOf(" = ");
        if (eq < 0)
            continue;
        const QString key = line.left(eq);
        const QString value = line.mid(eq + 3);
        if (key == "Path")
            entry.Path = value;
        else if (key == "Size")
            entry.Size = value;
        else if (key == "Attributes")
            entry.Attributes = value;
        else if (key == "Modified")
            entry.Modified = value;
        else if (key == "Created")
            entry.Created = value;
        else if (key == "Encrypted")
            entry.Encrypted = value;
    }
    flush();
    return entries;
}

QMap<QString, QByteArray> Extract(const QString& archive, const QString& password, bool& ok) {
    QMap<QString, QByteArray> files;
    QTemporaryDir target;
    const TRun run = Run({"x", "-y", "-p" + password, "-o" + target.path(), archive});
    ok = run.ExitCode == 0;
    if (!ok)
        return files;
    QDirIterator it(target.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.insert(QDir(target.path()).relativeFilePath(path), file.readAll());
    }
    return files;
}

} // namespace sevenziptool
