// The application's error display: where a failure is shown that leaves a
// user action, a timer tick or a deferred call, none of which has a caller to
// throw to. It belongs to the application object whose event loop runs
// these: the program's core installs its own there for its life (the window
// a message box, orvq-cli an "Error:" line), and it goes with the
// application, so nothing outlives a test. Without a display the message
// goes to the Qt log. The application's thread only.
#pragma once

#include <QString>
#include <exception>
#include <functional>

class QCoreApplication;

using TErrorDisplay = std::function<void(const QString& message)>;
// None removes the application's display.
void InstallErrorDisplay(QCoreApplication& application, TErrorDisplay display);

// The failure's message as the display shows it: an exception's message,
// control characters escaped.
QString ErrorDisplayMessage(const std::exception_ptr& failure);

// Shows the failure's message now. Never throws.
void ShowInErrorDisplay(std::exception_ptr failure) noexcept;

// Queues the failure for the display as a deferred call, for code that must
// not show anything where it is (a destructor, a timer tick). Without a
// running application it goes to the Qt log. Never throws.
void PostToErrorDisplay(std::exception_ptr failure) noexcept;
