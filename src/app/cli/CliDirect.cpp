#include "CliDirect.h"

#include "base/RegionalSettings.h"
#include "base/vlxErrorDisplay.h"
#include "base/ztFormat.h"

#include <QRegularExpression>

const QStringList CliConnectionOptions{"--server", "--port", "--user", "--poll-interval"};
const QStringList CliPayrollOptions{"--company", "--payrolls", "--from", "--to"};

const char* const CliConnectionOptionsHelp =
    "The Orvane service (each defaults to the connection saved by Orvane QB Export):\n"
    "  --server HOST        the service's address\n"
    "  --port N             its port (9943 unless saved otherwise)\n"
    "  --user NAME          the user name, NAME or NAME@DOMAIN\n";

const char* const CliReportWaitHelp =
    "  --poll-interval S    ask every S seconds whether the report is ready (default\n"
    "                       15); Ctrl+C while a report is awaited cancels it\n";

const char* const CliPasswordHelp =
    "The password is taken from the environment variable ORVQ_PASSWORD, else the saved\n"
    "one (when neither --server nor --user changes the saved ones), else asked for at\n"
    "the terminal. It is never taken from the command line, where other users of the\n"
    "machine can read it.\n";

const char* const CliPayrollOptionsHelp =
    "The payrolls ('orvq-cli payrolls' lists the numbers):\n"
    "  --company CO_NBR     the internal number of the company\n"
    "  --payrolls N[,N...]  the internal numbers of its payrolls\n"
    "  --from DATE, --to DATE\n"
    "                       the check-date period (yyyy-mm-dd or the short date format,\n"
    "                       both ends included): with --payrolls the payrolls must lie\n"
    "                       in it, without it every payroll of the company in it is taken\n";

namespace {

const QString PasswordOption = QStringLiteral("--password");

// A positive number of an option, such as an internal number.
qint32 PositiveNumber(const QString& option, const QString& text) {
    bool ok = false;
    const qint32 number = text.trimmed().toInt(&ok);
    if (!ok || number <= 0)
        throw ECliUsageError(
            Format("%s takes a positive whole number, not \"%s\"", {option, text.left(64)}));
    return number;
}

} // namespace

void RefuseCommandLinePassword(const QStringList& args) {
    for (const QString& arg : args)
        if (arg == PasswordOption || arg.startsWith(PasswordOption + u'='))
            throw ECliUsageError(QStringLiteral(
                "a password is not taken from the command line, where other users of the "
                "machine can read it; set the environment variable ORVQ_PASSWORD, save it in "
                "Orvane QB Export, or run at a terminal to be asked for it"));
}

void RefuseOptions(const TCliOptions& options, const QStringList& names, const QString& why) {
    for (const QString& name : names)
        if (options.Has(name))
            throw ECliUsageError(Format("%s %s", {name, why}));
}

int CliPort(const TCliOptions& options) {
    const QString text = options.Value(QStringLiteral("--port"));
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        throw ECliUsageError(
            Format("--port takes a number from 1 to 65535, not \"%s\"", {text.left(64)}));
    return port;
}

TOrvAPIConnectionParam CliConnectionParam(const TCliEnvironment& env, const TCliOptions& options,
                                          ICommonLogger& logger) {
    TOrvAPIConnectionParam saved;
    LoadConnectionParam(logger, *env.Core.Settings(), QString(), saved);
    TOrvAPIConnectionParam param = saved;
    param.SavePassword = false;
    if (options.Has(QStringLiteral("--server")))
        param.APIServerAddress = options.Value(QStringLiteral("--server")).trimmed();
    if (options.Has(QStringLiteral("--port")))
        param.APIServerPort = CliPort(options);
    if (options.Has(QStringLiteral("--user")))
        param.Username = options.Value(QStringLiteral("--user")).trimmed();
    if (param.APIServerAddress.isEmpty())
        throw ECliUsageError(
            QStringLiteral("no Orvane server is saved; give one with --server HOST"));
    if (param.Username.isEmpty())
        throw ECliUsageError(QStringLiteral("no Orvane user is saved; give one with --user NAME"));

    // A saved password belongs to the saved user on the saved server.
    const bool savedAccount = !saved.Password.isEmpty() && param.Username == saved.Username &&
                              param.APIServerAddress == saved.APIServerAddress;
    if (env.PasswordVariable) {
        param.Password = *env.PasswordVariable;
    } else if (savedAccount) {
        param.Password = saved.Password;
    } else if (env.AskPassword) {
        const std::optional<QString> answer =
            env.AskPassword(Format("Orvane password of %s: ", {param.Username}));
        if (!answer)
            throw ECliUsageError(QStringLiteral("no password was given"));
        param.Password = *answer;
    } else {
        throw ECliUsageError(Format("no password of %s is saved; set the environment variable "
                                    "ORVQ_PASSWORD",
                                    {param.Username}));
    }
    return param;
}

TOrvAPIEnvironment CliOrvEnvironment(const TCliEnvironment& env) {
    TOrvAPIEnvironment orv;
    // Read once: the lists and every fetch of the command see the same file.
    orv.Redirection = env.Core.Redirection();
    return orv;
}

