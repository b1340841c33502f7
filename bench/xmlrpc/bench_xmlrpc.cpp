// Query results of 50,000 rows x 10 columns (42 MB) and of about 200 MB:
// response text to open table, straight from the text and (the smaller one)
// through the value tree, beside Python's xmlrpc.client.loads on the same
// text, with the peak memory of each parse. Prints figures only.
#include "payroll/xmlrpc/XmlRpcClient.h"
#include "payroll/xmlrpc/XmlRpcDataSet.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <malloc.h>

namespace {

const char* const kColumns[10][2] = {
    {"CL_NBR", "4"},  {"NAME", "12"},      {"CITY", "12"},   {"AMOUNT", "2"}, {"CHECK_DATE", "91"},
    {"ACTIVE", "16"}, {"RUN_NUMBER", "4"}, {"STATUS", "12"}, {"STAMP", "93"}, {"NOTE", "12"}};

QByteArray Member(const QByteArray& name, const QByteArray& value) {
    return "<member>\n<name>" + name + "</name>\n" + value + "\n</member>\n";
}

QByteArray Response(int rows) {
    QByteArray meta;
    for (int c = 0; c < 10; ++c) {
        meta += Member(
            "c" + QByteArray::number(c),
            "<value><struct>\n" + Member("tb", "<value><string>T</string></value>") +
                Member("nm", QByteArray("<value><string>") + kColumns[c][0] + "</string></value>") +
                Member("tp", QByteArray("<value><int>") + kColumns[c][1] + "</int></value>") +
                Member("sz", "<value><int>40</int></value>") + "</struct></value>");
    }
    QByteArray val;
    val.reserve(rows * 700);
    for (int r = 0; r < rows; ++r) {
        const QByteArray n = QByteArray::number(r);
        QByteArray row;
        row += Member("c0", "<value><int>" + n + "</int></value>");
        row += Member("c1", "<value><string>Employee &amp; Sons " + n + "</string></value>");
        row += Member("c2", "<value><string>Springfield</string></value>");
        row += Member("c3",
                      "<value><double>" + QByteArray::number(r * 1.25 + 0.5) + "</double></value>");
        row +=
            Member("c4", "<value><dateTime.iso8601>20260131T00:00:00</dateTime.iso8601></value>");
        row += Member("c5",
                      QByteArray("<value><boolean>") + (r % 2 ? "1" : "0") + "</boolean></value>");
        row += Member("c6", "<value><int>" + QByteArray::number(r % 7) + "</int></value>");
        row += Member("c7", "<value><string>PROCESSED</string></value>");
        row +=
            Member("c8", "<value><dateTime.iso8601>20260131T13:45:00</dateTime.iso8601></value>");
        row += Member("c9", r % 3 ? QByteArray("<value><string></string></value>")
                                  : QByteArray("<value><string>note " + n + "</string></value>"));
        val += Member("r" + n, "<value><struct>\n" + row + "</struct></value>");
    }
    return "<?xml version='1.0'?>\n<methodResponse>\n<params>\n<param>\n<value><struct>\n" +
           Member("DATASET", "<value><struct>\n" +
                                 Member("meta", "<value><struct>\n" + meta + "</struct></value>") +
                                 Member("val", "<value><struct>\n" + val + "</struct></value>") +
                                 "</struct></value>") +
           "</struct></value>\n</param>\n</params>\n</methodResponse>\n";
}

long StatusKb(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLong();
    }
    return -1;
}

void ResetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct TRun {
    qint64 Ms = 0;
    double PeakMb = -1;
    bool Ok = false;
};

// One parse of the text into a table; the peak is the resident memory above
// what the process held before (the text and what is still in use).
template <class Parse> TRun Measure(const QByteArray& text, int rows, Parse&& parse) {
    // Memory freed earlier (building the text, the run before) would
    // otherwise stay resident and take the parse's allocations unseen.
    malloc_trim(0);
    const long baseKb = StatusKb("VmRSS:");
    ResetPeak();
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<TMemTable> table = parse(text);
    TRun run;
    run.Ms = timer.elapsed();
    const long peakKb = StatusKb("VmHWM:");
    if (baseKb > 0 && peakKb > 0)
        run.PeakMb = (peakKb - baseKb) / 1024.0;
    run.Ok = table && table->RecordCount() == rows;
    return run;
}

// Python's xmlrpc.client.loads on the same text, in milliseconds; -1 when
// python3 is missing.
long PythonMs(const QByteArray& text) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QTemporaryDir dir;
    if (python.isEmpty() || !dir.isValid())
        return -1;
    const QString path = dir.filePath(QStringLiteral("response.xml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return -1;
    file.close();
    QProcess process;
    process.start(python, {QStringLiteral("-c"),
                           QStringLiteral("import sys, time, xmlrpc.client\n"
                                          "d = open(sys.argv[1], 'rb').read()\n"
                                          "t = time.perf_counter()\n"
                                          "xmlrpc.client.loads(d)\n"
                                          "print(round((time.perf_counter() - t) * 1000))\n"),
                           path});
    process.waitForFinished(-1);
    return process.readAllStandardOutput().trimmed().toLong();
}

bool Report(const char* label, const TRun& run, double textMb) {
    if (!run.Ok) {
        std::printf("FAILED: %s gave no table or a wrong row count\n", label);
        return false;
    }
    std::printf("%-26s %6lld ms", label, (long long)run.Ms);
    if (run.PeakMb >= 0)
        std::printf(", peak %.1f MB above the text (%.2f x the text)", run.PeakMb,
                    run.PeakMb / textMb);
    std::printf("\n");
    return true;
}

} // namespace

// bench_xmlrpc [rows of the large answer]
int main(int argc, char** argv) {
    const int largeRows = argc > 1 ? std::atoi(argv[1]) : 240000;
    bool ok = true;
    for (const int rows : {50000, largeRows}) {
        const QByteArray text = Response(rows);
        const double textMb = text.size() / (1024.0 * 1024.0);
        std::printf("\nresponse: %d rows x 10 columns, %.1f MB of text\n", rows, textMb);
        const TRun streamed = Measure(text, rows, [](const QByteArray& t) {
            TRpcClientParser parser;
            return parser.ParseDataSetResponse(t).Table;
        });
        ok = Report("straight into the table:", streamed, textMb) && ok;
        if (rows == 50000) {
            const TRun tree = Measure(text, rows, [](const QByteArray& t) {
                TRpcClientParser parser;
                return XmlToDataSet(parser.ParseResponse(t)->AsStruct());
            });
            ok = Report("through the value tree:", tree, textMb) && ok;
        }
        const long pythonMs = PythonMs(text);
        if (pythonMs < 0) {
            std::printf("python3: not available\n");
            continue;
        }
        std::printf("%-26s %6ld ms\n", "python xmlrpc.client.loads:", pythonMs);
        if (streamed.Ms > 0)
            std::printf("ratio:  %.1f x faster than Python\n",
                        double(pythonMs) / double(streamed.Ms));
    }
    return ok ? 0 : 1;
}
