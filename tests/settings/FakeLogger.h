// A logger that records what it is told, for checking what a step logs.
#pragma once

#include "base/ztExceptions.h"
#include "logging/vlxcommonlogger.h"

#include <QStringList>
#include <exception>

class TFakeLogger : public ICommonLogger {
public:
    QStringList Debug;
    QStringList Exceptions;
    QStringList Context; // "tag=value"

    void LogEntry(const QString&) override {}
    void LogExit() override {}
    void LogContextItem(const QString& tag, const QString& value) override {
        Context << tag + u'=' + value;
    }
    void LogEvent(const QString&, const QString&) override {}
    void LogEventFmt(const QString&, const TFormatArgs&, const QString&) override {}
    void LogWarning(const QString&, const QString&) override {}
    void LogWarningFmt(const QString&, const TFormatArgs&, const QString&) override {}
    void LogError(const QString&, const QString&) override {}
    void LogErrorFmt(const QString&, const TFormatArgs&, const QString&) override {}
    void LogDebug(const QString& message, const QString&) override { Debug << message; }
    [[noreturn]] void PassthroughException() override {
        Record();
        throw;
    }
    void StopException() override { Record(); }
    [[noreturn]] void PassthroughExceptionAndWarnFmt(const QString&, const TFormatArgs&) override {
        Record();
        throw;
    }
    void StopExceptionAndWarnFmt(const QString&, const TFormatArgs&) override { Record(); }

private:
    void Record() {
        try {
            throw;
        } catch (const EztException& e) {
            Exceptions << e.Message();
        } catch (...) {
            Exceptions << QStringLiteral("<not an EztException>");
        }
    }
};
