// Parses a generated S348 journal of 100,000 lines in each layout with the
// logger chain's user writer attached, then with the developer writer too
// (in-memory outputs), and reports the throughput (per second of wall time
// and of CPU time, of the first parse and of the best of four more) and the
// peak memory. Each parse runs in a child process of
// its own so that its peak is its own.
//
//     bench_glparser [lines] [csv|fixed]
#include "../support/BenchSupport.h"
#include "reports/OrvGLParser.h"

#include <QElapsedTimer>
#include <cstdio>
#include <cstring>

namespace {

int RunLayout(const QString& journal, int lines, bool developerLog) {
    const long rssBefore = bench::PeakRssKiB();
    bench::TBenchLogger logs(developerLog);

    TQBGLExportParam param;
    param.GLTagParsing = gtpAssignClass;
    param.DelimiterInGLTag = QStringLiteral("-");

    std::printf(" %s\n", developerLog ? "user and developer logs attached"
                                      : "user log attached, developer log off");
    const bool parsed = bench::PrintThroughput(
        size_t(lines), [&] { return ParseGLJournal(logs.Logger(), journal, param).size(); });
    std::printf("  developer log:     %.1f MB\n", logs.DevLogBytes() / 1e6);
    std::printf("  peak RSS:          %.1f MB (%.1f MB before parsing)\n",
                bench::PeakRssKiB() / 1024.0, rssBefore / 1024.0);
    return parsed ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
    const bool onlyOne = argc > 2;
    bool ok = true;
    for (const bool fixedWidth : {false, true}) {
        if (onlyOne && fixedWidth != (std::strcmp(argv[2], "fixed") == 0))
            continue;
        const QString journal = bench::GenerateJournal(lines, 40, 6000, 5000, fixedWidth);
        std::printf("%s layout, %d lines, %.1f MB (as text)\n",
                    fixedWidth ? "fixed-width" : "comma-separated", lines,
                    journal.size() * 2 / 1e6);
        for (const bool developerLog : {false, true})
            ok = bench::InChildProcess([&] { return RunLayout(journal, lines, developerLog); }) &&
                 ok;
    }
    return ok ? 0 : 1;
}
