// orvq-cli gl: the GL export run on a journal file or on the journal the
// payroll service makes for chosen payrolls, with the saved GL options
// overridden by flags and the duplicate-date question answered by --yes or
// --no in batch use.
#include "CliDirect.h"
#include "CliPosting.h"
#include "CliRun.h"

#include "runs/GLExportRun.h"

namespace {

const char* const GLHelp =
    "usage: orvq-cli gl --file PATH [options]\n"
    "       orvq-cli gl --direct --company CO_NBR (--payrolls N[,N...] | --from DATE\n"
    "                   --to DATE) [options]\n"
    "\n"
    "Exports an Orvane S348 journal report (comma-separated or fixed-width) into\n"
    "QuickBooks as one journal entry, after checking its company code, date, accounts\n"
    "and the classes or customers of its GL tags. The journal is read from a file, or,\n"
    "with --direct, the Orvane service makes it for the chosen payrolls. The user log\n"
    "is printed as the run writes it.\n"
    "\n"
    "Options (each defaults to the value saved by Orvane QB Export):\n"
    "  --file PATH                 the journal file\n"
    "  --direct                    fetch the journal from the Orvane service instead\n"
    "  --clear, --no-clear         mark the created journal entry as cleared, or not\n"
    "  --account-numbers, --no-account-numbers\n"
    "                              GL tags name accounts by number, or by full name\n"
    "  --tag-parsing KIND          what the part of a GL tag before the delimiter\n"
    "                              becomes: none, class or name (a customer)\n"
    "  --delimiter CHAR            the delimiter in GL tags (one character; a blank\n"
    "                              when none is saved)\n"
    "  --exclude-manual-checks, --no-exclude-manual-checks\n"
    "  --split-billing, --no-split-billing\n"
    "                              options of the journal report on the Orvane service,\n"
    "                              saved with the others\n"
    "  --yes, --no                 answer the question whether to post a journal entry\n"
    "                              on a date that already has one; without either the\n"
    "                              question is asked on the console, and answered No\n"
    "                              when there is no input\n";

const char* const GLExitHelp =
    "\n"
    "Exit code 0: the journal entry was created (with --preview: it would be, and\n"
    "nothing asks for a look); 1: the run failed, nothing was posted (also when the\n"
    "journal could not be fetched, the duplicate-date question was answered No or the\n"
    "company guard stopped the run; with --preview: the journal is invalid, its date\n"
    "has an entry or the company guard would ask); 2: wrong usage; 3: the journal\n"
    "entry was created but could not be marked cleared, or whether it was created is\n"
    "unknown: look at it in QuickBooks and do not post this journal again.\n";

// The console's boxes; a question answered beforehand is shown with its
// answer instead of waiting for one.
class TAnsweringDialogs : public IUserDialogs {
public:
    TAnsweringDialogs(TConsoleUserDialogs& console, QTextStream& out, std::optional<bool> answer)
        : m_console(console), m_out(out), m_answer(answer) {}

protected:
    void DoShowInformation(const QString& message) override { m_console.ShowInformation(message); }
    void DoShowError(const QString& message) override { m_console.ShowError(message); }
    TQuestionAnswer DoAsk(const TQuestion& question) override {
        if (!m_answer)
            return m_console.Ask(question);
        m_out << question.Text << (*m_answer ? " (--yes: Yes)\n" : " (--no: No)\n");
        m_out.flush();
        return {*m_answer};
    }

private:
    TConsoleUserDialogs& m_console;
    QTextStream& m_out;
    std::optional<bool> m_answer;
};

TGLTagParsing TagParsing(const QString& value) {
    if (value == u"none")
        return gtpDontParse;
    if (value == u"class")
        return gtpAssignClass;
    if (value == u"name")
        return gtpAssignName;
    throw ECliUsageError(
        Format("--tag-parsing takes none, class or name, not \"%s\"", {value.left(64)}));
}

TQBGLExportParam Options(const TCliEnvironment& env, const TCliOptions& options) {
    TQBGLExportParam p = LoadGLExportParam(*env.Core.Settings(), QBGLExportOptionsKey);
    p.Clear = options.Switch(QStringLiteral("--clear"), p.Clear);
    p.UseAccountNumbers = options.Switch(QStringLiteral("--account-numbers"), p.UseAccountNumbers);
    if (options.Has(QStringLiteral("--tag-parsing")))
        p.GLTagParsing = TagParsing(options.Value(QStringLiteral("--tag-parsing")));
    if (options.Has(QStringLiteral("--delimiter"))) {
        const QString delimiter = options.Value(QStringLiteral("--delimiter"));
        if (delimiter.size() != 1)
            throw ECliUsageError(QStringLiteral("--delimiter takes exactly one character"));
        p.DelimiterInGLTag = delimiter;
    }
    p.ExcludeManualChecks =
        options.Switch(QStringLiteral("--exclude-manual-checks"), p.ExcludeManualChecks);
    p.SplitBillingByDBDT = options.Switch(QStringLiteral("--split-billing"), p.SplitBillingByDBDT);
    p.BatchSize = CliBatchSize(options, p.BatchSize);
    return p;
}

std::optional<bool> PresetAnswer(const TCliOptions& options) {
    const bool yes = options.Has(QStringLiteral("--yes"));
    const bool no = options.Has(QStringLiteral("--no"));
    if (yes && no)
        throw ECliUsageError(QStringLiteral("--yes and --no exclude each other"));
    if (yes || no)
        return yes;
    return std::nullopt;
}

} // namespace

