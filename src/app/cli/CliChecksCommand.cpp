// orvq-cli checks: the checks export run on a report file or on the reports
// the payroll service makes for chosen payrolls, with the saved checks
// options overridden by flags.
#include "CliDirect.h"
#include "CliPosting.h"
#include "CliRun.h"

#include "runs/ChecksExportRun.h"

namespace {

const char* const ChecksHelp =
    "usage: orvq-cli checks --file PATH [options]\n"
    "       orvq-cli checks --direct --company CO_NBR (--payrolls N[,N...] | --from DATE\n"
    "                       --to DATE) [--kind all|employee|agency] [options]\n"
    "\n"
    "Exports the checks of an Orvane S1910 (employee checks) or S1911 (agency checks)\n"
    "report into QuickBooks: checks, deposits for returned direct-deposit pay and\n"
    "voids, skipping what QuickBooks already holds. The report is read from a file,\n"
    "or, with --direct, the Orvane service makes it for the chosen payrolls. The user\n"
    "log is printed as the run writes it; the last lines are the summaries.\n"
    "\n"
    "Options (each defaults to the value saved by Orvane QB Export):\n"
    "  --file PATH                 the report file\n"
    "  --direct                    fetch the reports from the Orvane service instead\n"
    "  --kind all|employee|agency  with --direct: the employee checks report, the agency\n"
    "                              checks report, or both one after the other (default)\n"
    "  --cash-account NAME         full name of the bank account the checks are drawn on\n"
    "  --liability-account NAME    full name of the account of the expense and deposit lines\n"
    "  --clear, --no-clear         mark the created checks and deposits as cleared, or not\n"
    "  --include-dd, --no-include-dd\n"
    "                              also export direct-deposit checks, or not\n"
    "  --payee-names, --no-payee-names\n"
    "                              set the payee on checks and the name on deposit lines,\n"
    "                              or not\n";

const char* const ChecksExitHelp =
    "\n"
    "Exit code 0: every check done; 1: the run failed, a report could not be fetched,\n"
    "some checks failed, the company guard stopped the run, or a preview found a\n"
    "record to look at (invalid, different from QuickBooks) or a company question;\n"
    "2: wrong usage.\n";

TChecksReportChoice KindChoice(const TCliOptions& options) {
    if (!options.Has(QStringLiteral("--kind")))
        return crcAllChecks;
    const QString value = options.Value(QStringLiteral("--kind"));
    if (value == u"all")
        return crcAllChecks;
    if (value == u"employee")
        return crcEmployeeChecks;
    if (value == u"agency")
        return crcAgencyChecks;
    throw ECliUsageError(
        Format("--kind takes all, employee or agency, not \"%s\"", {value.left(64)}));
}

TQBChecksExportParam Options(const TCliEnvironment& env, const TCliOptions& options) {
    TQBChecksExportParam p = LoadChecksExportParam(*env.Core.Settings(), QBChecksExportOptionsKey);
    if (options.Has(QStringLiteral("--cash-account")))
        p.CashAccount = options.Value(QStringLiteral("--cash-account"));
    if (options.Has(QStringLiteral("--liability-account")))
        p.LiabilityAccount = options.Value(QStringLiteral("--liability-account"));
    p.Clear = options.Switch(QStringLiteral("--clear"), p.Clear);
    p.IncludeDD = options.Switch(QStringLiteral("--include-dd"), p.IncludeDD);
    p.IncludeEENames = options.Switch(QStringLiteral("--payee-names"), p.IncludeEENames);
    p.BatchSize = CliBatchSize(options, p.BatchSize);
    // The window does not run without both accounts either.
    if (p.CashAccount.trimmed().isEmpty())
        throw ECliUsageError(
            QStringLiteral("no cash account is saved; give one with --cash-account NAME"));
    if (p.LiabilityAccount.trimmed().isEmpty())
        throw ECliUsageError(QStringLiteral(
            "no liability account is saved; give one with --liability-account NAME"));
    return p;
}

// The run's information boxes are its outcomes' summaries, which the
// command prints once as its last lines; errors and questions go to the
// console as they come.
class TSummariesAtEnd : public IUserDialogs {
public:
    explicit TSummariesAtEnd(TConsoleUserDialogs& console) : m_console(console) {}

protected:
    void DoShowInformation(const QString&) override {}
    void DoShowError(const QString& message) override { m_console.ShowError(message); }
    TQuestionAnswer DoAsk(const TQuestion& question) override { return m_console.Ask(question); }

private:
    TConsoleUserDialogs& m_console;
};

} // namespace

