// orvq-cli: the exports of Orvane QB Export for scripts (see --help).
#include "ProgramQBProcessor.h"
#include "app/cli/CliSupport.h"
#include "app/cli/CliTerminalOutput.h"
#include "app/cli/ConsoleTerminal.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(ApplicationTitle);
    TConsoleOutputs console;
    QTextStream in(stdin);
    TAppCoreOptions options;
    options.ProgramFilePath = MainProgramFilePath();
    options.QBProcessor = ProgramQBRequestProcessor();
    TAppCore core(options);
    // Questions are asked only at a terminal; in batch use they are answered No.
    const bool terminal = StdinIsTerminal();
    TCliEnvironment env{console.Out(), console.Err(), terminal ? &in : nullptr, core};
    if (qEnvironmentVariableIsSet("ORVQ_PASSWORD"))
        env.PasswordVariable = qEnvironmentVariable("ORVQ_PASSWORD");
    if (qEnvironmentVariableIsSet("ORVQ_LEDGER_PASSWORD"))
        env.LedgerPasswordVariable = qEnvironmentVariable("ORVQ_LEDGER_PASSWORD");
    if (terminal)
        env.AskPassword = &ReadHiddenLine;
    env.WatchInterrupt = [](std::function<void()> cancel) -> std::shared_ptr<void> {
        return std::make_shared<TConsoleInterrupt>(std::move(cancel));
    };
    const int code = RunOrvqCli(QCoreApplication::arguments().mid(1), env);
    console.Out().flush();
    console.Err().flush();
    return code;
}
