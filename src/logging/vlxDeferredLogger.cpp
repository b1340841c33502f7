#include "logging/vlxDeferredLogger.h"

#include "base/ztExceptions.h"

void TDeferredLogger::LogEntry(const QString& blockName) {
    m_calls.push_back([blockName](ICommonLogger& l) { l.LogEntry(blockName); });
}

void TDeferredLogger::LogExit() {
    m_calls.push_back([](ICommonLogger& l) { l.LogExit(); });
}

void TDeferredLogger::LogContextItem(const QString& tag, const QString& value) {
    m_calls.push_back([tag, value](ICommonLogger& l) { l.LogContextItem(tag, value); });
}

void TDeferredLogger::LogEvent(const QString& message, const QString& details) {
    m_calls.push_back([message, details](ICommonLogger& l) { l.LogEvent(message, details); });
}

void TDeferredLogger::LogEventFmt(const QString& format, const TFormatArgs& args,
                                  const QString& details) {
    LogEvent(Format(format, args), details);
}

void TDeferredLogger::LogWarning(const QString& message, const QString& details) {
    m_calls.push_back([message, details](ICommonLogger& l) { l.LogWarning(message, details); });
}

void TDeferredLogger::LogWarningFmt(const QString& format, const TFormatArgs& args,
                                    const QString& details) {
    LogWarning(Format(format, args), details);
}

void TDeferredLogger::LogError(const QString& message, const QString& details) {
    m_calls.push_back([message, details](ICommonLogger& l) { l.LogError(message, details); });
}

void TDeferredLogger::LogErrorFmt(const QString& format, const TFormatArgs& args,
                                  const QString& details) {
    LogError(Format(format, args), details);
}

void TDeferredLogger::LogDebug(const QString& message, const QString& details) {
    m_calls.push_back([message, details](ICommonLogger& l) { l.LogDebug(message, details); });
}

void TDeferredLogger::HoldException(std::function<void(ICommonLogger&)> log) {
    std::exception_ptr exception = std::current_exception();
    OrvAssert(exception != nullptr);
    m_calls.push_back([exception, log = std::move(log)](ICommonLogger& l) {
        try {
            std::rethrow_exception(exception);
        } catch (...) {
            log(l);
        }
    });
}

void TDeferredLogger::PassthroughException() {
    HoldException([](ICommonLogger& l) {
        try {
            l.PassthroughException();
        } catch (...) {
            // Re-raised here already; the target only logs it.
        }
    });
    throw;
}

void TDeferredLogger::StopException() {
    HoldException([](ICommonLogger& l) { l.StopException(); });
}

void TDeferredLogger::PassthroughExceptionAndWarnFmt(const QString& format,
                                                     const TFormatArgs& args) {
    HoldException([format, args](ICommonLogger& l) {
        try {
            l.PassthroughExceptionAndWarnFmt(format, args);
        } catch (...) {
        }
    });
    throw;
}

void TDeferredLogger::StopExceptionAndWarnFmt(const QString& format, const TFormatArgs& args) {
    HoldException([format, args](ICommonLogger& l) { l.StopExceptionAndWarnFmt(format, args); });
}

void TDeferredLogger::Replay(ICommonLogger& target) {
    std::vector<TCall> calls;
    calls.swap(m_calls);
    for (const TCall& call : calls)
        call(target);
}
