// Parses a generated S1910 report of 100,000 lines with the logger chain's
// user writer attached, then with the developer writer too (in-memory
// outputs), each in a process of its own, and reports the throughput (per
// second of wall time and of CPU time) and the peak memory.
#include "../support/BenchSupport.h"
#include "reports/orvchecksparser.h"

#include <QElapsedTimer>
#include <cstdio>

namespace {

QString GenerateReport(int lines) {
    QString text;
    text.reserve(lines * 80);
    for (int i = 0; i < lines; ++i) {
        text += QStringLiteral("\"Employee%1\",%2,\"Lastname%1\",\"Pay period 03/01/2024 - "
                               "03/07/2024\",%3/%4/2024,%5,%6.%7\r\n")
                    .arg(i)
                    .arg(QChar(u'A' + i % 26))
                    .arg(1 + i % 12)
                    .arg(1 + i % 28)
                    .arg(100000 + i)
                    .arg(500 + i % 3000)
                    .arg(i % 100, 2, 10, QChar(u'0'));
    }
    return text;
}

} // namespace

// bench_checksparser [lines]
int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
    const QString report = GenerateReport(lines);
    std::printf("report: %d lines, %.1f MB (as text)\n", lines, report.size() * 2 / 1e6);
    bool ok = true;
    for (const bool developerLog : {false, true}) {
        ok = bench::InChildProcess([&] {
                 const long rssBefore = bench::PeakRssKiB();
                 bench::TBenchLogger logs(developerLog);
                 std::printf("%s\n", developerLog ? "user and developer logs attached"
                                                  : "user log attached, developer log off");
                 const bool parsed = bench::PrintThroughput(size_t(lines), [&] {
                     return ParseChecksReport(logs.Logger(), report, rkNone).size();
                 });
                 std::printf("  developer log:     %.1f MB\n", logs.DevLogBytes() / 1e6);
                 std::printf("  peak RSS:          %.1f MB (%.1f MB before parsing)\n",
                             bench::PeakRssKiB() / 1024.0, rssBefore / 1024.0);
                 return parsed ? 0 : 1;
             }) &&
             ok;
    }
    return ok ? 0 : 1;
}
