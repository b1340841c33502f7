// Parses a generated S348 journal of 100,000 lines in each layout with the
// full logger chain attached (developer and user writers on in-memory
// outputs) and reports the throughput and the peak memory. Each layout runs
// in a child process of its own so that its peak is its own.
//
//     bench_glparser [lines] [csv|fixed]
#include "logging/vlxLogWriters.h"
#include "logging/vlxLoggerChain.h"
#include "reports/OrvGLParser.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Pairs of equal debit and credit lines, tags with a class part.
QString GenerateJournal(int lines, bool fixedWidth) {
    QString text;
    text.reserve(lines * (fixedWidth ? 89 : 60));
    for (int i = 0; i < lines; ++i) {
        const QString tag = QStringLiteral("C%1-%2").arg(i % 40).arg(6000 + i % 5000);
        const QString amount =
            QStringLiteral("%1.%2").arg(100 + i / 2 % 9000).arg(i / 2 % 100, 2, 10, QChar(u'0'));
        const bool debit = i % 2 == 0;
        const QString net = debit ? amount : u'-' + amount;
        const QString dr = debit ? amount : QString();
        const QString cr = debit ? QString() : amount;
        if (fixedWidth) {
            text +=
                QStringLiteral("ORV120240308PR%1WK10        ").arg(i % 10000, 4, 10, QChar(u'0'));
            text += tag.leftJustified(15) + net.rightJustified(14) + dr.rightJustified(14) +
                    cr.rightJustified(14);
        } else {
            text += QStringLiteral("ORV1,20240308,PR%1,WK10,,%2,%3,%4,%5")
                        .arg(i % 10000, 4, 10, QChar(u'0'))
                        .arg(tag, net, dr, cr);
        }
        text += QStringLiteral("\r\n");
    }
    return text;
}

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int RunLayout(int lines, bool fixedWidth) {
    const QString journal = GenerateJournal(lines, fixedWidth);
    const long rssBefore = PeakRssKiB();

    TLoggerChain chain = CreateLoggerChain();
    QBuffer devLog;
    QBuffer userLog;
    devLog.open(QIODevice::WriteOnly);
    userLog.open(QIODevice::WriteOnly);
    auto devWriter =
        std::make_shared<TPlainTextDevLogWriter>(std::make_shared<TStreamLogOutput>(&devLog));
    auto userWriter =
        std::make_shared<TPlainTextUserLogWriter>(std::make_shared<TStreamLogOutput>(&userLog));
    chain.Stateful->AddSink(devWriter);
    chain.Stateful->AddSink(userWriter);

    TQBGLExportParam param;
    param.GLTagParsing = gtpAssignClass;
    param.DelimiterInGLTag = QStringLiteral("-");

    QElapsedTimer timer;
    timer.start();
    const TGLRecordArray records = ParseGLJournal(*chain.Common, journal, param);
    const double seconds = timer.nsecsElapsed() / 1e9;

    chain.Stateful->RemoveSink(devWriter);
    chain.Stateful->RemoveSink(userWriter);

    std::printf("%s layout\n", fixedWidth ? "fixed-width" : "comma-separated");
    std::printf("  lines parsed:      %zu\n", records.size());
    std::printf("  journal size:      %.1f MB (as text)\n", journal.size() * 2 / 1e6);
    std::printf("  time:              %.3f s\n", seconds);
    std::printf("  throughput:        %.0f lines/s\n", records.size() / seconds);
    std::printf("  developer log:     %.1f MB\n", devLog.size() / 1e6);
    std::printf("  peak RSS:          %.1f MB (%.1f MB before parsing)\n", PeakRssKiB() / 1024.0,
                rssBefore / 1024.0);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (argc > 2)
        return RunLayout(lines, std::strcmp(argv[2], "fixed") == 0);
    std::fflush(stdout);
    int result = 0;
    for (const bool fixedWidth : {false, true}) {
        const pid_t child = fork();
        if (child == 0)
            _exit(RunLayout(lines, fixedWidth));
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0)
            result = 1;
    }
    return result;
}
