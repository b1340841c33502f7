#include "logging/vlxcommonlogger.h"

#include "base/ztExceptions.h"

namespace {

// Convenience forms over the exception logger; adds nothing of its own.
class TCommonLogger : public ICommonLogger {
public:
    explicit TCommonLogger(IExceptionLoggerPtr logger) : m_logger(std::move(logger)) {
        OrvAssert(m_logger != nullptr);
    }

    void LogEntry(const QString& blockName) override { m_logger->LogEntry(blockName); }
    void LogExit() override { m_logger->LogExit(); }
    void LogContextItem(const QString& tag, const QString& value) override {
        m_logger->LogContextItem(tag, value);
    }
    void LogEvent(const QString& message, const QString& details) override {
        m_logger->LogMessage(lmEvent, message, details);
    }
    void LogEventFmt(const QString& format, const TFormatArgs& args,
                     const QString& details) override {
        LogEvent(Format(format, args), details);
    }
    void LogWarning(const QString& message, const QString& details) override {
        m_logger->LogMessage(lmWarning, message, details);
    }
    void LogWarningFmt(const QString& format, const TFormatArgs& args,
                       const QString& details) override {
        LogWarning(Format(format, args), details);
    }
    void LogError(const QString& message, const QString& details) override {
        m_logger->LogMessage(lmError, message, details);
    }
    void LogErrorFmt(const QString& format, const TFormatArgs& args,
                     const QString& details) override {
        LogError(Format(format, args), details);
    }
    void LogDebug(const QString& message, const QString& details) override {
        m_logger->LogMessage(lmDebug, message, details);
    }
    void PassthroughException() override { m_logger->PassthroughException(); }
    void StopException() override { m_logger->StopException(); }
    void PassthroughExceptionAndWarnFmt(const QString& format, const TFormatArgs& args) override {
        m_logger->PassthroughExceptionWithMessage(lmWarning, Format(format, args), QString());
    }
    void StopExceptionAndWarnFmt(const QString& format, const TFormatArgs& args) override {
        m_logger->StopExceptionWithMessage(lmWarning, Format(format, args), QString());
    }
    bool WantsMessage(TLogMessageKind kind) const override { return m_logger->WantsMessage(kind); }

private:
    IExceptionLoggerPtr m_logger;
};

} // namespace

ICommonLoggerPtr CreateCommonLogger(IExceptionLoggerPtr exceptionLogger) {
    return std::make_shared<TCommonLogger>(std::move(exceptionLogger));
}
