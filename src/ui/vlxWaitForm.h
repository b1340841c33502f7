// The small please-wait window and the wait indicator that stacks its
// messages in it: every busy step of the program (StartWait on the global
// wait indicator) adds a line while it runs, shown at once although the
// user-interface thread is busy.
#pragma once

#include "base/vlxClasses.h"

#include <QDialog>
#include <QPointer>
#include <QStringList>

class QLabel;

// Tool window without title-bar buttons, centred on its owner, captioned
// with the application title and " - Please wait"; one bold, centred,
// word-wrapped label.
class TWaitIndicatorForm : public QDialog {
    Q_OBJECT
public:
    explicit TWaitIndicatorForm(QWidget* owner);

    void SetText(const QString& text);
    QString Text() const;
    // Shows the window and draws it before the step that raised it goes on.
    void ShowNow();
    // Draws the window now, without the event loop.
    void PaintNow();

private:
    QLabel* m_label;
};

class TLargeWaitIndicator : public IWaitIndicator {
public:
    explicit TLargeWaitIndicator(QWidget* owner);
    ~TLargeWaitIndicator() override;
    TLargeWaitIndicator(const TLargeWaitIndicator&) = delete;
    TLargeWaitIndicator& operator=(const TLargeWaitIndicator&) = delete;

    // Pushes the message; the window shows every message of the stack, one
    // a line, oldest first. The window is shown only while the owner is
    // visible (before that it exists hidden).
    void StartWait(const QString& message) override;
    // An EndWait without StartWait is a programming error (EAssertionFailed).
    void EndWait() override;

    // The window while a wait runs, else null.
    TWaitIndicatorForm* Window() const { return m_window; }
    const QStringList& Messages() const { return m_messages; }

private:
    void CheckInvariant() const;

    QPointer<QWidget> m_owner;
    QStringList m_messages;
    QPointer<TWaitIndicatorForm> m_window;
};
