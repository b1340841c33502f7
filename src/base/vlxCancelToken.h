// Stopping a run at its safe points. The window (or Ctrl+C) asks on one
// thread, the run looks at its safe points on another: between request sets,
// between polls, and inside a payroll-service call, whose transport gives up
// within a fraction of a second. A run never stops anywhere else, so what it
// began at a safe point is finished or was never started.
#pragma once

#include "base/vlxClasses.h"
#include "base/ztExceptions.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

// A run stopped at the user's request. Not a failure: the logger records it
// nowhere on its way out; the run says "User cancelled operation" once.
class EOperationCancelled : public EztException {
public:
    EOperationCancelled();
};

// Whether failure is a cancel (none is not).
bool IsCancel(const std::exception_ptr& failure);

class TCancelToken {
public:
    // Any thread. The run stops at its next safe point.
    void Cancel();
    // Any thread: the wait window's Cancel. Stops the step under way: a
    // report wait that takes it (ForgetStepCancel) ends without its report
    // and the run goes on, as "All Checks" goes on to the agency report;
    // anywhere else it stops the run.
    void CancelStep();
    // The step took its cancel.
    void ForgetStepCancel();
    // Any thread: while held (the window asks "Cancel?"), a safe point waits
    // for the answer, so nothing more is posted before the user has decided;
    // a poll of the payroll service goes on meanwhile.
    void Hold();
    void Release();

    // Cancel was asked for, and no clean-up is going on (TCancelShield).
    bool Cancelled() const;
    // A safe point: waits while held; true when the run is to stop.
    bool StopHere() const;
    // StopHere that throws EOperationCancelled.
    void CheckPoint() const;
    // Waits up to ms (a poll's interval); true as soon as the run is to
    // stop, without waiting out the rest.
    bool WaitFor(int ms) const;

private:
    friend class TCancelShield;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool Requested() const { return m_cancelled || m_stepCancelled; }

    bool m_cancelled = false;
    bool m_stepCancelled = false;
    int m_holds = 0;
    mutable std::atomic<int> m_shields{0};
};
using TCancelTokenPtr = std::shared_ptr<TCancelToken>;

// What a step of a run is handed to tell how far it has come and to stop
// at its safe points; either may be missing.
struct TRunWatch {
    IRunProgress* Progress = nullptr;
    TCancelToken* Cancel = nullptr;

    bool StopHere() const { return Cancel && Cancel->StopHere(); }
    void SetProgress(int done, int total) const {
        if (Progress)
            Progress->SetProgress(done, total);
    }
};

// While one lives, the token reads as not cancelled: the clean-up of a
// cancelled step (deleting the server task, logging out) still reaches the
// service. A null token is allowed.
class TCancelShield {
public:
    explicit TCancelShield(const TCancelToken* token);
    ~TCancelShield();
    TCancelShield(const TCancelShield&) = delete;
    TCancelShield& operator=(const TCancelShield&) = delete;

private:
    const TCancelToken* m_token;
};
