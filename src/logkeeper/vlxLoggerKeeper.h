// The logger keeper builds and owns the program's logger chain and the
// persistent user log file; the log page creates it with its view as the
// first sink and the main window hands its Logger() to everything else.
#pragma once

#include "logging/vlxLogWriters.h"
#include "logging/vlxcommonlogger.h"
#include "settings/vlxRedir.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>

class TCommonLoggerKeeper {
public:
    // Opens the chain's root block, attaches firstSink (may be null), then
    // builds the exception logger and the common logger on top.
    explicit TCommonLoggerKeeper(
        ILoggerEventSinkPtr firstSink = {},
        const QString& applicationTitle = QStringLiteral("Orvane QB Export"));
    // Stops the user log file, detaches the first sink and releases the
    // chain from the top down.
    ~TCommonLoggerKeeper();
    TCommonLoggerKeeper(const TCommonLoggerKeeper&) = delete;
    TCommonLoggerKeeper& operator=(const TCommonLoggerKeeper&) = delete;

    const ICommonLoggerPtr& Logger() const { return m_common; }
    // Where other parts attach and detach sinks of their own.
    const IStatefulLoggerPtr& StatefulLogger() const { return m_stateful; }

    // Appends the user log of this run to fileName (created with its folders
    // when missing, never truncated). Replaces a previous user log file.
    // Problems with the file itself never raise: the output retries on the
    // next record.
    void StartUserLogFile(const QString& fileName);
    // Safe to call when no user log file is written.
    void StopUserLogFile();
    // Empty while no user log file is written.
    QString UserLogFileName() const;
    // Flushes and closes the file so that it is complete on disk; the next
    // record reopens it.
    void CloseUserLogFile();

private:
    IStatefulLoggerPtr m_stateful;
    IExceptionLoggerPtr m_exceptions;
    ICommonLoggerPtr m_common;
    ILoggerEventSinkPtr m_firstSink;
    IFileLogOutputPtr m_userLogOutput;
    ILoggerEventSinkPtr m_userLogWriter;
};

// Start-up: the user log file at the path of the "Log" alias. When the
// redirection cannot give it, the failure is logged once (StopException) and
// the program runs on without a user log file.
void StartUserLogFromRedirection(TCommonLoggerKeeper& keeper,
                                 const TRedirectionFactory& redirection);

// Start-up's debug records: "Caption: <caption>" and "Timestamp: <now>" in
// the regional short date and the long time.
void LogStartupInfo(ICommonLogger& logger, const QString& caption, const QDateTime& now);
