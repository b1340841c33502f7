// orvq: until the window exists, parses a checks report (the bundled sample
// by default) and prints its records and the log of the parse.
#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "logging/vlxLogWriters.h"
#include "logging/vlxLoggerChain.h"
#include "reports/ReportFile.h"
#include "reports/orvchecksparser.h"
#include "settings/RegionalSettingsGroup.h"
#include "settings/ztSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Orvane QB Export"));
    LoadRegionalSettings(*CreateAppSettings());
    const QStringList args = QCoreApplication::arguments();
    const QString file = args.size() > 1
                             ? args[1]
                             : QDir(QCoreApplication::applicationDirPath())
                                   .filePath(QStringLiteral("samples/s1910-sample.txt"));

    QTextStream out(stdout);
    QStringList userLog;
    QStringList devLog;
    TLoggerChain chain = CreateLoggerChain();
    TScopedSink dev(chain.Stateful, std::make_shared<TPlainTextDevLogWriter>(
                                        std::make_shared<TStringsLogOutput>(&devLog)));
    TScopedSink user(chain.Stateful, std::make_shared<TPlainTextUserLogWriter>(
                                         std::make_shared<TStringsLogOutput>(&userLog)));
    ICommonLogger& logger = *chain.Common;

    int exitCode = 0;
    {
        TLogBlockGuard block(logger, QStringLiteral("Parsing Orvane Checks file"));
        logger.LogContextItem(QStringLiteral("Orvane Checks file"), file);
        try {
            const TCheckRecords records =
                ParseChecksReport(logger, ReadReportFile(file), crkEither);
            out << "Checks in " << file << ":\n";
            for (const TCheckRecord& r : records) {
                const QString payee =
                    r.IsEmployeeCheck
                        ? QString(r.FirstName + u' ' + r.MiddleInitial + u' ' + r.LastName)
                              .simplified()
                        : r.Payee;
                out << QStringLiteral("  %1  %2  %3  %4  %5\n")
                           .arg(DateToStr(r.CheckDate), -10)
                           .arg(r.CheckNumber, -10)
                           .arg(payee, -24)
                           .arg(r.Amount.ToFixed(2), 12)
                           .arg(r.Memo);
            }
            logger.LogEventFmt(
                QStringLiteral("%d %s parsed"),
                {int(records.size()), PluralForm(QStringLiteral("check"), qint64(records.size()))});
        } catch (...) {
            logger.StopException();
            exitCode = 1;
        }
    }
    out << "\nUser log:\n" << userLog.join(QStringLiteral("\r\n")) << "\n";
    out << "\nDeveloper log:\n" << devLog.join(QStringLiteral("\r\n")) << "\n";
    return exitCode;
}
