// The application's default error display: where a failure is shown that
// leaves a user action, a timer tick or a deferred call, none of which has a
// caller to throw to. The window shows a message box, orvq-cli an "Error:"
// line; without a display the message goes to the Qt log.
#pragma once

#include <QString>
#include <exception>
#include <functional>

using TErrorDisplay = std::function<void(const QString& message)>;
// None: back to the Qt log.
void SetErrorDisplay(TErrorDisplay display);

// The failure's message as the display shows it: an exception's message,
// control characters escaped.
QString ErrorDisplayMessage(const std::exception_ptr& failure);

// Shows the failure's message now. Never throws.
void ShowInErrorDisplay(std::exception_ptr failure) noexcept;

// Queues the failure for the display as a deferred call, for code that must
// not show anything where it is (a destructor, a timer tick). Without a
// running application it goes to the Qt log. Never throws.
void PostToErrorDisplay(std::exception_ptr failure) noexcept;
