// Pieces the benchmarks share: generated journals, the full logger chain
// with in-memory writers, and the peak memory of the process.
#pragma once

#include "logging/vlxLogWriters.h"
#include "logging/vlxLoggerChain.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

inline long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// CPU time of this process: on a machine shared with other work it counts
// only what the process itself spent, where wall time also counts waiting.
inline double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Runs a measurement in a child process, so that its peak memory is its
// own; false when the child failed.
template <class Measure> bool InChildProcess(Measure&& measure) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        const int result = measure();
        std::fflush(stdout);
        _exit(result);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Times a parse of `lines` lines: the first in the process (its memory
// fresh from the system) and the best of four more (the allocator warm), in
// wall time and in CPU time. `parse` returns the number of records.
template <class Parse> bool PrintThroughput(std::size_t lines, Parse&& parse) {
    double firstWall = 0, firstCpu = 0, bestWall = 1e9, bestCpu = 1e9;
    for (int run = 0; run < 5; ++run) {
        const double cpuStart = CpuSeconds();
        QElapsedTimer timer;
        timer.start();
        const std::size_t records = parse();
        const double wall = timer.nsecsElapsed() / 1e9;
        const double cpu = CpuSeconds() - cpuStart;
        if (records != lines) {
            std::printf("FAILED: %zu records of %zu lines\n", records, lines);
            return false;
        }
        if (run == 0) {
            firstWall = wall;
            firstCpu = cpu;
        } else {
            bestWall = std::min(bestWall, wall);
            bestCpu = std::min(bestCpu, cpu);
        }
    }
    std::printf("  first parse:       %.3f s wall, %.3f s CPU: %.0f lines/s wall, %.0f lines "
                "per CPU second\n",
                firstWall, firstCpu, lines / firstWall, lines / firstCpu);
    std::printf("  best of 4 more:    %.3f s wall, %.3f s CPU: %.0f lines/s wall, %.0f lines "
                "per CPU second\n",
                bestWall, bestCpu, lines / bestWall, lines / bestCpu);
    return true;
}

// An S348 journal of pairs of equal debit and credit lines dated 3/8/2024;
// tags "C<class>-<account number>" cycle through the classes and accounts.
inline QString GenerateJournal(int lines, int classes, int firstAccount, int accounts,
                               bool fixedWidth) {
    QString text;
    text.reserve(lines * (fixedWidth ? 89 : 60));
    for (int i = 0; i < lines; ++i) {
        const QString tag =
            QStringLiteral("C%1-%2").arg(i % classes).arg(firstAccount + i % accounts);
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

// The program's logger chain with the user writer, and the developer
// writer unless left out, on in-memory outputs, attached for the object's
// lifetime.
class TBenchLogger {
public:
    explicit TBenchLogger(bool developerLog = true) : m_chain(CreateLoggerChain()) {
        m_devLog.open(QIODevice::WriteOnly);
        m_userLog.open(QIODevice::WriteOnly);
        if (developerLog)
            m_devWriter = std::make_shared<TPlainTextDevLogWriter>(
                std::make_shared<TStreamLogOutput>(&m_devLog));
        m_userWriter = std::make_shared<TPlainTextUserLogWriter>(
            std::make_shared<TStreamLogOutput>(&m_userLog));
        m_chain.Stateful->AddSink(m_devWriter);
        m_chain.Stateful->AddSink(m_userWriter);
    }
    ~TBenchLogger() {
        m_chain.Stateful->RemoveSink(m_devWriter);
        m_chain.Stateful->RemoveSink(m_userWriter);
    }
    TBenchLogger(const TBenchLogger&) = delete;
    TBenchLogger& operator=(const TBenchLogger&) = delete;

    ICommonLogger& Logger() { return *m_chain.Common; }
    const ICommonLoggerPtr& LoggerPtr() { return m_chain.Common; }
    qint64 DevLogBytes() const { return m_devLog.size(); }

private:
    TLoggerChain m_chain;
    QBuffer m_devLog;
    QBuffer m_userLog;
    ILoggerEventSinkPtr m_devWriter;
    ILoggerEventSinkPtr m_userWriter;
};

} // namespace bench
