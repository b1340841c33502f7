#include "logging/vlxLogWriters.h"

#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "base/ztFormat.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QStringList>
#include <cstdlib>
#include <initializer_list>
#include <utility>

namespace {

const QString CrLf = QStringLiteral("\r\n");

QByteArray RecordBytes(const QString& text) {
    QByteArray bytes = text.toUtf8();
    bytes.append("\r\n", 2);
    return bytes;
}

// Fills the placeholders of a template in one pass over the template, so
// that a placeholder inside a substituted text (a message that happens to
// contain "%CONTEXT%") stays text.
QString FillTemplate(const QString& text,
                     std::initializer_list<std::pair<QLatin1String, QString>> values) {
    QString result;
    result.reserve(text.size() + 256);
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype next = text.indexOf(u'%', pos);
        if (next < 0)
            break;
        result += QStringView(text).mid(pos, next - pos);
        bool replaced = false;
        for (const auto& value : values) {
            if (QStringView(text).mid(next).startsWith(value.first)) {
                result += value.second;
                pos = next + value.first.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            result += u'%';
            pos = next + 1;
        }
    }
    result += QStringView(text).mid(pos);
    return result;
}

QString ReadTemplate(const QString& dir, const QString& name) {
    const QString path = QDir(dir).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EztException(Format("Cannot open file \"%s\". %s",
                                  {QDir::toNativeSeparators(path), file.errorString()}));
    return QString::fromUtf8(file.readAll());
}

QString KindClass(TLogMessageKind kind) {
    switch (kind) {
    case lmException:
    case lmError:
        return QStringLiteral("error");
    case lmWarning:
        return QStringLiteral("warning");
    default:
        return QStringLiteral("info");
    }
}

} // namespace

// ---- Outputs ---------------------------------------------------------------

TFileLogOutput::TFileLogOutput(const QString& fileName) : m_fileName(fileName) {
    Open();
}

TFileLogOutput::~TFileLogOutput() {
    CloseFile();
}

