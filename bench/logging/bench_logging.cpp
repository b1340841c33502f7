// Cost of logging with the full chain and the in-memory writers attached,
// in the shape a report parser logs: one block with one context item a line.
// Prints figures; asserts nothing.
#include "logging/vlxLogWriters.h"
#include "logging/vlxLoggerChain.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <cstdio>

namespace {

qint64 PeakResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

void Run(const char* title, int lines, bool withDevWriter, bool withUserWriter) {
    TLoggerChain chain = CreateLoggerChain();
    QBuffer devLog;
    QBuffer userLog;
    devLog.open(QIODevice::WriteOnly);
    userLog.open(QIODevice::WriteOnly);
    auto dev =
        std::make_shared<TPlainTextDevLogWriter>(std::make_shared<TStreamLogOutput>(&devLog));
    auto user =
        std::make_shared<TPlainTextUserLogWriter>(std::make_shared<TStreamLogOutput>(&userLog));
    if (withDevWriter)
        chain.Stateful->AddSink(dev);
    if (withUserWriter)
        chain.Stateful->AddSink(user);

    const QString record = QStringLiteral(
        "\"EMP\",\"1042\",\"Jos\u00e9 Alvarez\",\"03/15/2026\",\"100234\",\"1,234.56\",\"DD\"");
    ICommonLogger& log = *chain.Common;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < lines; ++i) {
        TLogBlockGuard block(log, QStringLiteral("Parsing check record"));
        log.LogContextItem(QStringLiteral("Check record"), record);
    }
    log.LogEventFmt("%d check records parsed", {lines});
    const qint64 ms = std::max<qint64>(timer.elapsed(), 1);

    chain.Stateful->RemoveSink(dev);
    chain.Stateful->RemoveSink(user);
    std::printf("%-34s %8d lines  %8.0f lines/s  dev log %6.1f MB  peak RSS %7lld kB\n", title,
                lines, lines * 1000.0 / ms, devLog.size() / 1e6,
                static_cast<long long>(PeakResidentKb()));
}

} // namespace

int main() {
    const int lines = 100000;
    Run("chain, no writers", lines, false, false);
    Run("chain + user writer", lines, false, true);
    Run("chain + developer + user writers", lines, true, true);
    return 0;
}
