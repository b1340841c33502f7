// orvq-cli checks: the checks export run on a report file, with the saved
// checks options overridden by flags.
#include "CliSupport.h"

#include "export/ChecksExportRun.h"

namespace {

const char* const ChecksHelp =
    "usage: orvq-cli checks --file PATH [options]\n"
    "\n"
    "Exports the checks of an Orvane S1910 (employee checks) or S1911 (agency checks)\n"
    "report file into QuickBooks: checks, deposits for returned direct-deposit pay and\n"
    "voids, skipping what QuickBooks already holds. The user log is printed as the run\n"
    "writes it; the last line is the summary.\n"
    "\n"
    "Options (each defaults to the value saved by Orvane QB Export):\n"
    "  --file PATH                 the report file (required)\n"
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
    "Exit code 0: every check done; 1: the run failed or some checks failed; 2: wrong usage.\n";

class TFileRunInputs : public IChecksRunInputs {
public:
    TFileRunInputs(QString file, TQBChecksExportParam options)
        : m_file(std::move(file)), m_options(std::move(options)) {}
    TReportSourceTab SourceTab() const override { return rstFile; }
    QString FileName() const override { return m_file.trimmed(); }
    IDirectReportSource* DirectSource() const override { return nullptr; }
    int CheckKindChoice() const override { return crcAllChecks; }
    TQBChecksExportParam ChecksExportParam() const override { return m_options; }

private:
    QString m_file;
    TQBChecksExportParam m_options;
};

TQBChecksExportParam Options(const TCliEnvironment& env, const TCliOptions& options) {
    TQBChecksExportParam p = LoadChecksExportParam(*env.Settings, QBChecksExportOptionsKey);
    if (options.Has(QStringLiteral("--cash-account")))
        p.CashAccount = options.Value(QStringLiteral("--cash-account"));
    if (options.Has(QStringLiteral("--liability-account")))
        p.LiabilityAccount = options.Value(QStringLiteral("--liability-account"));
    p.Clear = options.Switch(QStringLiteral("--clear"), p.Clear);
    p.IncludeDD = options.Switch(QStringLiteral("--include-dd"), p.IncludeDD);
    p.IncludeEENames = options.Switch(QStringLiteral("--payee-names"), p.IncludeEENames);
    // The window does not run without both accounts either.
    if (p.CashAccount.trimmed().isEmpty())
        throw ECliUsageError(
            QStringLiteral("no cash account is saved; give one with --cash-account NAME"));
    if (p.LiabilityAccount.trimmed().isEmpty())
        throw ECliUsageError(QStringLiteral(
            "no liability account is saved; give one with --liability-account NAME"));
    return p;
}

} // namespace

int RunChecksCommand(TCliEnvironment& env, const QStringList& args) {
    std::unique_ptr<TCliOptions> options;
    std::unique_ptr<TFileRunInputs> inputs;
    std::unique_ptr<TCliLogSession> session;
    try {
        options = std::make_unique<TCliOptions>(
            args,
            QStringList{"--file", "--cash-account", "--liability-account", "--company-file",
                        "--dev-log"},
            QStringList{"--clear", "--no-clear", "--include-dd", "--no-include-dd", "--payee-names",
                        "--no-payee-names", "--help"});
        if (options->Has(QStringLiteral("--help"))) {
            env.Out << ChecksHelp << CliCommonOptionsHelp << ChecksExitHelp;
            return cecSuccess;
        }
        if (options->Value(QStringLiteral("--file")).trimmed().isEmpty())
            throw ECliUsageError(QStringLiteral("the report file is missing: --file PATH"));
        inputs = std::make_unique<TFileRunInputs>(options->Value(QStringLiteral("--file")),
                                                  Options(env, *options));
        session =
            std::make_unique<TCliLogSession>(env.Out, options->Value(QStringLiteral("--dev-log")));
    } catch (const ECliUsageError& e) {
        env.Err << "orvq-cli checks: " << e.Message() << "\nTry 'orvq-cli checks --help'.\n";
        return cecUsage;
    }

    TConsoleUserDialogs dialogs(env.Out, env.Err, env.In);
    // The company file is looked up when the run connects, so a missing
    // redirection file is reported, and logged, as the run's failure.
    const TCliOptions& opts = *options;
    TQBConnectionFactory factory = [&env, &opts](const ICommonLoggerPtr& logger) {
        return TQBConnection::Create(logger, CliConnectionConfig(env, opts));
    };
    TChecksExportRun run(session->Logger(), *inputs, dialogs, factory);
    try {
        run.RunChecksExport();
    } catch (const EztException& e) {
        dialogs.ShowError(e.Message());
        return cecFailed;
    } catch (const std::exception& e) {
        dialogs.ShowError(QString::fromLocal8Bit(e.what()));
        return cecFailed;
    }
    int exitCode = cecSuccess;
    for (const TChecksRunOutcome& outcome : run.Outcomes()) {
        env.Out << outcome.Summary << '\n';
        if (outcome.Result.Errors > 0)
            exitCode = cecFailed;
    }
    env.Out.flush();
    return exitCode;
}
