// orvq-cli payrolls: the clients, companies and payrolls of a check-date
// period on the payroll service, with the numbers the direct exports take.
#include "CliDirect.h"
#include "CliRun.h"

namespace {

const char* const PayrollsHelp =
    "usage: orvq-cli payrolls [--company CO_NBR] --from DATE --to DATE [options]\n"
    "\n"
    "Lists the clients, companies and payrolls of the Orvane service with a check date\n"
    "in the period (yyyy-mm-dd or the short date format, both ends included), one per\n"
    "line, with the internal numbers that 'orvq-cli checks --direct' and 'orvq-cli gl\n"
    "--direct' take:\n"
    "\n"
    "Client CL_NBR NUMBER NAME\n"
    "  Company CO_NBR NUMBER NAME\n"
    "    Payroll PR_NBR CHECK_DATE run RUN_NUMBER TYPE STATUS\n"
    "\n"
    "The log goes to standard error.\n"
    "\n"
    "Options:\n"
    "  --company CO_NBR     only this company (and its client)\n"
    "  --from DATE, --to DATE\n"
    "                       the check-date period (required)\n"
    "  --dev-log FILE       also write the developer log to FILE (replaced)\n"
    "  --help               show this help\n"
    "\n";

const char* const PayrollsExitHelp =
    "\n"
    "Exit code 0: listed; 1: the lists could not be loaded or the company is not in them;\n"
    "2: wrong usage.\n";

// The lines of one company and its client; empty when it is not listed.
QStringList CompanyLines(const QStringList& lines, qint32 coNbr) {
    const QString companyLine = QStringLiteral("  Company %1 ").arg(coNbr);
    QString client;
    QStringList result;
    bool inCompany = false;
    for (const QString& line : lines) {
        if (line.startsWith(QStringLiteral("Client "))) {
            client = line;
            inCompany = false;
        } else if (line.startsWith(QStringLiteral("  Company "))) {
            inCompany = line.startsWith(companyLine);
            if (inCompany)
                result << client << line;
        } else if (inCompany) {
            result << line;
        }
    }
    return result;
}

} // namespace

int RunPayrollsCommand(TCliEnvironment& env, const QStringList& args) {
    std::unique_ptr<TCliOptions> options;
    std::unique_ptr<TCliLogSession> session;
    TCliPeriod period;
    qint32 coNbr = 0;
    TOrvAPIConnectionParam param;
    try {
        RefuseCommandLinePassword(args);
        options = std::make_unique<TCliOptions>(
            args,
            QStringList{"--company", "--from", "--to", "--dev-log", "--server", "--port", "--user"},
            QStringList{"--help"});
        if (options->Has(QStringLiteral("--help"))) {
            env.Out << PayrollsHelp << CliConnectionOptionsHelp << CliPasswordHelp
                    << PayrollsExitHelp;
            return cecSuccess;
        }
        const std::optional<TCliPeriod> given = CliPeriod(*options);
        if (!given)
            throw ECliUsageError(QStringLiteral("the period is missing: --from DATE --to DATE"));
        period = *given;
        if (options->Has(QStringLiteral("--company"))) {
            bool ok = false;
            const QString text = options->Value(QStringLiteral("--company"));
            coNbr = text.trimmed().toInt(&ok);
            if (!ok || coNbr <= 0)
                throw ECliUsageError(
                    Format("--company takes a positive whole number, not \"%s\"", {text.left(64)}));
        }
        // The listing is the output; the log stays out of its way.
        session = std::make_unique<TCliLogSession>(env, env.Err,
                                                   options->Value(QStringLiteral("--dev-log")));
        param = CliConnectionParam(env, *options, *session->Logger());
    } catch (const ECliUsageError& e) {
        return ShowUsageError(env.Err, QStringLiteral("payrolls"), e.Message());
    }

    TConsoleUserDialogs dialogs(env.Out, env.Err, nullptr);
    TCliRunHost host(env, dialogs, CliConnectionFactory(env, *options));
    QStringList lines;
    if (ShowRunFailure(dialogs, host.Run([&](TRunContext& context) {
            context.Orvane = CliOrvEnvironment(env);
            TOrvPayrollLists lists(context.Orvane.Redirection);
            lists.LoadPayrollList(param, context.Logger, *context.Progress, period.From, period.To,
                                  context.OrvaneEnvironment());
            lines = lists.ListText();
        })))
        return cecFailed;
    if (coNbr > 0) {
        lines = CompanyLines(lines, coNbr);
        if (lines.isEmpty()) {
            dialogs.ShowError(
                Format(QStringLiteral("Company %d is not in the Orvane company list"), {coNbr}));
            return cecFailed;
        }
    }
    for (const QString& line : lines)
        env.Out << line << '\n';
    env.Out.flush();
    return cecSuccess;
}
