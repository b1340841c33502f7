#include "payroll/OrvReportWait.h"

#include "base/vlxTextUtils.h"

#include <QThread>

namespace {

bool WaitBeforePoll(const TOrvReportWaitOptions& options) {
    if (options.Wait)
        return options.Wait(options.PollIntervalMs);
    if (options.Cancel)
        return options.Cancel->WaitFor(options.PollIntervalMs);
    QThread::msleep(static_cast<unsigned long>(qMax(options.PollIntervalMs, 0)));
    return false;
}

// The wait took the cancel: the run goes on without this report.
void Cancelled(const ICommonLoggerPtr& logger, const TOrvReportWaitOptions& options,
               bool* cancelled) {
    if (cancelled)
        *cancelled = true;
    logger->LogWarning(QStringLiteral("User cancelled operation"));
    if (options.Cancel)
        options.Cancel->ForgetStepCancel();
}

} // namespace

std::optional<QString> RunReportAndWait(const ICommonLoggerPtr& logger,
                                        const IOrvAPIConnectionPtr& connection,
                                        const TOrvReportDef& report,
                                        const TOrvReportWaitOptions& options, bool* cancelled) {
    OrvAssert(logger != nullptr && connection != nullptr);
    if (cancelled)
        *cancelled = false;
    // Declared first: the server task is deleted after the cancel is logged.
    TOrvReportTask task(connection, logger, report, options.Cancel);
    if (options.Cancel && options.Cancel->Cancelled()) {
        Cancelled(logger, options, cancelled);
        return std::nullopt;
    }
    {
        // A start given up half-way could leave a task on the server that
        // nobody deletes: the cancel is taken right after it.
        const TCancelShield starting(options.Cancel);
        task.Start();
    }
    try {
        for (;;) {
            if (WaitBeforePoll(options))
                throw EOperationCancelled();
            if (const std::optional<QString> text = task.CheckTask()) {
                if (options.Cancel)
                    options.Cancel->CheckPoint();
                return TextReportOrEmpty(*text);
            }
        }
    } catch (const EOperationCancelled&) {
        Cancelled(logger, options, cancelled);
    } catch (...) {
        ShowFailureIn(options.ShowFailure, std::current_exception());
    }
    return std::nullopt;
}
