// Deferred calls: work that ends inside an event handler hands its result
// back to the message loop. Calls run in the order posted, after the poster
// has returned, on the thread that runs the loop.
#pragma once

#include <QObject>
#include <functional>

// Queues the call. When `receiver` is given and destroyed first, the call is
// dropped. A call that throws goes to the application's error display
// (vlxErrorDisplay.h); the message loop and later calls go on.
void PostDeferredCall(std::function<void()> call, const QObject* receiver = nullptr);

// The value is copied now, so the call sees it as it was when posted.
template <typename T>
void PostDeferredCall(std::function<void(const T&)> call, T value,
                      const QObject* receiver = nullptr) {
    PostDeferredCall([call = std::move(call), value = std::move(value)] { call(value); }, receiver);
}

// While one lives, deferred calls wait. For the moment a window must reach
// the screen in the middle of a step (the wait window), when the window
// system's events are let through but no call may run before the step ends.
class TDeferredCallHold {
public:
    TDeferredCallHold();
    ~TDeferredCallHold();
    TDeferredCallHold(const TDeferredCallHold&) = delete;
    TDeferredCallHold& operator=(const TDeferredCallHold&) = delete;
};
