// Pieces the benchmarks share: generated journals, the full logger chain
// with in-memory writers, and the peak memory of the process.
#pragma once

#include "logging/vlxLogWriters.h"
#include "logging/vlxLoggerChain.h"

#include <QBuffer>
#include <QString>
#include <sys/resource.h>

namespace bench {

inline long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
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

// The program's logger chain with the developer and user writers on
// in-memory outputs, attached for the object's lifetime.
class TBenchLogger {
public:
    TBenchLogger() : m_chain(CreateLoggerChain()) {
        m_devLog.open(QIODevice::WriteOnly);
        m_userLog.open(QIODevice::WriteOnly);
        m_devWriter =
            std::make_shared<TPlainTextDevLogWriter>(std::make_shared<TStreamLogOutput>(&m_devLog));
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
