// Parses a generated S1910 report of 100,000 lines with the full logger chain
// attached (developer and user writers on in-memory outputs) and reports the
// throughput and the peak memory.
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

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
    const QString report = GenerateReport(lines);
    const long rssBefore = bench::PeakRssKiB();
    bench::TBenchLogger logs;

    QElapsedTimer timer;
    timer.start();
    const TCheckRecords records = ParseChecksReport(logs.Logger(), report, crkEither);
    const double seconds = timer.nsecsElapsed() / 1e9;

    std::printf("lines parsed:        %zu\n", records.size());
    std::printf("report size:         %.1f MB (as text)\n", report.size() * 2 / 1e6);
    std::printf("time:                %.3f s\n", seconds);
    std::printf("throughput:          %.0f lines/s\n", records.size() / seconds);
    std::printf("developer log:       %.1f MB\n", logs.DevLogBytes() / 1e6);
    std::printf("peak RSS:            %.1f MB (%.1f MB before parsing)\n",
                bench::PeakRssKiB() / 1024.0, rssBefore / 1024.0);
    return 0;
}
