// What the targets share: the input as text, the logger chain with the
// program's writers attached, the regional settings to try.
#pragma once

#include "base/RegionalSettings.h"
#include "logging/vlxLogWriters.h"
#include "logging/vlxLoggerChain.h"

#include <QBuffer>
#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace fuzz {

inline QByteArray Bytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The logger chain with the developer and user writers attached, as a run
// has it: a parse logs through every writer.
class TFuzzLogger {
public:
    TFuzzLogger() : m_chain(CreateLoggerChain()) {
        m_devLog.open(QIODevice::WriteOnly);
        m_dev =
            std::make_shared<TPlainTextDevLogWriter>(std::make_shared<TStreamLogOutput>(&m_devLog));
        m_user = std::make_shared<TPlainTextUserLogWriter>(
            std::make_shared<TStringsLogOutput>(&m_userLog));
        m_chain.Stateful->AddSink(m_dev);
        m_chain.Stateful->AddSink(m_user);
    }
    ~TFuzzLogger() {
        m_chain.Stateful->RemoveSink(m_dev);
        m_chain.Stateful->RemoveSink(m_user);
    }
    TFuzzLogger(const TFuzzLogger&) = delete;
    TFuzzLogger& operator=(const TFuzzLogger&) = delete;

    ICommonLogger& Logger() { return *m_chain.Common; }
    // Blocks opened by a parse are closed again, whatever it threw.
    int Depth() const { return m_chain.Stateful->State().Depth(); }

private:
    TLoggerChain m_chain;
    QBuffer m_devLog;
    QStringList m_userLog;
    ILoggerEventSinkPtr m_dev;
    ILoggerEventSinkPtr m_user;
};

// The regional settings inputs are read in: the service's own, the same
// with two-digit years, and day/month/year with dots and a decimal comma.
inline const TRegionalSettings* FuzzRegionalSettings(int& count) {
    static const TRegionalSettings settings[] = {
        {TDateOrder::MonthDayYear, u'/', u'.'},
        {TDateOrder::MonthDayYear, u'/', u'.', 2},
        {TDateOrder::DayMonthYear, u'.', u','},
        {TDateOrder::YearMonthDay, u'-', u'.'},
    };
    count = int(std::size(settings));
    return settings;
}

} // namespace fuzz
