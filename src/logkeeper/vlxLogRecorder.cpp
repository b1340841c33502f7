#include "logkeeper/vlxLogRecorder.h"

#include "base/ztExceptions.h"
#include "logging/vlxLogWriters.h"
#include "settings/vlxRedir.h"

TLogRecorder::TLogRecorder(IStatefulLoggerPtr logger, QString applicationTitle,
                           std::function<QString()> templateDir)
    : m_logger(std::move(logger)), m_applicationTitle(std::move(applicationTitle)),
      m_templateDir(std::move(templateDir)) {
    OrvAssert(m_logger != nullptr);
}

TLogRecorder::~TLogRecorder() {
    if (m_writer)
        m_logger->RemoveSink(m_writer);
}

void TLogRecorder::StartRecording(bool asHtml) {
    OrvAssert(!m_writer);
    m_captured.clear();
    auto output = std::make_shared<TStringsLogOutput>(&m_captured);
    ILoggerEventSinkPtr writer;
    if (asHtml) {
        OrvAssert(m_templateDir != nullptr);
        const QString templateDir = m_templateDir();
        writer = std::make_shared<THtmlUserLogWriter>(
            output, m_applicationTitle + QStringLiteral(" log"), templateDir);
    } else {
        writer = std::make_shared<TPlainTextUserLogWriter>(output);
    }
    m_logger->AddSink(writer);
    m_writer = std::move(writer);
}

QString TLogRecorder::StopRecording() {
    if (m_writer) {
        m_logger->RemoveSink(m_writer);
        // The HTML writer writes its footer when released.
        m_writer.reset();
    }
    QString text;
    for (const QString& item : m_captured)
        text += item + QStringLiteral("\r\n");
    return text;
}
