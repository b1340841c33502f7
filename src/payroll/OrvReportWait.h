// Running one report on the payroll service behind the report wait window:
// the window shows a message and a Cancel button while a report task polls.
// The window itself is the GUI's; this is its behaviour.
#pragma once

#include "payroll/OrvReportTask.h"

#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <exception>
#include <memory>
#include <optional>

enum TOrvWaitResult { owrNone, owrYes, owrNo, owrCancel };

// The modal report wait window, as the GUI or a test supplies it.
class IOrvReportWaitWindow {
public:
    virtual ~IOrvReportWaitWindow() = default;
    // Shows the window modally and runs the message loop until Done is
    // called; returns the result given to Done. Every attempt of the user to
    // close the window (Cancel, Esc, the close box) calls closeRequested
    // instead of closing; the window closes only through Done.
    virtual TOrvWaitResult Execute(const QString& title, const QString& message,
                                   std::function<void()> closeRequested) = 0;
    // Ends the modal loop with the result.
    virtual void Done(TOrvWaitResult result) = 0;
    // A Yes/No question over the window; true for Yes.
    virtual bool ConfirmYesNo(const QString& question) = 0;
};

// Makes one report wait window for each report fetched.
using TOrvReportWaitWindowFactory = std::function<std::unique_ptr<IOrvReportWaitWindow>()>;

// A report wait window without widgets (the command line): runs the message
// loop until the report is ready; RequestClose acts as the Cancel button and
// the "Cancel?" question takes AnswerToCancel.
class TOrvEventLoopWaitWindow : public IOrvReportWaitWindow {
public:
    TOrvWaitResult Execute(const QString& title, const QString& message,
                           std::function<void()> closeRequested) override;
    void Done(TOrvWaitResult result) override;
    bool ConfirmYesNo(const QString& question) override;
    void RequestClose();

    bool AnswerToCancel = true;

private:
    std::function<void()> m_closeRequested;
    QEventLoop* m_loop = nullptr;
    TOrvWaitResult m_result = owrNone;
    bool m_done = false;
};

struct TOrvReportWaitTimings {
    // The start timer: the task starts once the window is showing.
    int StartDelayMs = 1;
    int PollIntervalMs = OrvTaskPollIntervalMs;
};

// What the window does: starts the report task once shown, closes with Yes
// when the report is ready, with No when the task failed, and with Cancel
// when the user confirms "Cancel?", also when the report arrived while the
// question was open.
class TOrvReportWaitDialog : public QObject {
    Q_OBJECT
public:
    TOrvReportWaitDialog(IOrvReportWaitWindow& window, IOrvAPIConnectionPtr connection,
                         ICommonLoggerPtr logger, TOrvReportDef report,
                         TOrvReportWaitTimings timings = {});
    // Destroys a task still running, which deletes the server task.
    ~TOrvReportWaitDialog() override;

    TOrvWaitResult Execute(const QString& title, const QString& message);
    // The report text when the result is Yes.
    const QString& ReportText() const { return m_text; }
    // The failure that kept the task from starting, if any.
    std::exception_ptr StartFailure() const { return m_startFailure; }
    TOrvReportTask* Task() const { return m_task.get(); }

private:
    void StartTask();
    void ReportReady(const QString& text);
    void ReportError();
    void CloseRequested();
    void Conclude(TOrvWaitResult result);
    void Finish(TOrvWaitResult result);

    IOrvReportWaitWindow& m_window;
    IOrvAPIConnectionPtr m_connection;
    ICommonLoggerPtr m_logger;
    TOrvReportDef m_report;
    TOrvReportWaitTimings m_timings;
    std::unique_ptr<TOrvReportTask> m_task;
    QTimer m_startTimer;
    QString m_text;
    std::exception_ptr m_startFailure;
    bool m_finished = false;
    bool m_asking = false;           // "Cancel?" is open
    TOrvWaitResult m_held = owrNone; // the task's result while it was
};

// The report text (a stored component stream reads as empty text), or
// nothing when the task failed while polling (the failure has gone to the
// error display) or the user cancelled (logged as a warning; *cancelled set
// when given). A failure to start the task is thrown.
std::optional<QString>
RunReportAndWait(IOrvReportWaitWindow& window, const ICommonLoggerPtr& logger,
                 const IOrvAPIConnectionPtr& connection, const TOrvReportDef& report,
                 const QString& caption, const QString& title = QStringLiteral("Orvane QB Export"),
                 TOrvReportWaitTimings timings = {}, bool* cancelled = nullptr);
