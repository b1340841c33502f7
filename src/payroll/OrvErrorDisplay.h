// Failures that cannot be thrown to a caller (a timer tick, a destructor)
// reach the application's error display as a deferred call.
#pragma once

#include <exception>

// Queues the failure for the deferred-call error handler; without a running
// application it goes to the Qt log. Never throws.
void PostToErrorDisplay(std::exception_ptr failure) noexcept;
