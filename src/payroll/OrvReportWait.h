// Waiting for one report of the payroll service: the report runs as a
// server task, polled every interval until it has finished, on the thread
// of the run that needs it. The waits between polls end at once when the
// run is cancelled; whoever shows the run shows the wait (the window's wait
// window, the command line's line).
#pragma once

#include "payroll/OrvReportTask.h"

#include <functional>
#include <optional>

struct TOrvReportWaitOptions {
    int PollIntervalMs = OrvTaskPollIntervalMs;
    // The run's cancel; none: the wait ends with the report only.
    TCancelToken* Cancel = nullptr;
    // Waits ms before a poll; true when the run is to stop. None: Cancel's
    // wait (a plain wait without one). Tests count the waits instead.
    std::function<bool(int ms)> Wait;
    // Where a failure of a poll is shown; it has no caller to go to.
    TFailureDisplay ShowFailure;
};

// Starts the task (not cancelled half-way, so that no task is left behind
// on the server), waits one interval before each poll, fetches the report
// and deletes the task. Returns the report text (a stored component stream
// reads as empty text), or nothing when a poll failed (the failure is
// logged in the poll's block and shown) or the run was cancelled ("User
// cancelled operation" is logged; *cancelled set when given). A cancel that
// comes while the user is still asked "Cancel?" and the report arrives
// meanwhile wins over the report. A failure to start the task is thrown.
std::optional<QString> RunReportAndWait(const ICommonLoggerPtr& logger,
                                        const IOrvAPIConnectionPtr& connection,
                                        const TOrvReportDef& report,
                                        const TOrvReportWaitOptions& options = {},
                                        bool* cancelled = nullptr);
