// Query result of 50,000 rows x 10 columns: response text to open table,
// beside Python's xmlrpc.client.loads on the same text. Prints figures only.
#include "payroll/xmlrpc/XmlRpcClient.h"
#include "payroll/xmlrpc/XmlRpcDataSet.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
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

// Bytes the heap has handed out and not taken back.
double HeapMb() {
    return mallinfo2().uordblks / (1024.0 * 1024.0);
}

void ResetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

} // namespace

int main() {
    const int rows = 50000;
    const QByteArray text = Response(rows);
    std::printf("response: %d rows x 10 columns, %.1f MB of text\n", rows,
                text.size() / (1024.0 * 1024.0));

    const long baseKb = StatusKb("VmRSS:");
    const double baseHeap = HeapMb();
    ResetPeak();
    QElapsedTimer timer;
    timer.start();
    TRpcClientParser parser;
    IRpcResultPtr result = parser.ParseResponse(text);
    const qint64 parseMs = timer.elapsed();
    std::unique_ptr<TMemTable> table = XmlToDataSet(result->AsStruct());
    const qint64 totalMs = timer.elapsed();
    const long peakKb = StatusKb("VmHWM:");
    const double bothHeap = HeapMb() - baseHeap;
    result.reset();
    const double tableHeap = HeapMb() - baseHeap;
    if (!table || table->RecordCount() != rows) {
        std::printf("FAILED: no table or wrong row count\n");
        return 1;
    }
    std::printf("ours:   parse %lld ms, to table %lld ms, total %lld ms\n", (long long)parseMs,
                (long long)(totalMs - parseMs), (long long)totalMs);
    const double textMb = text.size() / (1024.0 * 1024.0);
    if (baseKb > 0 && peakKb > 0)
        std::printf("memory: peak resident %.1f MB above the text (%.2f x the text)\n",
                    (peakKb - baseKb) / 1024.0, (peakKb - baseKb) / 1024.0 / textMb);
    std::printf("heap:   values and table %.1f MB (%.2f x), table alone %.1f MB (%.2f x)\n",
                bothHeap, bothHeap / textMb, tableHeap, tableHeap / textMb);

    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QTemporaryDir dir;
    if (python.isEmpty() || !dir.isValid()) {
        std::printf("python3: not available\n");
        return 0;
    }
    const QString path = dir.filePath(QStringLiteral("response.xml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return 1;
    file.close();
    QProcess process;
    process.start(python, {QStringLiteral("-c"),
                           QStringLiteral("import sys, time, xmlrpc.client\n"
                                          "d = open(sys.argv[1], 'rb').read()\n"
                                          "t = time.perf_counter()\n"
                                          "xmlrpc.client.loads(d)\n"
                                          "print(round((time.perf_counter() - t) * 1000))\n"),
                           path});
    process.waitForFinished(300000);
    const long pythonMs = process.readAllStandardOutput().trimmed().toLong();
    std::printf("python: xmlrpc.client.loads %ld ms\n", pythonMs);
    if (pythonMs > 0 && totalMs > 0)
        std::printf("ratio:  %.2f x faster than Python\n", double(pythonMs) / double(totalMs));
    return 0;
}
