// A modal wait window that runs one procedure: shown with the caller's
// caption and a bold "Please wait", it starts the procedure once it is on
// the screen and closes when the procedure ends. The checks page fetches
// QuickBooks' account list this way.
#pragma once

#include <QDialog>
#include <exception>
#include <functional>

class QTimer;

class TWaitFm : public QDialog {
    Q_OBJECT
public:
    TWaitFm(QWidget* owner, const QString& caption, std::function<void()> procedure);

    // The procedure's failure, when it failed.
    std::exception_ptr Failure() const { return m_failure; }

protected:
    // Neither Escape nor closing the window stops the procedure.
    void reject() override {}

private:
    void Run();

    std::function<void()> m_procedure;
    QTimer* m_timer;
    std::exception_ptr m_failure;
};

// Runs procedure behind a modal TWaitFm over owner. True when it completed;
// when it failed, its failure is shown by the application's error display
// once the window has closed, and false is returned.
bool RunWithWaitForm(QWidget* owner, const QString& caption, std::function<void()> procedure);
