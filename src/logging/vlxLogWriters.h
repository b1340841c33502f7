// Log writers turn logger events into text records; log outputs store them.
#pragma once

#include "logging/vlxLoggerImpl.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <memory>

class QIODevice;

// A record as UTF-8 bytes ending with CR LF, in a buffer kept from record
// to record.
class TUtf8Record {
public:
    QByteArrayView Encode(QStringView text);

private:
    QByteArray m_bytes;
};

// Stores records. A record may hold line breaks of its own; a text output
// ends each record with CR LF.
class ILogOutput {
public:
    virtual ~ILogOutput() = default;
    virtual void WriteLine(const QString& text) = 0;
};
using ILogOutputPtr = std::shared_ptr<ILogOutput>;

class IFileLogOutput : public ILogOutput {
public:
    virtual QString FileName() const = 0;
    // Flushes and closes the file; the next WriteLine reopens it for appending.
    virtual void CloseFile() = 0;
};
using IFileLogOutputPtr = std::shared_ptr<IFileLogOutput>;

// Appends UTF-8 records to a file, creating missing folders. Never fails:
// a record that cannot be written is lost, and the next one tries again.
// Each record is flushed to the system, so a crash loses nothing written.
class TFileLogOutput : public IFileLogOutput {
public:
    // Tries to open the file at once.
    explicit TFileLogOutput(const QString& fileName);
    ~TFileLogOutput() override;
    TFileLogOutput(const TFileLogOutput&) = delete;
    TFileLogOutput& operator=(const TFileLogOutput&) = delete;

    void WriteLine(const QString& text) override;
    QString FileName() const override { return m_fileName; }
    void CloseFile() override;

private:
    bool Open();

    QString m_fileName;
    QFile m_file;
    TUtf8Record m_record;
};

// Writes UTF-8 records at the device's current position; the device (a
// QBuffer, say) is not owned and must outlive the output.
class TStreamLogOutput : public ILogOutput {
public:
    explicit TStreamLogOutput(QIODevice* stream);
    void WriteLine(const QString& text) override;

private:
    QIODevice* m_stream;
    TUtf8Record m_record;
};

// Adds each record as one item of a list that it does not own.
class TStringsLogOutput : public ILogOutput {
public:
    explicit TStringsLogOutput(QStringList* list);
    void WriteLine(const QString& text) override;

private:
    QStringList* m_list;
};

class TPlainTextLogWriterBase : public TLoggerEventSink {
public:
    explicit TPlainTextLogWriterBase(ILogOutputPtr output);

protected:
    const ILogOutputPtr& Output() const { return m_output; }

private:
    ILogOutputPtr m_output;
};

// The time source of the developer log; replaced in tests.
using TLogClock = std::function<QDateTime()>;

// Every event, prefixed by the seconds since the previous record and indented
// by block depth: "    0.016 sec |     enter Reading file".
class TPlainTextDevLogWriter : public TPlainTextLogWriterBase {
public:
    explicit TPlainTextDevLogWriter(ILogOutputPtr output, TLogClock clock = {});

    void OnEntry(const TLogState& state) override;
    void OnExit(const TLogState& state) override;
    void OnContextItem(const TLogState& state) override;
    void OnMessage(const TLogState& state) override;

private:
    // The record of the event whose text is the pieces, one after the other.
    void Write(const TLogState& state, std::initializer_list<QStringView> pieces);

    TLogClock m_clock;
    QDateTime m_lastRecord;
    QString m_record; // kept from record to record
};

// Messages for the user with the context of their blocks; debug messages
// are left out.
class TPlainTextUserLogWriter : public TPlainTextLogWriterBase {
public:
    using TPlainTextLogWriterBase::TPlainTextLogWriterBase;
    void OnMessage(const TLogState& state) override;
    bool WantsMessage(TLogMessageKind kind) const override { return kind != lmDebug; }
};

// The user log as HTML from the templates of a folder. Writes the header
// record at creation and the footer record when released.
class THtmlUserLogWriter : public TPlainTextLogWriterBase {
public:
    // Throws EztException when a template file cannot be read.
    THtmlUserLogWriter(ILogOutputPtr output, const QString& logName, const QString& templateDir);
    ~THtmlUserLogWriter() override;
    THtmlUserLogWriter(const THtmlUserLogWriter&) = delete;
    THtmlUserLogWriter& operator=(const THtmlUserLogWriter&) = delete;

    void OnMessage(const TLogState& state) override;
    bool WantsMessage(TLogMessageKind kind) const override { return kind != lmDebug; }

private:
    QString m_entry;
    QString m_details;
    QString m_context;
    QString m_contextBlock;
    QString m_contextItem;
    QString m_footer;
};

// The plain-text user record of the innermost block's last message.
QString UserLogRecord(const TLogState& state);
