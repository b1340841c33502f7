#include "logkeeper/vlxLoggerKeeper.h"

#include "base/RegionalSettings.h"
#include "settings/vlxRedir.h"

TCommonLoggerKeeper::TCommonLoggerKeeper(ILoggerEventSinkPtr firstSink,
                                         const QString& applicationTitle)
    : m_firstSink(std::move(firstSink)) {
    m_stateful = CreateStatefulLogger(applicationTitle);
    // The first sink is attached before the exception logger exists, so the
    // view also sees the chain's own creation record.
    if (m_firstSink)
        m_stateful->AddSink(m_firstSink);
    m_exceptions = CreateExceptionLogger(m_stateful);
    m_common = CreateCommonLogger(m_exceptions);
}

TCommonLoggerKeeper::~TCommonLoggerKeeper() {
    try {
        StopUserLogFile();
        if (m_firstSink)
            m_stateful->RemoveSink(m_firstSink);
    } catch (...) {
        // Logging never raises to its caller; a destructor must not either.
    }
    // Top down: the stateful logger goes last, after every sink has left.
    m_common.reset();
    m_exceptions.reset();
    m_stateful.reset();
}

void TCommonLoggerKeeper::StartUserLogFile(const QString& fileName) {
    m_common->LogDebug(QStringLiteral("Starting to write user log to file <") + fileName +
                       QStringLiteral(">"));
    if (m_userLogWriter)
        m_stateful->RemoveSink(m_userLogWriter);
    m_userLogOutput = std::make_shared<TFileLogOutput>(fileName);
    m_userLogWriter = std::make_shared<TPlainTextUserLogWriter>(m_userLogOutput);
    m_stateful->AddSink(m_userLogWriter);
    m_common->LogDebug(QStringLiteral("Started to write user log to file <") + fileName +
                       QStringLiteral(">"));
}

void TCommonLoggerKeeper::StopUserLogFile() {
    m_common->LogDebug(QStringLiteral("Stopping to write user log to file"));
    if (m_userLogWriter)
        m_stateful->RemoveSink(m_userLogWriter);
    m_userLogWriter.reset();
    m_userLogOutput.reset();
    m_common->LogDebug(QStringLiteral("Stopped to write user log to file"));
}

QString TCommonLoggerKeeper::UserLogFileName() const {
    return m_userLogOutput ? m_userLogOutput->FileName() : QString();
}

void TCommonLoggerKeeper::CloseUserLogFile() {
    if (m_userLogOutput)
        m_userLogOutput->CloseFile();
}

void StartUserLogFromRedirection(TCommonLoggerKeeper& keeper,
                                 const TRedirectionFactory& redirection) {
    try {
        keeper.StartUserLogFile(redirection()->GetFileName(QStringLiteral("Log")));
    } catch (const EztException&) {
        keeper.Logger()->StopException();
    }
}

void LogStartupInfo(ICommonLogger& logger, const QString& caption, const QDateTime& now) {
    logger.LogDebug(QStringLiteral("Caption: ") + caption);
    logger.LogDebug(QStringLiteral("Timestamp: ") + DateToStr(now.date()) + u' ' +
                    now.time().toString(QStringLiteral("HH:mm:ss")));
}
