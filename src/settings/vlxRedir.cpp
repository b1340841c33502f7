#include "settings/vlxRedir.h"

#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"
#include "settings/vlxPlatformPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <vector>

namespace {

// Captured while the program loads, before any window can change it.
const QString g_startupWorkDir = QDir::toNativeSeparators(QDir::currentPath());

// A redirection file holds a few dozen lines; anything far beyond is junk
// and is refused rather than read into memory.
constexpr qint64 MaxFileSize = 4 * 1024 * 1024;
// Far beyond any real path, small enough to stop values that double at
// every level of reference from eating the memory or the time.
constexpr qsizetype MaxExpandedLength = 32 * 1024;
constexpr int MaxReferences = 100000;

QString EntryLine(const QPair<QString, QString>& entry) {
    return entry.first + u'=' + entry.second;
}

QHash<QString, qsizetype> FirstIndexByLowerName(const TRedirectionEntries& entries) {
    QHash<QString, qsizetype> index;
    index.reserve(entries.size());
    // Backwards, so the first definition of a name wins whatever its case.
    for (qsizetype i = entries.size() - 1; i >= 0; --i)
        index[entries[i].first.toLower()] = i;
    return index;
}

template <class TDuplicate> void CheckDuplicates(const TRedirectionEntries& entries) {
    QHash<QString, qsizetype> seen;
    seen.reserve(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const auto it = seen.constFind(entries[i].first);
        if (it != seen.constEnd())
            throw TDuplicate(Format(QStringLiteral("<%s> and <%s>"),
                                    {EntryLine(entries[*it]), EntryLine(entries[i])}));
        seen.insert(entries[i].first, i);
    }
}

enum class TScanState { Plain, Percent, Name };

struct TExpandFrame {
    TExpandFrame(QString text, QString name) : Text(std::move(text)), Name(std::move(name)) {}

    QString Text;
    QString Name; // the alias this text belongs to, as written
    qsizetype Pos = 0;
    TScanState State = TScanState::Plain;
    QString Reference;
    QString Output;
};

void CheckLength(const QString& output, const QString& value) {
    if (output.size() > MaxExpandedLength)
        throw ERedirectionSyntaxError(
            Format(QStringLiteral("Redirection: expansion of <%s> exceeds %d characters"),
                   {value.left(200), static_cast<int>(MaxExpandedLength)}));
}

} // namespace

QString StartupWorkDir() {
    return g_startupWorkDir;
}

TRedirectionPlaces SystemRedirectionPlaces() {
    TRedirectionPlaces places;
    places.WorkDir = StartupWorkDir();
    const QString program = platform::ProgramFilePath();
    if (!program.isEmpty())
        places.AppDir = QDir::toNativeSeparators(QFileInfo(program).absolutePath());
    places.TempDir = QDir::toNativeSeparators(QDir::cleanPath(QDir::tempPath()));
    places.AppDataDir = platform::AppDataFolder();
    places.LocalAppDataDir = platform::LocalAppDataFolder();
    places.CommonAppDataDir = platform::CommonAppDataFolder();
    return places;
}

TGenericRedirection::TGenericRedirection(TRedirectionEntries directories,
                                         TRedirectionEntries fileNames, TRedirectionPlaces places,
                                         QString thisDir)
    : m_directories(std::move(directories)), m_fileNames(std::move(fileNames)),
      m_places(std::move(places)), m_thisDir(std::move(thisDir)) {
    CheckDuplicates<ERedirectionDuplicateDirectory>(m_directories);
    CheckDuplicates<ERedirectionDuplicateFileName>(m_fileNames);
    m_directoryIndex = FirstIndexByLowerName(m_directories);
    m_fileIndex = FirstIndexByLowerName(m_fileNames);
}

const QPair<QString, QString>* TGenericRedirection::FindDirectory(const QString& alias) const {
    const auto it = m_directoryIndex.constFind(alias.toLower());
    return it == m_directoryIndex.constEnd() ? nullptr : &m_directories[*it];
}

