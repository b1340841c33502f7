// Server tasks of the payroll service, polled from a timer of the
// user-interface thread so that the thread stays responsive between polls.
#pragma once

#include "payroll/orvAPIConnection.h"

#include <QObject>
#include <QTimer>
#include <functional>

// Time between two polls of a server task in the program.
constexpr int OrvTaskPollIntervalMs = 15000;

class TOrvTask : public QObject {
    Q_OBJECT
public:
    TOrvTask(IOrvAPIConnectionPtr connection, ICommonLoggerPtr logger,
             int pollIntervalMs = OrvTaskPollIntervalMs);
    // Stops polling and deletes the server task; a failure is logged, never thrown.
    ~TOrvTask() override;

    virtual void Start() = 0;
    // One poll; the timer runs it.
    virtual void CheckTask() = 0;

    const QString& TaskId() const { return m_taskId; }
    bool Polling() const { return m_timer.isActive(); }
    int PollInterval() const { return m_timer.interval(); }

protected:
    IOrvAPIConnectionPtr m_connection;
    ICommonLoggerPtr m_logger;
    QString m_taskId;
    QTimer m_timer;

private:
    void OnTimer();
};

class TOrvReportTask : public TOrvTask {
    Q_OBJECT
public:
    using TReportReady = std::function<void(const QString& report)>;
    using TReportError = std::function<void()>;

    // Both callbacks are required; they run only as deferred calls, after the
    // timer tick has returned, so they may destroy the task.
    TOrvReportTask(IOrvAPIConnectionPtr connection, ICommonLoggerPtr logger,
                   TReportError onReportError, TReportReady onReportReady, TOrvReportDef report,
                   int pollIntervalMs = OrvTaskPollIntervalMs);

    // Starts the server task; the first poll comes one interval later.
    void Start() override;
    void CheckTask() override;

private:
    TReportError m_onReportError;
    TReportReady m_onReportReady;
    TOrvReportDef m_report;
};
