// Server tasks of the payroll service: a report task is started, polled and
// fetched by the run that needs it, on the run's own thread; the task is
// deleted on the server when the object goes.
#pragma once

#include "payroll/orvAPIConnection.h"

#include <optional>

// Time between two polls of a server task in the program.
constexpr int OrvTaskPollIntervalMs = 15000;

class TOrvTask {
public:
    TOrvTask(IOrvAPIConnectionPtr connection, ICommonLoggerPtr logger,
             const TCancelToken* cancel = nullptr);
    // Deletes the server task, also after a cancel; a failure is logged,
    // never thrown.
    virtual ~TOrvTask();
    TOrvTask(const TOrvTask&) = delete;
    TOrvTask& operator=(const TOrvTask&) = delete;

    virtual void Start() = 0;

    const QString& TaskId() const { return m_taskId; }

protected:
    IOrvAPIConnectionPtr m_connection;
    ICommonLoggerPtr m_logger;
    const TCancelToken* m_cancel;
    QString m_taskId;
};

class TOrvReportTask : public TOrvTask {
public:
    TOrvReportTask(IOrvAPIConnectionPtr connection, ICommonLoggerPtr logger, TOrvReportDef report,
                   const TCancelToken* cancel = nullptr);

    // Starts the server task.
    void Start() override;
    // One poll, in the block "Fetching the Orvane report if it is ready":
    // the report once the task has finished, else nothing. A failure is
    // logged in the block and thrown.
    std::optional<QString> CheckTask();

private:
    TOrvReportDef m_report;
};
