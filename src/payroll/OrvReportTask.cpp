#include "payroll/OrvReportTask.h"

TOrvTask::TOrvTask(IOrvAPIConnectionPtr connection, ICommonLoggerPtr logger,
                   const TCancelToken* cancel)
    : m_connection(std::move(connection)), m_logger(std::move(logger)), m_cancel(cancel) {
    OrvAssert(m_connection != nullptr && m_logger != nullptr);
}

TOrvTask::~TOrvTask() {
    if (m_taskId.isEmpty())
        return;
    const TCancelShield shield(m_cancel);
    try {
        m_connection->DeleteTask(m_taskId);
    } catch (...) {
        try {
            m_logger->StopException();
        } catch (...) {
        }
    }
}

TOrvReportTask::TOrvReportTask(IOrvAPIConnectionPtr connection, ICommonLoggerPtr logger,
                               TOrvReportDef report, const TCancelToken* cancel)
    : TOrvTask(std::move(connection), std::move(logger), cancel), m_report(std::move(report)) {}

void TOrvReportTask::Start() {
    m_taskId = m_connection->RunReport(m_report);
}

std::optional<QString> TOrvReportTask::CheckTask() {
    TLogBlockGuard block(*m_logger, QStringLiteral("Fetching the Orvane report if it is ready"));
    std::optional<QString> report;
    try {
        OrvAssert(!m_taskId.isEmpty());
        if (m_connection->IsTaskFinished(m_taskId))
            report = m_connection->GetReport(m_taskId);
    } catch (...) {
        m_logger->PassthroughException();
    }
    return report;
}
