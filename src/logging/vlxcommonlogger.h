// ICommonLogger: the one logger interface the rest of the program receives.
#pragma once

#include "base/ztFormat.h"
#include "logging/vlxLogger.h"

class ICommonLogger {
public:
    virtual ~ICommonLogger() = default;

    virtual void LogEntry(const QString& blockName) = 0;
    virtual void LogExit() = 0;
    virtual void LogContextItem(const QString& tag, const QString& value) = 0;
    virtual void LogEvent(const QString& message, const QString& details = QString()) = 0;
    virtual void LogEventFmt(const QString& format, const TFormatArgs& args,
                             const QString& details = QString()) = 0;
    virtual void LogWarning(const QString& message, const QString& details = QString()) = 0;
    virtual void LogWarningFmt(const QString& format, const TFormatArgs& args,
                               const QString& details = QString()) = 0;
    virtual void LogError(const QString& message, const QString& details = QString()) = 0;
    virtual void LogErrorFmt(const QString& format, const TFormatArgs& args,
                             const QString& details = QString()) = 0;
    virtual void LogDebug(const QString& message, const QString& details = QString()) = 0;
    // Only inside a catch block (see IExceptionLogger).
    [[noreturn]] virtual void PassthroughException() = 0;
    virtual void StopException() = 0;
    [[noreturn]] virtual void PassthroughExceptionAndWarnFmt(const QString& format,
                                                             const TFormatArgs& args) = 0;
    virtual void StopExceptionAndWarnFmt(const QString& format, const TFormatArgs& args) = 0;
    // Whether a message of this kind would be written anywhere: ask before
    // formatting a costly one (a whole report for the developer log).
    virtual bool WantsMessage(TLogMessageKind) const { return true; }
};
using ICommonLoggerPtr = std::shared_ptr<ICommonLogger>;

ICommonLoggerPtr CreateCommonLogger(IExceptionLoggerPtr exceptionLogger);

// Pairs LogEntry with LogExit for the scope it lives in:
//
//     TLogBlockGuard block(*logger, "Parsing check record");
//     logger->LogContextItem("Check record", line);
//     try {
//         ...
//     } catch (...) {
//         logger->PassthroughException();
//     }
class TLogBlockGuard {
public:
    TLogBlockGuard(ICommonLogger& logger, const QString& caption) : m_logger(logger) {
        m_logger.LogEntry(caption);
    }
    ~TLogBlockGuard() {
        try {
            m_logger.LogExit();
        } catch (...) {
            // Only an unbalanced exit asserts; a destructor must not throw.
        }
    }
    TLogBlockGuard(const TLogBlockGuard&) = delete;
    TLogBlockGuard& operator=(const TLogBlockGuard&) = delete;

private:
    ICommonLogger& m_logger;
};
