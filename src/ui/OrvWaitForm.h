// The report wait window: the message in a bold panel and a centred
// "Cancel" below it, shown modally while a report task runs on the payroll
// service. Its behaviour (starting the task, the "Cancel?" question, the
// results, deleting the server task) is TOrvReportWaitDialog's; this is
// the window.
#pragma once

#include "payroll/OrvReportWait.h"

#include <QDialog>

class QLabel;
class QPushButton;

class TOrvWaitFm : public QDialog, public IOrvReportWaitWindow {
    Q_OBJECT
public:
    // Centred on owner's window.
    explicit TOrvWaitFm(QWidget* owner);

    TOrvWaitResult Execute(const QString& title, const QString& message,
                           std::function<void()> closeRequested) override;
    void Done(TOrvWaitResult result) override;
    // A Yes/No box over the window (ShowMessageBox).
    bool ConfirmYesNo(const QString& question) override;

    QLabel* MessagePanel;
    QPushButton* CancelButton;

protected:
    // Cancel, Esc and the close box only ask to close.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void RequestClose();

    std::function<void()> m_closeRequested;
    TOrvWaitResult m_result = owrNone;
    bool m_done = false;
};

// The report wait windows of the direct report source in the program's
// window: each a TOrvWaitFm over owner (TOrvDirectReportSourceServices::
// CreateWaitWindow).
TOrvReportWaitWindowFactory OrvWaitWindowFactory(QWidget* owner);
