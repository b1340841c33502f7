// The logging interfaces every part of the program sees.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

enum TLogMessageKind : std::uint8_t { lmException, lmError, lmWarning, lmEvent, lmDebug };

// "Exception", "Error", "Warning", "Event", "Debug".
QString LogMessageKindName(TLogMessageKind kind);

class ILogger {
public:
    virtual ~ILogger() = default;
    virtual void LogEntry(const QString& blockName) = 0;
    virtual void LogExit() = 0;
    virtual void LogContextItem(const QString& tag, const QString& value) = 0;
    virtual void LogMessage(TLogMessageKind kind, const QString& message,
                            const QString& details) = 0;
    // Whether a message of this kind would be written anywhere: a caller asks
    // before it formats a costly one (a whole report, a table).
    virtual bool WantsMessage(TLogMessageKind) const { return true; }
};
using ILoggerPtr = std::shared_ptr<ILogger>;

// A logger that logs the exception being handled once, however many
// handlers it passes through: an EztException with its message, any other
// std::exception with its what() and its type in the details. Call the four
// operations only inside a catch block; outside one they fail with an
// assertion failure.
class IExceptionLogger : public ILogger {
public:
    [[noreturn]] virtual void PassthroughException() = 0;
    virtual void StopException() = 0;
    [[noreturn]] virtual void PassthroughExceptionWithMessage(TLogMessageKind kind,
                                                              const QString& message,
                                                              const QString& details) = 0;
    virtual void StopExceptionWithMessage(TLogMessageKind kind, const QString& message,
                                          const QString& details) = 0;
};
using IExceptionLoggerPtr = std::shared_ptr<IExceptionLogger>;
