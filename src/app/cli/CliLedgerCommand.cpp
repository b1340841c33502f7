// orvq-cli ledger: where the run ledger is, and the PostgreSQL password the
// program saves for it, protected as the service password is; the password
// is never taken from the command line, where other users can read it.
#include "CliDirect.h"

#include "ledger/LedgerLocation.h"

namespace {

const char* const LedgerHelp =
    "usage: orvq-cli ledger [--save-password | --no-save-password]\n"
    "\n"
    "Shows the run ledger the alias \"Ledger\" of the redirection file names and\n"
    "whether a password is saved for it.\n"
    "  --save-password      save the PostgreSQL ledger's password, protected; it is\n"
    "                       taken from the environment variable ORVQ_LEDGER_PASSWORD,\n"
    "                       else asked for at the terminal\n"
    "  --no-save-password   forget a saved password\n"
    "  --help               show this help\n"
    "\n"
    "Exit code 0: done; 1: the settings cannot be written; 2: wrong usage.\n";

} // namespace

int RunLedgerCommand(TCliEnvironment& env, const QStringList& args) {
    std::unique_ptr<TCliOptions> options;
    TLedgerLocation location;
    std::optional<QString> password;
    try {
        for (const QString& arg : args)
            if (arg.startsWith(QLatin1String("--password")))
                throw ECliUsageError(QStringLiteral(
                    "a password is not taken from the command line, where other users of the "
                    "machine can read it; set the environment variable ORVQ_LEDGER_PASSWORD or "
                    "run at a terminal to be asked for it"));
        options = std::make_unique<TCliOptions>(
            args, QStringList{}, QStringList{"--save-password", "--no-save-password", "--help"});
        if (options->Has(QStringLiteral("--help"))) {
            env.Out << LedgerHelp;
            return cecSuccess;
        }
        if (options->Has(QStringLiteral("--save-password")) &&
            options->Has(QStringLiteral("--no-save-password")))
            throw ECliUsageError(
                QStringLiteral("--save-password and --no-save-password exclude each other"));
        location =
            ParseLedgerLocation(env.Core.Redirection()->GetFileName(QStringLiteral("Ledger")));
        if (options->Has(QStringLiteral("--save-password"))) {
            if (location.Engine != lenPostgreSQL)
                throw ECliUsageError(
                    QStringLiteral("the run ledger is an SQLite file, which takes no password"));
            password = env.LedgerPasswordVariable;
            if (!password && env.AskPassword)
                password = env.AskPassword(
                    Format("Password of the run ledger %s: ", {location.Display()}));
            if (!password || password->isEmpty())
                throw ECliUsageError(
                    QStringLiteral("no password was given; set ORVQ_LEDGER_PASSWORD"));
        } else if (options->Has(QStringLiteral("--no-save-password"))) {
            password = QString();
        }
    } catch (const ECliUsageError& e) {
        return ShowUsageError(env.Err, QStringLiteral("ledger"), e.Message());
    } catch (const EztException& e) {
        env.Err << "Error: " << EscapeControlChars(e.Message()) << '\n';
        return cecFailed;
    }
    IztSettings& settings = *env.Core.Settings();
    try {
        if (password)
            SaveLedgerPassword(settings, *password);
    } catch (const EztException& e) {
        env.Err << "Error: " << EscapeControlChars(e.Message()) << '\n';
        return cecFailed;
    }
    env.Out << "Ledger:   " << EscapeControlChars(location.Display()) << '\n';
    if (location.Engine == lenPostgreSQL)
        env.Out << "Password: " << (LoadLedgerPassword(settings).isEmpty() ? "not saved" : "saved")
                << '\n';
    return cecSuccess;
}
