#include "payroll/OrvReportTask.h"

#include "base/vlxDeferredCall.h"
#include "base/vlxErrorDisplay.h"

TOrvTask::TOrvTask(IOrvAPIConnectionPtr connection, ICommonLoggerPtr logger, int pollIntervalMs)
    : m_connection(std::move(connection)), m_logger(std::move(logger)) {
    OrvAssert(m_connection != nullptr && m_logger != nullptr);
    m_timer.setSingleShot(false);
    m_timer.setInterval(pollIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TOrvTask::OnTimer);
}

TOrvTask::~TOrvTask() {
    m_timer.stop();
    if (m_taskId.isEmpty())
        return;
    try {
        m_connection->DeleteTask(m_taskId);
    } catch (...) {
        try {
            m_logger->StopException();
        } catch (...) {
        }
    }
}

void TOrvTask::OnTimer() {
    // An exception must not cross the event loop; the failure has been
    // logged by the poll and goes to the application's error display.
    try {
        CheckTask();
    } catch (...) {
        PostToErrorDisplay(std::current_exception());
    }
}

TOrvReportTask::TOrvReportTask(IOrvAPIConnectionPtr connection, ICommonLoggerPtr logger,
                               TReportError onReportError, TReportReady onReportReady,
                               TOrvReportDef report, int pollIntervalMs)
    : TOrvTask(std::move(connection), std::move(logger), pollIntervalMs),
      m_onReportError(std::move(onReportError)), m_onReportReady(std::move(onReportReady)),
      m_report(std::move(report)) {
    OrvAssert(m_onReportError != nullptr && m_onReportReady != nullptr);
}

void TOrvReportTask::Start() {
    m_taskId = m_connection->RunReport(m_report);
    m_timer.start();
}

void TOrvReportTask::CheckTask() {
    TLogBlockGuard block(*m_logger, QStringLiteral("Fetching the Orvane report if it is ready"));
    try {
        OrvAssert(!m_taskId.isEmpty());
        m_timer.stop();
        try {
            if (m_connection->IsTaskFinished(m_taskId)) {
                const QString report = m_connection->GetReport(m_taskId);
                PostDeferredCall([ready = m_onReportReady, report] { ready(report); });
            } else {
                m_timer.start();
            }
        } catch (...) {
            PostDeferredCall([failed = m_onReportError] { failed(); });
            throw;
        }
    } catch (...) {
        m_logger->PassthroughException();
    }
}
