// Cost of packing the logs of a long run: in-memory developer and user logs
// and a user log file, written into a 7z archive through the 7-Zip library.
// Prints figures; asserts nothing.
//   bench_packlogs [library]   (default /usr/lib/p7zip/7z.so)
#include "logkeeper/vlxSendMailLoggerView.h"
#include "settings/vlxRedir.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

namespace {

void Run(const QString& library, int records) {
    QTemporaryDir dir;
    TCommonLoggerKeeper keeper;
    TSendMailLogServices services;
    services.Redirection = [&] {
        return std::make_shared<TGenericRedirection>(
            TRedirectionEntries{{"LogArchives", dir.filePath("archives")}},
            TRedirectionEntries{{"SevenZipDll", library}}, TRedirectionPlaces(), QString());
    };
    services.ProgramName = QStringLiteral("orvq");
    TSendMailLogs logs(keeper, services);
    logs.SetArchivePassword(QStringLiteral("bench-password"));
    keeper.StartUserLogFile(dir.filePath("OrvQ.log"));

    ICommonLogger& log = *keeper.Logger();
    for (int i = 0; i < records; ++i) {
        TLogBlockGuard block(log, QStringLiteral("Adding check"));
        log.LogContextItem(QStringLiteral("Check number"), QString::number(100000 + i));
        log.LogDebug(QStringLiteral("Request prepared"));
        log.LogEvent(QStringLiteral("Check %1 added").arg(100000 + i));
    }

    QElapsedTimer timer;
    timer.start();
    const QString archive = logs.PackLogs(dir.filePath("archives"), QDateTime::currentDateTime());
    const double seconds = timer.nsecsElapsed() / 1e9;
    const qint64 input = logs.DeveloperLog().size() + logs.UserLog().size() +
                         QFileInfo(dir.filePath("OrvQ.log")).size();
    std::printf("%8d records: %9.1f KiB of logs -> %8.1f KiB archive in %7.3f s (%6.1f MiB/s)\n",
                records, input / 1024.0, QFileInfo(archive).size() / 1024.0, seconds,
                input / 1048576.0 / seconds);
    keeper.StopUserLogFile();
}

} // namespace

int main(int argc, char** argv) {
    const QString library =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/usr/lib/p7zip/7z.so");
    try {
        for (int records : {1000, 10000, 100000})
            Run(library, records);
    } catch (const EztException& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
