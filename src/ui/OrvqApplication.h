// The application object of the window: its title, the hourglass cursor of
// the wait indicators, and the one place where failures that leave Qt's
// event handlers are caught. Qt cannot carry an exception through its event
// loop, so user actions run through UserAction() and anything else that
// escapes an event reaches notify(); both go to the application's error
// display (base/vlxErrorDisplay.h), as failed deferred calls do.
#pragma once

#include "base/vlxErrorDisplay.h"

#include <QApplication>

class TOrvqApplication : public QApplication {
public:
    // Title "Orvane QB Export"; THourglassWaitIndicator sets the wait cursor.
    TOrvqApplication(int& argc, char** argv);
    ~TOrvqApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;
};

// While a wait indicator's hourglass shows, the application's cursor is the
// wait cursor. Installed by TOrvqApplication; tests install it themselves.
void UseHourglassCursor(bool on);

// The handler of a user action (a button, a menu, a key), to connect to
// its signal: a failure that leaves it goes to the error display instead of
// into Qt.
template <typename F> auto UserAction(F handler) {
    return [handler = std::move(handler)]() {
        try {
            handler();
        } catch (...) {
            ShowInErrorDisplay(std::current_exception());
        }
    };
}