bool TFileLogOutput::Open() {
    if (m_file.isOpen())
        return true;
    if (m_fileName.isEmpty())
        return false;
    const QFileInfo info(m_fileName);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    m_file.setFileName(m_fileName);
    // Append: every run adds to the same file, nothing is ever truncated.
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void TFileLogOutput::WriteLine(const QString& text) {
    // A file deleted or moved away while open would swallow every later
    // record into a name nobody can read; start a new file at the path.
    if (m_file.isOpen() && !QFileInfo::exists(m_fileName))
        m_file.close();
    if (!Open())
        return;
    const QByteArray bytes = RecordBytes(text);
    const bool written = m_file.write(bytes) == bytes.size() && m_file.flush();
    // A failed write (full disk, vanished share) closes the file, so the next
    // record starts from a fresh open.
    if (!written)
        m_file.close();
}

void TFileLogOutput::CloseFile() {
    if (m_file.isOpen()) {
        m_file.flush();
        m_file.close();
    }
}

TStreamLogOutput::TStreamLogOutput(QIODevice* stream) : m_stream(stream) {
    OrvAssert(m_stream != nullptr);
}

void TStreamLogOutput::WriteLine(const QString& text) {
    m_stream->write(RecordBytes(text));
}

TStringsLogOutput::TStringsLogOutput(QStringList* list) : m_list(list) {
    OrvAssert(m_list != nullptr);
}

void TStringsLogOutput::WriteLine(const QString& text) {
    m_list->append(text);
}

// ---- Writers ---------------------------------------------------------------

TPlainTextLogWriterBase::TPlainTextLogWriterBase(ILogOutputPtr output)
    : m_output(std::move(output)) {
    OrvAssert(m_output != nullptr);
}

TPlainTextDevLogWriter::TPlainTextDevLogWriter(ILogOutputPtr output, TLogClock clock)
    : TPlainTextLogWriterBase(std::move(output)), m_clock(std::move(clock)) {
    // UTC: an elapsed time across a daylight-saving change stays true.
    if (!m_clock)
        m_clock = [] { return QDateTime::currentDateTimeUtc(); };
    m_lastRecord = m_clock();
}

void TPlainTextDevLogWriter::OnEntry(const TLogState& state) {
    Write(state, QStringLiteral("enter ") + state.Innermost().Caption);
}

void TPlainTextDevLogWriter::OnExit(const TLogState& state) {
    Write(state, QStringLiteral("leave ") + state.Innermost().Caption);
}

void TPlainTextDevLogWriter::OnContextItem(const TLogState& state) {
    Write(state, state.Innermost().Context.back().Text());
}

void TPlainTextDevLogWriter::OnMessage(const TLogState& state) {
    Write(state, state.Innermost().Messages.back().Text());
}

void TPlainTextDevLogWriter::Write(const TLogState& state, const QString& text) {
    const qint64 elapsedMs = std::llabs(m_lastRecord.msecsTo(m_clock()));
    // "%9.3f sec | "
    const QString prefix =
        QString::number(static_cast<double>(elapsedMs) / 1000.0, 'f', 3).rightJustified(9, u' ') +
        QStringLiteral(" sec | ");
    const QString indent((state.Depth() - 1) * 4, u' ');
    // Continuation lines start under the event text, and every line ends
    // with CR LF whatever the text's own line breaks (qbXML has bare LFs).
    QString body = NormaliseLineBreaks(text);
    if (body.contains(u'\n'))
        body.replace(u'\n', u'\n' + QString(prefix.size() + indent.size(), u' '));
    Output()->WriteLine(prefix + indent + body);
    m_lastRecord = m_clock();
}

QString UserLogRecord(const TLogState& state) {
    const TLogMessage& message = state.Innermost().Messages.back();
    QString record =
        LogMessageKindName(message.Kind) + QStringLiteral(": ") + message.Message + CrLf;
    if (!message.Details.isEmpty())
        record += message.Details + CrLf;
    QString context;
    for (const TLogBlock& block : state.Blocks) {
        if (block.Context.empty())
            continue;
        context += block.Caption + CrLf;
        for (const TLogBlockContextItem& item : block.Context)
            context += item.Tag + QStringLiteral(": ") + FormatContextValue(item.Value) + CrLf;
    }
    if (!context.isEmpty())
        record += QStringLiteral("Context:") + CrLf + context;
    return record;
}

void TPlainTextUserLogWriter::OnMessage(const TLogState& state) {
    if (state.Innermost().Messages.back().Kind == lmDebug)
        return;
    Output()->WriteLine(UserLogRecord(state));
}

THtmlUserLogWriter::THtmlUserLogWriter(ILogOutputPtr output, const QString& logName,
                                       const QString& templateDir)
    : TPlainTextLogWriterBase(std::move(output)) {
    m_entry = ReadTemplate(templateDir, QStringLiteral("entry.html"));
    m_details = ReadTemplate(templateDir, QStringLiteral("details.html"));
    m_context = ReadTemplate(templateDir, QStringLiteral("context.html"));
    m_contextBlock = ReadTemplate(templateDir, QStringLiteral("context_block.html"));
    m_contextItem = ReadTemplate(templateDir, QStringLiteral("context_item.html"));
    m_footer = ReadTemplate(templateDir, QStringLiteral("footer.html"));
    const QString header = ReadTemplate(templateDir, QStringLiteral("header.html"));
    Output()->WriteLine(
        FillTemplate(header, {{QLatin1String("%LOGNAME%"), EscapeHtmlText(logName)}}));
}

THtmlUserLogWriter::~THtmlUserLogWriter() {
    try {
        Output()->WriteLine(m_footer);
    } catch (...) {
        // Out of memory in the output; a destructor must not throw.
    }
}

void THtmlUserLogWriter::OnMessage(const TLogState& state) {
    const TLogMessage& message = state.Innermost().Messages.back();
    if (message.Kind == lmDebug)
        return;

    QString blocks;
    for (const TLogBlock& block : state.Blocks) {
        if (block.Context.empty())
            continue;
        QString items;
        for (const TLogBlockContextItem& item : block.Context) {
            items += FillTemplate(m_contextItem,
                                  {{QLatin1String("%CONTEXT_TAG%"), EscapeHtmlText(item.Tag)},
                                   {QLatin1String("%CONTEXT_VALUE%"),
                                    EscapeHtmlText(FormatContextValue(item.Value))}});
        }
        blocks += FillTemplate(m_contextBlock,
                               {{QLatin1String("%CONTEXT_BLOCK%"), EscapeHtmlText(block.Caption)},
                                {QLatin1String("%CONTEXT_ITEMS%"), items}});
    }

    const QString details =
        message.Details.isEmpty()
            ? QString()
            : FillTemplate(m_details,
                           {{QLatin1String("%DETAILS%"), EscapeHtmlText(message.Details)}});
    const QString context = blocks.isEmpty()
                                ? QString()
                                : FillTemplate(m_context, {{QLatin1String("%CONTEXT%"), blocks}});
    Output()->WriteLine(
        FillTemplate(m_entry, {{QLatin1String("%KIND%"), KindClass(message.Kind)},
                               {QLatin1String("%MESSAGE%"), EscapeHtmlText(message.Message)},
                               {QLatin1String("%DETAILS%"), details},
                               {QLatin1String("%CONTEXT%"), context}}));
}
