// How a command runs its work: on a run thread, as the window does, while
// the command's loop (orvq-cli has no other) answers the run's boxes and
// questions on the console, shows failures that have no caller as "Error:"
// lines, and lets the first Ctrl+C cancel a report wait. The report wait is
// printed on the run's thread, in step with the log.
#pragma once

#include "CliSupport.h"

#include "runs/RunThread.h"

#include <QObject>
#include <exception>
#include <memory>

class TCliRunHost {
public:
    // dialogs must outlive the host.
    TCliRunHost(const TCliEnvironment& env, IUserDialogs& dialogs, TQBConnectionFactory connect,
                int reportPollIntervalMs = OrvTaskPollIntervalMs);
    ~TCliRunHost();
    TCliRunHost(const TCliRunHost&) = delete;
    TCliRunHost& operator=(const TCliRunHost&) = delete;

    // Runs work to its end; what left it, if anything.
    std::exception_ptr Run(TRunThread::TWork work);

    // Where the payroll service's certificates and queries are, for the
    // runs from now on (read in the run that first needs them).
    TOrvAPIEnvironment& Orvane() { return m_orvane; }
    // "Error:" lines shown so far for failures without a caller.
    int FailuresShown() const { return m_failuresShown; }

private:
    class TReportWaitLine;

    const TCliEnvironment& m_env;
    TOrvAPIEnvironment m_orvane;
    int m_failuresShown = 0;
    QObject m_loop;
    std::shared_ptr<void> m_interruptWatch;
    std::unique_ptr<TRunThread> m_runs;
};

// The failure's message as a box shows it; false when there is none.
bool ShowRunFailure(IUserDialogs& dialogs, const std::exception_ptr& failure);
