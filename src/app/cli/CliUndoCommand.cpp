// orvq-cli undo: takes a run of the ledger back, or says what that would do.
#include "CliRun.h"

#include "runs/UndoRun.h"

namespace {

const char* const UndoHelp =
    "usage: orvq-cli undo RUN [--preview] [options]\n"
    "\n"
    "Takes back what a run of the ledger added to QuickBooks (see orvq-cli runs):\n"
    "each check, deposit and journal entry it created is deleted, unless it was\n"
    "changed in QuickBooks since the run or is no longer there; those are left and\n"
    "named. Voids cannot be undone (QuickBooks has no un-void) and are listed. The\n"
    "company open in QuickBooks must be the one the run posted into. The undo is a\n"
    "run of the ledger too: an interrupted undo is finished by running it again, and\n"
    "undoing a run again finds nothing left to do.\n"
    "\n"
    "RUN is the run's id, or the beginning of it.\n"
    "\n"
    "Options:\n"
    "  --preview            say what the undo would do; change nothing\n";

const char* const UndoExitHelp =
    "\n"
    "Exit code 0: done, or nothing to do; 1: the undo was refused or failed, or some\n"
    "transactions could not be deleted; 2: wrong usage.\n";

} // namespace

int RunUndoCommand(TCliEnvironment& env, const QStringList& args) {
    std::unique_ptr<TCliOptions> options;
    std::unique_ptr<TCliLogSession> session;
    TUndoRunOptions undo;
    try {
        // The run comes first; the rest are options.
        const bool named = !args.isEmpty() && !args.first().startsWith(u'-');
        options = std::make_unique<TCliOptions>(
            named ? args.mid(1) : args, QStringList{"--company-file", "--dev-log", "--batch-size"},
            QStringList{"--preview", "--help"});
        if (options->Has(QStringLiteral("--help"))) {
            env.Out << UndoHelp << CliCommonOptionsHelp << UndoExitHelp;
            return cecSuccess;
        }
        if (!named)
            throw ECliUsageError(QStringLiteral("the run to undo is missing: undo RUN"));
        undo.RunId = args.first();
        undo.Preview = options->Has(QStringLiteral("--preview"));
        undo.BatchSize = CliBatchSize(
            *options,
            LoadChecksExportParam(*env.Core.Settings(), QBChecksExportOptionsKey).BatchSize);
        session = std::make_unique<TCliLogSession>(env, env.Out,
                                                   options->Value(QStringLiteral("--dev-log")));
    } catch (const ECliUsageError& e) {
        return ShowUsageError(env.Err, QStringLiteral("undo"), e.Message());
    }

    TConsoleUserDialogs dialogs(env.Out, env.Err, env.In);
    TCliRunHost host(env, dialogs, CliConnectionFactory(env, *options));
    TUndoRun run(undo);
    if (ShowRunFailure(dialogs, host.Run([&run](TRunContext& context) { run.RunUndo(context); })))
        return cecFailed;
    const TUndoResult& result = run.Result();
    if (undo.Preview)
        env.Out << result.Summary << '\n';
    env.Out.flush();
    return result.Count(uaFailed) + result.Count(uaStateUnknown) > 0 ? cecFailed : cecSuccess;
}
