#include "payroll/OrvReportWait.h"

#include "base/vlxTextUtils.h"

TOrvWaitResult TOrvEventLoopWaitWindow::Execute(const QString&, const QString&,
                                                std::function<void()> closeRequested) {
    m_closeRequested = std::move(closeRequested);
    m_result = owrNone;
    m_done = false;
    QEventLoop loop;
    m_loop = &loop;
    // Done may come before the loop runs (a task that fails to start).
    if (!m_done)
        loop.exec();
    m_loop = nullptr;
    m_closeRequested = nullptr;
    return m_result;
}

void TOrvEventLoopWaitWindow::Done(TOrvWaitResult result) {
    m_result = result;
    m_done = true;
    if (m_loop)
        m_loop->quit();
}

bool TOrvEventLoopWaitWindow::ConfirmYesNo(const QString&) {
    return AnswerToCancel;
}

void TOrvEventLoopWaitWindow::RequestClose() {
    if (m_closeRequested && !m_done)
        m_closeRequested();
}

TOrvReportWaitDialog::TOrvReportWaitDialog(IOrvReportWaitWindow& window,
                                           IOrvAPIConnectionPtr connection, ICommonLoggerPtr logger,
                                           TOrvReportDef report, TOrvReportWaitTimings timings)
    : m_window(window), m_connection(std::move(connection)), m_logger(std::move(logger)),
      m_report(std::move(report)), m_timings(timings) {
    m_startTimer.setSingleShot(true);
    m_startTimer.setInterval(m_timings.StartDelayMs);
    connect(&m_startTimer, &QTimer::timeout, this, &TOrvReportWaitDialog::StartTask);
}

TOrvReportWaitDialog::~TOrvReportWaitDialog() = default;

TOrvWaitResult TOrvReportWaitDialog::Execute(const QString& title, const QString& message) {
    m_startTimer.start();
    const TOrvWaitResult result = m_window.Execute(title, message, [this] { CloseRequested(); });
    m_startTimer.stop();
    return result;
}

void TOrvReportWaitDialog::StartTask() {
    if (m_finished)
        return;
    // Results come back as deferred calls; one that arrives after the dialog
    // is gone is dropped.
    QPointer<TOrvReportWaitDialog> self(this);
    try {
        m_task = std::make_unique<TOrvReportTask>(
            m_connection, m_logger,
            [self] {
                if (self)
                    self->ReportError();
            },
            [self](const QString& text) {
                if (self)
                    self->ReportReady(text);
            },
            m_report, m_timings.PollIntervalMs);
        m_task->Start();
    } catch (...) {
        m_startFailure = std::current_exception();
        m_task.reset();
        Finish(owrNo);
    }
}

void TOrvReportWaitDialog::ReportReady(const QString& text) {
    m_task.reset();
    m_text = text;
    Conclude(owrYes);
}

void TOrvReportWaitDialog::ReportError() {
    m_task.reset();
    m_text.clear();
    Conclude(owrNo);
}

void TOrvReportWaitDialog::Conclude(TOrvWaitResult result) {
    // While "Cancel?" is open the user's answer decides; the task's result
    // waits for it.
    if (m_asking)
        m_held = result;
    else
        Finish(result);
}

void TOrvReportWaitDialog::CloseRequested() {
    if (m_finished || m_asking)
        return;
    if (m_task) {
        m_asking = true;
        const bool cancel = m_window.ConfirmYesNo(QStringLiteral("Cancel?"));
        m_asking = false;
        // A confirmed cancel wins over a report that arrived while the
        // question was open: nothing of it may be posted.
        if (cancel)
            Finish(owrCancel);
        else if (m_held != owrNone)
            Finish(m_held);
        return;
    }
    Finish(owrCancel);
}

void TOrvReportWaitDialog::Finish(TOrvWaitResult result) {
    if (m_finished)
        return;
    m_finished = true;
    m_startTimer.stop();
    m_window.Done(result);
}

std::optional<QString> RunReportAndWait(IOrvReportWaitWindow& window,
                                        const ICommonLoggerPtr& logger,
                                        const IOrvAPIConnectionPtr& connection,
                                        const TOrvReportDef& report, const QString& caption,
                                        const QString& title, TOrvReportWaitTimings timings,
                                        bool* cancelled) {
    OrvAssert(logger != nullptr && connection != nullptr);
    std::optional<QString> result;
    TOrvReportWaitDialog dialog(window, connection, logger, report, timings);
    const TOrvWaitResult answer = dialog.Execute(title, caption);
    if (cancelled)
        *cancelled = answer == owrCancel;
    if (dialog.StartFailure())
        std::rethrow_exception(dialog.StartFailure());
    switch (answer) {
    case owrCancel:
        logger->LogWarning(QStringLiteral("User cancelled operation"));
        break;
    case owrYes:
        result = TextReportOrEmpty(dialog.ReportText());
        break;
    case owrNo:
        break;
    default:
        OrvAssert(false);
    }
    return result;
}
