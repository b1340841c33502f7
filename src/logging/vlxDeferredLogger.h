// A logger that holds what is logged through it and hands it on later, in
// the same order, to another logger. A step whose outcome arrives after
// later steps have begun (a record whose request travels in a request set
// shared with others) logs as it goes and still appears in one piece, in
// its turn.
#pragma once

#include "logging/vlxcommonlogger.h"

#include <functional>
#include <vector>

class TDeferredLogger : public ICommonLogger {
public:
    void LogEntry(const QString& blockName) override;
    void LogExit() override;
    void LogContextItem(const QString& tag, const QString& value) override;
    void LogEvent(const QString& message, const QString& details = QString()) override;
    void LogEventFmt(const QString& format, const TFormatArgs& args,
                     const QString& details = QString()) override;
    void LogWarning(const QString& message, const QString& details = QString()) override;
    void LogWarningFmt(const QString& format, const TFormatArgs& args,
                       const QString& details = QString()) override;
    void LogError(const QString& message, const QString& details = QString()) override;
    void LogErrorFmt(const QString& format, const TFormatArgs& args,
                     const QString& details = QString()) override;
    void LogDebug(const QString& message, const QString& details = QString()) override;
    // The exception being handled is kept and handed on as it was: a pass-
    // through still re-raises here, and the target logs the same object once.
    [[noreturn]] void PassthroughException() override;
    void StopException() override;
    [[noreturn]] void PassthroughExceptionAndWarnFmt(const QString& format,
                                                     const TFormatArgs& args) override;
    void StopExceptionAndWarnFmt(const QString& format, const TFormatArgs& args) override;

    // Logs everything held into the target, in order, and forgets it.
    void Replay(ICommonLogger& target);

private:
    using TCall = std::function<void(ICommonLogger&)>;
    // Calls `log` on the target inside a handler of the exception handled now.
    void HoldException(std::function<void(ICommonLogger&)> log);

    std::vector<TCall> m_calls;
};