int RunGLCommand(TCliEnvironment& env, const QStringList& args) {
    std::unique_ptr<TCliOptions> options;
    TGLRunOptions runOptions;
    std::unique_ptr<TCliLogSession> session;
    std::optional<bool> answer;
    TCliReportSourceChoice sourceChoice;
    TOrvAPIConnectionParam param;
    try {
        RefuseCommandLinePassword(args);
        options = std::make_unique<TCliOptions>(
            args,
            QStringList{"--file", "--tag-parsing", "--delimiter", "--company-file", "--dev-log",
                        "--batch-size"} +
                CliConnectionOptions + CliPayrollOptions + CliPostingOptions,
            QStringList{"--clear", "--no-clear", "--account-numbers", "--no-account-numbers",
                        "--exclude-manual-checks", "--no-exclude-manual-checks", "--split-billing",
                        "--no-split-billing", "--yes", "--no", "--direct", "--help"} +
                CliPostingSwitches);
        if (options->Has(QStringLiteral("--help"))) {
            env.Out << GLHelp << CliPostingOptionsHelp << CliCommonOptionsHelp << '\n'
                    << CliPayrollOptionsHelp << '\n'
                    << CliConnectionOptionsHelp << CliReportWaitHelp << CliPasswordHelp
                    << GLExitHelp;
            return cecSuccess;
        }
        sourceChoice =
            CliReportSourceChoice(env, *options, QStringList(),
                                  QStringLiteral("the journal file is missing: --file PATH"));
        answer = PresetAnswer(*options);
        runOptions.Source.Tab = sourceChoice.Payrolls ? rstDirectConnection : rstFile;
        runOptions.Source.FileName = options->Value(QStringLiteral("--file")).trimmed();
        runOptions.Posting = CliPostingChoice(*options);
        runOptions.GL = Options(env, *options);
        session = std::make_unique<TCliLogSession>(env, env.Out,
                                                   options->Value(QStringLiteral("--dev-log")));
        if (sourceChoice.Payrolls)
            param = CliConnectionParam(env, *options, *session->Logger());
    } catch (const ECliUsageError& e) {
        return ShowUsageError(env.Err, QStringLiteral("gl"), e.Message());
    }

    TConsoleUserDialogs console(env.Out, env.Err, env.In);
    TAnsweringDialogs dialogs(console, env.Out, answer);
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
    TGLExportRun run(runOptions);
    TPostResult result;
    if (ShowRunFailure(dialogs, host.Run([&](TRunContext& context) {
            result = run.RunGLExport(context);
            RethrowPostFailure({result});
        })))
        return cecFailed;
    // A journal that did not come (a failed server task, a cancel) is only
    // logged by the run; a script must see it.
    if (result.State == psNoReport) {
        if (host.FailuresShown() == 0)
            dialogs.ShowError(QStringLiteral("The Orvane journal was not fetched"));
        return cecFailed;
    }
    if (runOptions.Posting.Preview)
        return result.Preview ? FinishCliPreview(env, dialogs, *options, {*result.Preview})
                              : cecFailed;
    env.Out.flush();
    return result.State == psUncertain ? cecPostedWithProblem : cecSuccess;
}
