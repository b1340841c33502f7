// orvq-cli: the exports of Orvane QB Export for scripts (see --help).
#include "CliSupport.h"
#include "ConsoleTerminal.h"

#include "settings/RegionalSettingsGroup.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Orvane QB Export"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    const IztSettingsPtr settings = MainProgramSettings();
    LoadRegionalSettings(*settings);
    // Questions are asked only at a terminal; in batch use they are answered No.
    TCliEnvironment env{out, err, StdinIsTerminal() ? &in : nullptr, settings,
                        &MainProgramCompanyFile};
    const int code = RunOrvqCli(QCoreApplication::arguments().mid(1), env);
    out.flush();
    err.flush();
    return code;
}
