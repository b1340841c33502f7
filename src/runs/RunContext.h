// What a run is given besides its options: the seams it reaches the world
// through. The window fills one per run on its worker thread, the command
// line one per command, a test one of its own; a run never reads a widget or
// a global. More seams come here as runs need them (runs over many company
// files): a run asks the context, never its caller. A preview and what a
// question gets (asked, answered No, a company the command line confirmed)
// are a run's options (TPostingOptions), since they are chosen run by run.
#pragma once

#include "base/vlxCancelToken.h"
#include "base/vlxClasses.h"
#include "export/QBConnectionFactory.h"
#include "export/ReportSource.h"
#include "export/UserDialogs.h"
#include "ledger/RunLedger.h"
#include "logging/vlxcommonlogger.h"
#include "payroll/OrvData.h"
#include "payroll/OrvReportTask.h"
#include "settings/OrvConnectionParam.h"

#include <functional>

// The payroll service as a report source: the connection settings and the
// payrolls chosen before the run started.
struct TDirectSourceOptions {
    TOrvAPIConnectionParam Connection;
    TOrvPayrollsDef Payrolls;
    // A session the run borrows, the bureau run's for all its payrolls;
    // none: each fetch logs in and out.
    IOrvAPIConnectionPtr Session;
};

// Where an export takes its report from.
struct TReportSourceOptions {
    TReportSourceTab Tab = rstFile;
    // The file tab's path, trimmed of blanks.
    QString FileName;
    // The direct tab's choice; none where the service cannot be reached
    // (the run then fails with a clear message).
    std::optional<TDirectSourceOptions> Direct;
};

// Opens the run ledger on the calling thread. Throws ELedgerError (and the
// redirection's errors when it cannot name the ledger).
using TLedgerFactory = std::function<std::unique_ptr<TRunLedger>()>;

struct TRunContext {
    ICommonLoggerPtr Logger;
    // Boxes and questions; from a worker they cross to the window's thread.
    IUserDialogsPtr Dialogs;
    // QuickBooks, opened, used and closed on the run's thread.
    TQBConnectionFactory ConnectQB;
    // Where the payroll service's certificates and stored queries are;
    // OrvaneEnvironment adds the run's cancel and failure display.
    TOrvAPIEnvironment Orvane;
    int ReportPollIntervalMs = OrvTaskPollIntervalMs;
    // Waits before a poll of a report task; true when the run is to stop.
    // None: the cancel's wait (tests count the waits instead of spending
    // them).
    std::function<bool(int ms)> PollWait;
    // Replaces the payroll service as the report source (tests).
    std::function<IDirectReportSourcePtr(const TDirectSourceOptions&, TRunContext&)> DirectSource;
    // Stages and counts, on the run's thread.
    IRunProgressPtr Progress = std::make_shared<TNoRunProgress>();
    TCancelTokenPtr Cancel = std::make_shared<TCancelToken>();
    // Failures that have no caller (a poll of a report task, a log-out);
    // none: the application's error display.
    TFailureDisplay ShowFailure;
    // The run ledger, opened on the run's thread by every run that may
    // change QuickBooks; none: such a run refuses to post.
    TLedgerFactory OpenLedger;

    TRunWatch Watch() const { return {Progress.get(), Cancel.get()}; }
    TOrvAPIEnvironment OrvaneEnvironment() const;
    // The payroll service (or DirectSource) for the chosen payrolls.
    IDirectReportSourcePtr OpenDirectSource(const TDirectSourceOptions& options);
};

// The payroll service as the report source of a run of the context.
IDirectReportSourcePtr OrvaneReportSource(TRunContext& context,
                                          const TDirectSourceOptions& options);
