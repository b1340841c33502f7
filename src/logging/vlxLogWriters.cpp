#include "logging/vlxLogWriters.h"

#include "base/OwnerOnlyFiles.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "base/ztFormat.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QStringConverter>
#include <QStringList>
#include <cstdlib>
#include <initializer_list>
#include <iterator>
#include <utility>

namespace {

const QString CrLf = QStringLiteral("\r\n");

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

QByteArrayView TUtf8Record::Encode(QStringView text) {
    QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    m_bytes.resize(utf8.requiredSpace(text.size()) + 2); // keeps the capacity
    char* end = utf8.appendToBuffer(m_bytes.data(), text);
    *end++ = '\r';
    *end++ = '\n';
    return QByteArrayView(m_bytes.constData(), end - m_bytes.constData());
}

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
    if (!platform::MakeOwnerOnlyPath(info.absolutePath()))
        return false;
    m_file.setFileName(m_fileName);
    // Append: every run adds to the same file, nothing is ever truncated.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    platform::KeepToOwner(m_file);
    return true;
}

void TFileLogOutput::WriteLine(const QString& text) {
    // A file deleted or moved away while open would swallow every later
    // record into a name nobody can read; start a new file at the path.
    if (m_file.isOpen() && !QFileInfo::exists(m_fileName))
        m_file.close();
    if (!Open())
        return;
    const QByteArrayView bytes = m_record.Encode(text);
    const bool written = m_file.write(bytes.data(), bytes.size()) == bytes.size() && m_file.flush();
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
    const QByteArrayView bytes = m_record.Encode(text);
    m_stream->write(bytes.data(), bytes.size());
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
    Write(state, {u"enter ", state.Innermost().Caption});
}

void TPlainTextDevLogWriter::OnExit(const TLogState& state) {
    Write(state, {u"leave ", state.Innermost().Caption});
}

void TPlainTextDevLogWriter::OnContextItem(const TLogState& state) {
    const TLogBlockContextItem& item = state.Innermost().Context.back();
    Write(state, {item.Tag, u" = ", item.Value});
}

void TPlainTextDevLogWriter::OnMessage(const TLogState& state) {
    const TLogMessage& message = state.Innermost().Messages.back();
    Write(state,
          {LogMessageKindName(message.Kind), u": ", message.Message, u"\r\n", message.Details});
}

namespace {

// "%9.3f sec | " of whole milliseconds (not negative).
void AppendElapsed(QString& record, qint64 ms) {
    char16_t digits[24];
    char16_t* const end = digits + std::size(digits);
    char16_t* first = end;
    for (int i = 0; i < 3; ++i, ms /= 10)
        *--first = char16_t(u'0' + ms % 10);
    *--first = u'.';
    do {
        *--first = char16_t(u'0' + ms % 10);
        ms /= 10;
    } while (ms > 0);
    if (end - first < 9)
        record.resize(record.size() + 9 - (end - first), u' ');
    record += QStringView(first, end);
    record += QLatin1String(" sec | ");
}

} // namespace

void TPlainTextDevLogWriter::Write(const TLogState& state,
                                   std::initializer_list<QStringView> pieces) {
    const qint64 elapsedMs = std::llabs(m_lastRecord.msecsTo(m_clock()));
    // Built in a buffer kept from record to record: a run writes a record
    // for every block and context item of every report line.
    m_record.resize(0);
    AppendElapsed(m_record, elapsedMs);
    m_record.resize(m_record.size() + (state.Depth() - 1) * 4, u' ');
    // Continuation lines start under the event text, and every line ends
    // with CR LF whatever the text's own line breaks (qbXML has bare LFs).
    const qsizetype continuation = m_record.size();
    bool afterCr = false; // a CR ended the piece before: an LF now belongs to it
    for (const QStringView piece : pieces) {
        const QChar* p = piece.begin();
        const QChar* const end = piece.end();
        if (afterCr && p < end && *p == u'\n')
            ++p;
        afterCr = false;
        if (FindLineBreak(QStringView(p, end)) < 0) {
            m_record.append(p, end - p);
            continue;
        }
        while (p < end) {
            const QChar* run = p;
            while (p < end && *p != u'\r' && *p != u'\n')
                ++p;
            m_record.append(run, p - run);
            if (p == end)
                break;
            if (*p == u'\r') {
                ++p;
                if (p == end)
                    afterCr = true;
                else if (*p == u'\n')
                    ++p;
            } else {
                ++p;
            }
            m_record += QLatin1String("\r\n");
            m_record.resize(m_record.size() + continuation, u' ');
        }
    }
    Output()->WriteLine(m_record);
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
