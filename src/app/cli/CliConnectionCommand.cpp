// orvq-cli connection: shows the Orvane connection settings the program has
// saved and changes them as the "Connection settings" tab does, for set-up
// scripts (scripts/run.sh saves the sandbox service's on first start).
#include "CliDirect.h"

namespace {

const char* const ConnectionHelp =
    "usage: orvq-cli connection [--server HOST] [--port N] [--user NAME]\n"
    "                           [--save-password | --no-save-password] [--if-none-saved]\n"
    "\n"
    "Shows the Orvane connection settings saved by Orvane QB Export. Options change\n"
    "and save them first, as the \"Connection settings\" tab does:\n"
    "  --server HOST, --port N, --user NAME\n"
    "                       the service's address, port and user name\n"
    "  --save-password      save the password, protected; it is taken from the\n"
    "                       environment variable ORVQ_PASSWORD, else asked for at the\n"
    "                       terminal\n"
    "  --no-save-password   forget a saved password\n"
    "  --if-none-saved      change nothing when a server is saved already\n"
    "  --help               show this help\n";

void Show(QTextStream& out, const TOrvAPIConnectionParam& param) {
    out << "Server:   " << param.APIServerAddress << '\n'
        << "Port:     " << param.APIServerPort << '\n'
        << "User:     " << param.Username << '\n'
        << "Password: " << (param.SavePassword && !param.Password.isEmpty() ? "saved" : "not saved")
        << '\n';
}

} // namespace

int RunConnectionCommand(TCliEnvironment& env, const QStringList& args) {
    std::unique_ptr<TCliOptions> options;
    std::unique_ptr<TCliLogSession> session;
    TOrvAPIConnectionParam param;
    bool change = false;
    try {
        RefuseCommandLinePassword(args);
        options = std::make_unique<TCliOptions>(
            args, QStringList{"--server", "--port", "--user"},
            QStringList{"--save-password", "--no-save-password", "--if-none-saved", "--help"});
        if (options->Has(QStringLiteral("--help"))) {
            env.Out << ConnectionHelp;
            return cecSuccess;
        }
        session = std::make_unique<TCliLogSession>(env, env.Err, QString());
        LoadConnectionParam(*session->Logger(), *env.Core.Settings(), QString(), param);
        change = !args.isEmpty() && !(options->Has(QStringLiteral("--if-none-saved")) &&
                                      !param.APIServerAddress.trimmed().isEmpty());
        if (change) {
            if (options->Has(QStringLiteral("--server")))
                param.APIServerAddress = options->Value(QStringLiteral("--server")).trimmed();
            if (options->Has(QStringLiteral("--port")))
                param.APIServerPort = CliPort(*options);
            if (options->Has(QStringLiteral("--user")))
                param.Username = options->Value(QStringLiteral("--user")).trimmed();
            param.SavePassword =
                options->Switch(QStringLiteral("--save-password"), param.SavePassword);
            if (options->Has(QStringLiteral("--save-password"))) {
                std::optional<QString> password = env.PasswordVariable;
                if (!password && env.AskPassword)
                    password = env.AskPassword(Format("Orvane password of %s: ", {param.Username}));
                if (!password || password->isEmpty())
                    throw ECliUsageError(
                        QStringLiteral("no password was given; set ORVQ_PASSWORD"));
                param.Password = *password;
            }
        }
    } catch (const ECliUsageError& e) {
        env.Err << "orvq-cli connection: " << e.Message()
                << "\nTry 'orvq-cli connection --help'.\n";
        return cecUsage;
    }
    if (change) {
        try {
            SaveConnectionParam(param, *env.Core.Settings(), QString());
        } catch (const EztException& e) {
            env.Err << "Error: " << e.Message() << '\n';
            return cecFailed;
        }
    }
    Show(env.Out, param);
    return cecSuccess;
}
