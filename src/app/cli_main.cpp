// orvq-cli: the exports of Orvane QB Export for scripts (see --help).
#include "CliSupport.h"

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
    TCliEnvironment env{out, err, &in, settings, &MainProgramCompanyFile};
    const int code = RunOrvqCli(QCoreApplication::arguments().mid(1), env);
    out.flush();
    err.flush();
    return code;
}
