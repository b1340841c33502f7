// Parses a generated S348 journal of 100,000 lines in each layout with the
// full logger chain attached (developer and user writers on in-memory
// outputs) and reports the throughput and the peak memory. Each layout runs
// in a child process of its own so that its peak is its own.
//
//     bench_glparser [lines] [csv|fixed]
#include "../support/BenchSupport.h"
#include "reports/OrvGLParser.h"

#include <QElapsedTimer>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int RunLayout(int lines, bool fixedWidth) {
    const QString journal = bench::GenerateJournal(lines, 40, 6000, 5000, fixedWidth);
    const long rssBefore = bench::PeakRssKiB();
    bench::TBenchLogger logs;

    TQBGLExportParam param;
    param.GLTagParsing = gtpAssignClass;
    param.DelimiterInGLTag = QStringLiteral("-");

    QElapsedTimer timer;
    timer.start();
    const TGLRecordArray records = ParseGLJournal(logs.Logger(), journal, param);
    const double seconds = timer.nsecsElapsed() / 1e9;

    std::printf("%s layout\n", fixedWidth ? "fixed-width" : "comma-separated");
    std::printf("  lines parsed:      %zu\n", records.size());
    std::printf("  journal size:      %.1f MB (as text)\n", journal.size() * 2 / 1e6);
    std::printf("  time:              %.3f s\n", seconds);
    std::printf("  throughput:        %.0f lines/s\n", records.size() / seconds);
    std::printf("  developer log:     %.1f MB\n", logs.DevLogBytes() / 1e6);
    std::printf("  peak RSS:          %.1f MB (%.1f MB before parsing)\n",
                bench::PeakRssKiB() / 1024.0, rssBefore / 1024.0);
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