QString TGenericRedirection::GetDirectory(const QString& alias) const {
    const auto* entry = FindDirectory(alias);
    if (!entry)
        throw ERedirectionNotFound(
            Format(QStringLiteral("Cannot find redirection for directory alias <%s>"), {alias}));
    QString result = Expand(entry->second, alias).trimmed();
    if (!result.isEmpty() && !platform::EndsWithDelimiter(result))
        result += platform::PathDelimiter();
    return result;
}

QString TGenericRedirection::GetFileName(const QString& alias) const {
    const auto it = m_fileIndex.constFind(alias.toLower());
    if (it == m_fileIndex.constEnd())
        throw ERedirectionNotFound(
            Format(QStringLiteral("Cannot find redirection for file alias <%s>"), {alias}));
    return Expand(m_fileNames[*it].second, alias).trimmed();
}

QString TGenericRedirection::BuiltIn(const QString& lowerName, bool& found) const {
    found = true;
    if (lowerName == u"workdir")
        return m_places.WorkDir;
    if (lowerName == u"appdir")
        return m_places.AppDir;
    if (lowerName == u"tempdir")
        return m_places.TempDir;
    if (lowerName == u"appdatadir")
        return m_places.AppDataDir;
    if (lowerName == u"localappdatadir")
        return m_places.LocalAppDataDir;
    if (lowerName == u"commonappdatadir")
        return m_places.CommonAppDataDir;
    if (lowerName == u"thisdir")
        return m_thisDir;
    found = false;
    return QString();
}

// The three-state scanner of a value, with references expanded on an
// explicit stack: a reference chain thousands of aliases deep must not
// exhaust the call stack.
QString TGenericRedirection::Expand(const QString& value, const QString& alias) const {
    if (alias.contains(u'%'))
        throw ERedirectionSyntaxError(
            Format(QStringLiteral("Redirection: syntax error: %% in alias name: <%s>"), {alias}));
    std::vector<TExpandFrame> stack;
    QSet<QString> chain; // lower-cased names being expanded
    stack.emplace_back(value, alias);
    chain.insert(alias.toLower());
    int references = 0;
    for (;;) {
        TExpandFrame& frame = stack.back();
        if (frame.Pos == frame.Text.size()) {
            if (frame.State != TScanState::Plain)
                throw ERedirectionSyntaxError(Format(
                    QStringLiteral(
                        "Redirection: syntax error while parsing <%s>.\r\nStopped after <%s>"),
                    {frame.Text, frame.Output}));
            QString result = std::move(frame.Output);
            chain.remove(frame.Name.toLower());
            stack.pop_back();
            if (stack.empty())
                return result;
            stack.back().Output += result;
            CheckLength(stack.back().Output, value);
            continue;
        }
        const QChar c = frame.Text[frame.Pos++];
        switch (frame.State) {
        case TScanState::Plain:
            if (c == u'%')
                frame.State = TScanState::Percent;
            else
                frame.Output += c;
            break;
        case TScanState::Percent:
            if (c == u'%') {
                frame.Output += u'%';
                frame.State = TScanState::Plain;
            } else {
                frame.Reference = c;
                frame.State = TScanState::Name;
            }
            break;
        case TScanState::Name:
            if (c != u'%') {
                frame.Reference += c;
                break;
            }
            frame.State = TScanState::Plain;
            if (++references > MaxReferences)
                throw ERedirectionSyntaxError(
                    Format(QStringLiteral("Redirection: too many references while expanding <%s>"),
                           {alias}));
            const QString name = frame.Reference;
            const QString lower = name.toLower();
            if (chain.contains(lower)) {
                QStringList names;
                for (const auto& f : stack)
                    names << f.Name;
                throw ERedirectionSyntaxError(
                    Format(QStringLiteral("Redirection: circular reference encountered: <%s,%s>"),
                           {names.join(u','), name}));
            }
            bool builtIn = false;
            const QString folder = BuiltIn(lower, builtIn);
            if (builtIn) {
                frame.Output += folder;
                CheckLength(frame.Output, value);
                break;
            }
            const auto* entry = FindDirectory(name);
            if (!entry)
                throw ERedirectionSyntaxError(Format(
                    QStringLiteral("Redirection: syntax error: Cannot expand <%%%s%%>"), {name}));
            chain.insert(lower);
            stack.emplace_back(entry->second.trimmed(), name); // invalidates frame
            break;
        }
    }
}

