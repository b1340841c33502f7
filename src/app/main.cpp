// orvq: until the window exists, the program's main job on its embedded
// defaults: the bundled sample checks report (or the file given) is exported
// into the QuickBooks company of the redirection file (the sandbox demo
// company, created when missing), printing the log and the summary.
#include "CliSupport.h"

#include "settings/QBDecl.h"
#include "settings/RegionalSettingsGroup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Orvane QB Export"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const IztSettingsPtr settings = CreateAppSettings();
    LoadRegionalSettings(*settings);

    const QStringList args = QCoreApplication::arguments();
    const QString file = args.size() > 1
                             ? args[1]
                             : QDir(QCoreApplication::applicationDirPath())
                                   .filePath(QStringLiteral("samples/s1910-sample.txt"));
    QStringList command{QStringLiteral("checks"), QStringLiteral("--file"), file};
    // Until accounts are chosen in the window, the demo company's payroll
    // accounts stand in.
    const TQBChecksExportParam saved = LoadChecksExportParam(*settings, QBChecksExportOptionsKey);
    if (saved.CashAccount.trimmed().isEmpty())
        command << QStringLiteral("--cash-account") << QStringLiteral("Payroll Checking");
    if (saved.LiabilityAccount.trimmed().isEmpty())
        command << QStringLiteral("--liability-account")
                << QStringLiteral("Payroll Liabilities:Net Pay Clearing");

    try {
        const QString company = MainProgramCompanyFile();
        out << "Orvane QB Export: exporting " << QDir::toNativeSeparators(file)
            << "\ninto the QuickBooks company " << QDir::toNativeSeparators(company)
            << (QFileInfo::exists(company) ? "\n\n" : " (created now from the demo company)\n\n");
        out.flush();
    } catch (const EztException& e) {
        TConsoleUserDialogs(out, err, nullptr).ShowError(e.Message());
        return cecFailed;
    }
    TCliEnvironment env{out, err, nullptr, settings, &MainProgramCompanyFile};
    return RunOrvqCli(command, env);
}
