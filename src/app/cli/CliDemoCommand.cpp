// orvq-cli demo: the program's main job on its embedded defaults, what
// scripts/run.sh shows where no window can open. The bundled sample checks
// report (or the file given) is exported into the QuickBooks company of the
// redirection file (the sandbox demo company, created when missing).
#include "CliSupport.h"

#include "settings/QBDecl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

int RunChecksCommand(TCliEnvironment& env, const QStringList& args);

int RunDemoCommand(TCliEnvironment& env, const QStringList& args) {
    if (args.size() > 1 || (args.size() == 1 && args[0].startsWith(u'-'))) {
        env.Out << "usage: orvq-cli demo [FILE]\n\n"
                   "Exports FILE, by default the bundled sample S1910 report, into the demo\n"
                   "QuickBooks company with the saved checks options; the demo company's\n"
                   "payroll accounts stand in for accounts not saved yet. Run it twice to see\n"
                   "every check reported as already existing.\n";
        return args[0] == u"--help" ? cecSuccess : cecUsage;
    }
    const QString file = args.isEmpty() ? QDir(QCoreApplication::applicationDirPath())
                                              .filePath(QStringLiteral("samples/s1910-sample.txt"))
                                        : args[0];
    QStringList command{QStringLiteral("--file"), file};
    const TQBChecksExportParam saved =
        LoadChecksExportParam(*env.Core.Settings(), QBChecksExportOptionsKey);
    if (saved.CashAccount.trimmed().isEmpty())
        command << QStringLiteral("--cash-account") << QStringLiteral("Payroll Checking");
    if (saved.LiabilityAccount.trimmed().isEmpty())
        command << QStringLiteral("--liability-account")
                << QStringLiteral("Payroll Liabilities:Net Pay Clearing");
    try {
        const QString company = CliCompanyFile(env);
        env.Out << "Orvane QB Export: exporting " << QDir::toNativeSeparators(file)
                << "\ninto the QuickBooks company " << QDir::toNativeSeparators(company)
                << (QFileInfo::exists(company) ? "\n\n"
                                               : " (created now from the demo company)\n\n");
        env.Out.flush();
    } catch (const EztException& e) {
        env.Err << "Error: " << e.Message() << '\n';
        return cecFailed;
    }
    return RunChecksCommand(env, command);
}