std::pair<TRedirectionEntries, TRedirectionEntries> ParseRedirectionText(const QByteArray& bytes) {
    TRedirectionEntries directories;
    TRedirectionEntries fileNames;
    TRedirectionEntries* section = nullptr;
    const QString text = DecodeReportBytes(bytes);
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            const auto close = line.indexOf(u']');
            const QStringView name = close > 0 ? line.mid(1, close - 1).trimmed() : QStringView();
            if (name.compare(u"Directories", Qt::CaseInsensitive) == 0)
                section = &directories;
            else if (name.compare(u"Filenames", Qt::CaseInsensitive) == 0)
                section = &fileNames;
            else
                section = nullptr;
            continue;
        }
        const auto eq = line.indexOf(u'=');
        if (!section || eq < 0)
            continue;
        const QString alias = line.left(eq).trimmed().toString();
        if (alias.isEmpty())
            continue;
        section->append({alias, line.mid(eq + 1).trimmed().toString()});
    }
    return {std::move(directories), std::move(fileNames)};
}

namespace {

std::pair<TRedirectionEntries, TRedirectionEntries> ReadRedirectionFile(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        throw ERedirectionFileNotFound(
            Format(QStringLiteral("Cannot find redirection file <%s>"), {path}));
    if (file.size() > MaxFileSize)
        throw ERedirectionInvalid(
            Format(QStringLiteral("Redirection file <%s> is too large"), {path}));
    return ParseRedirectionText(file.read(MaxFileSize + 1));
}

} // namespace

TRedirectionFile::TRedirectionFile(const QString& path, const TRedirectionPlaces& places)
    : TRedirectionFile(path, places, ReadRedirectionFile(path)) {}

TRedirectionFile::TRedirectionFile(const QString& path, const TRedirectionPlaces& places,
                                   std::pair<TRedirectionEntries, TRedirectionEntries> sections)
    : TGenericRedirection(std::move(sections.first), std::move(sections.second), places,
                          QDir::toNativeSeparators(QFileInfo(path).absolutePath())),
      m_path(path) {}

QString LocateRedirectionFile(const QString& workDir, const QString& programFilePath) {
    const QString name = platform::RedirectionFileName(programFilePath);
    const QString candidate1 = QDir::toNativeSeparators(workDir) + platform::PathDelimiter() + name;
    if (QFileInfo(candidate1).isFile())
        return candidate1;
    const QString candidate2 = QDir::toNativeSeparators(QFileInfo(programFilePath).absolutePath()) +
                               platform::PathDelimiter() + name;
    if (QFileInfo(candidate2).isFile())
        return candidate2;
    const QString program = QFileInfo(programFilePath).fileName();
    if (candidate1 == candidate2)
        throw ERedirectionFileNotFound(Format(
            QStringLiteral("Cannot find redirection file for %s (<%s>)"), {program, candidate1}));
    throw ERedirectionFileNotFound(
        Format(QStringLiteral("Cannot find redirection file for %s (<%s> nor <%s>)"),
               {program, candidate1, candidate2}));
}

TRedirectionFactory ProgramRedirection(const QString& programFilePath) {
    return [programFilePath]() -> IRedirectionPtr {
        return std::make_shared<TRedirectionFile>(
            LocateRedirectionFile(StartupWorkDir(), programFilePath));
    };
}