int RunChecksCommand(TCliEnvironment& env, const QStringList& args) {
    std::unique_ptr<TCliOptions> options;
    TChecksRunOptions runOptions;
    std::unique_ptr<TCliLogSession> session;
    TCliReportSourceChoice sourceChoice;
    TOrvAPIConnectionParam param;
    try {
        RefuseCommandLinePassword(args);
        options = std::make_unique<TCliOptions>(
            args,
            QStringList{"--file", "--cash-account", "--liability-account", "--company-file",
                        "--dev-log", "--kind", "--batch-size"} +
                CliConnectionOptions + CliPayrollOptions + CliPostingOptions,
            QStringList{"--clear", "--no-clear", "--include-dd", "--no-include-dd", "--payee-names",
                        "--no-payee-names", "--direct", "--help"} +
                CliPostingSwitches);
        if (options->Has(QStringLiteral("--help"))) {
            env.Out << ChecksHelp << CliPostingOptionsHelp << CliCommonOptionsHelp << '\n'
                    << CliPayrollOptionsHelp << '\n'
                    << CliConnectionOptionsHelp << CliReportWaitHelp << CliPasswordHelp
                    << ChecksExitHelp;
            return cecSuccess;
        }
        sourceChoice =
            CliReportSourceChoice(env, *options, QStringList{"--kind"},
                                  QStringLiteral("the report file is missing: --file PATH"));
        runOptions.Source.Tab = sourceChoice.Payrolls ? rstDirectConnection : rstFile;
        runOptions.Source.FileName = options->Value(QStringLiteral("--file")).trimmed();
        runOptions.CheckKindChoice = KindChoice(*options);
        runOptions.Posting = CliPostingChoice(*options);
        runOptions.Checks = Options(env, *options);
        session = std::make_unique<TCliLogSession>(env, env.Out,
                                                   options->Value(QStringLiteral("--dev-log")));
        if (sourceChoice.Payrolls)
            param = CliConnectionParam(env, *options, *session->Logger());
    } catch (const ECliUsageError& e) {
        return ShowUsageError(env.Err, QStringLiteral("checks"), e.Message());
    }

    TConsoleUserDialogs console(env.Out, env.Err, env.In);
    TSummariesAtEnd dialogs(console);
    TCliRunHost host(env, dialogs, CliConnectionFactory(env, *options),
                     sourceChoice.PollIntervalMs);
    if (sourceChoice.Payrolls) {
        const std::exception_ptr failure = host.Run([&](TRunContext& context) {
            runOptions.Source.Direct =
                TDirectSourceOptions{param, LoadChosenPayrolls(context, env, *sourceChoice.Payrolls,
                                                               param, host.Orvane())};
        });
        if (ShowRunFailure(dialogs, failure))
            return cecFailed;
    }
    TChecksExportRun run(runOptions);
    if (ShowRunFailure(dialogs, host.Run([&run](TRunContext& context) {
            RethrowPostFailure(run.RunChecksExport(context));
        })))
        return cecFailed;
    const QList<TPostResult>& results = run.Results();
    int exitCode = runOptions.Posting.Preview
                       ? FinishCliPreview(env, dialogs, *options, PostPreviews(results))
                       : cecSuccess;
    bool notFetched = false;
    for (const TPostResult& result : results) {
        // A preview's totals are in its table.
        if (!runOptions.Posting.Preview && !result.Summary.isEmpty())
            env.Out << result.Summary << '\n';
        if (result.Counts.Checks.Errors > 0)
            exitCode = cecFailed;
        notFetched = notFetched || result.State == psNoReport;
    }
    // A report that did not come (a failed server task, a cancel) is only
    // logged by the run; a script must see it.
    if (notFetched) {
        if (host.FailuresShown() == 0)
            dialogs.ShowError(QStringLiteral("An Orvane report was not fetched"));
        exitCode = cecFailed;
    }
    env.Out.flush();
    return exitCode;
}