int CliPollIntervalMs(const TCliEnvironment& env, const TCliOptions& options) {
    if (!options.Has(QStringLiteral("--poll-interval")))
        return env.ReportPollIntervalMs;
    const QString text = options.Value(QStringLiteral("--poll-interval"));
    bool ok = false;
    const int seconds = text.trimmed().toInt(&ok);
    if (!ok || seconds < 1 || seconds > 3600)
        throw ECliUsageError(Format("--poll-interval takes a number of seconds from 1 to 3600, "
                                    "not \"%s\"",
                                    {text.left(64)}));
    return seconds * 1000;
}

QDate CliDate(const QString& option, const QString& text) {
    static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QString trimmed = text.trimmed();
    QDate date;
    if (iso.match(trimmed).hasMatch()) {
        date = QDate::fromString(trimmed, Qt::ISODate);
    } else {
        try {
            date = StrToDate(trimmed);
        } catch (const EztException&) {
            date = QDate();
        }
    }
    if (!date.isValid())
        throw ECliUsageError(Format("%s takes a date (yyyy-mm-dd or %s), not \"%s\"",
                                    {option, DateToStr(QDate(2024, 3, 8)), text.left(64)}));
    return date;
}

std::optional<TCliPeriod> CliPeriod(const TCliOptions& options) {
    const bool from = options.Has(QStringLiteral("--from"));
    const bool to = options.Has(QStringLiteral("--to"));
    if (from != to)
        throw ECliUsageError(QStringLiteral("--from and --to go together"));
    if (!from)
        return std::nullopt;
    TCliPeriod period{CliDate(QStringLiteral("--from"), options.Value(QStringLiteral("--from"))),
                      CliDate(QStringLiteral("--to"), options.Value(QStringLiteral("--to")))};
    if (period.From > period.To)
        throw ECliUsageError(QStringLiteral("the period ends before it begins"));
    return period;
}

TCliPayrollChoice CliPayrollChoice(const TCliOptions& options) {
    if (!options.Has(QStringLiteral("--company")))
        throw ECliUsageError(QStringLiteral("the company is missing: --company CO_NBR"));
    TCliPayrollChoice choice;
    choice.CoNbr =
        PositiveNumber(QStringLiteral("--company"), options.Value(QStringLiteral("--company")));
    const std::optional<TCliPeriod> period = CliPeriod(options);
    if (options.Has(QStringLiteral("--payrolls"))) {
        for (const QString& item : options.Value(QStringLiteral("--payrolls")).split(u','))
            choice.PrNbrs << PositiveNumber(QStringLiteral("--payrolls"), item);
    } else if (!period) {
        throw ECliUsageError(
            QStringLiteral("the payrolls are missing: --payrolls N[,N...] or --from DATE --to "
                           "DATE"));
    }
    // Chosen by number alone: the list of every check date is loaded.
    choice.Period = period.value_or(TCliPeriod{QDate(1900, 1, 1), QDate(2199, 12, 31)});
    return choice;
}

TOrvPayrollsDef LoadChosenPayrolls(TRunContext& context, const TCliEnvironment& env,
                                   const TCliPayrollChoice& choice,
                                   const TOrvAPIConnectionParam& param, TOrvAPIEnvironment& orv) {
    ICommonLogger& log = *context.Logger;
    TLogBlockGuard block(log, QStringLiteral("Choosing Orvane payrolls"));
    TOrvPayrollsDef selection;
    try {
        log.LogContextItem(QStringLiteral("Internal Co#"), QString::number(choice.CoNbr));
        orv = CliOrvEnvironment(env);
        context.Orvane = orv;
        TOrvPayrollLists lists(orv.Redirection);
        lists.LoadPayrollList(param, context.Logger, *context.Progress, choice.Period.From,
                              choice.Period.To, context.OrvaneEnvironment());
        if (!choice.PrNbrs.isEmpty()) {
            selection = lists.SelectByNumbers(choice.CoNbr, choice.PrNbrs);
        } else {
            selection = lists.CompanyPayrolls(choice.CoNbr);
            if (selection.Payrolls.empty())
                throw EztException(Format(
                    QStringLiteral("Company %d has no payroll with a check date from %s "
                                   "to %s"),
                    {choice.CoNbr, DateToStr(choice.Period.From), DateToStr(choice.Period.To)}));
        }
    } catch (...) {
        log.PassthroughException();
    }
    return selection;
}

TCliReportSourceChoice CliReportSourceChoice(const TCliEnvironment& env, const TCliOptions& options,
                                             const QStringList& directOnly,
                                             const QString& missingFile) {
    TCliReportSourceChoice choice;
    if (options.Has(QStringLiteral("--direct"))) {
        if (options.Has(QStringLiteral("--file")))
            throw ECliUsageError(QStringLiteral("--file and --direct exclude each other"));
        choice.Payrolls = CliPayrollChoice(options);
        choice.PollIntervalMs = CliPollIntervalMs(env, options);
    } else {
        RefuseOptions(options, directOnly + CliConnectionOptions + CliPayrollOptions,
                      QStringLiteral("goes with --direct only"));
        if (options.Value(QStringLiteral("--file")).trimmed().isEmpty())
            throw ECliUsageError(missingFile);
    }
    return choice;
}
