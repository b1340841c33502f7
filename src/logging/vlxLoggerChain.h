// The logger chain as the program builds it: stateful logger, exception
// logger over it, common logger over that.
#pragma once

#include "logging/vlxLoggerImpl.h"
#include "logging/vlxcommonlogger.h"

struct TLoggerChain {
    IStatefulLoggerPtr Stateful;
    IExceptionLoggerPtr Exceptions;
    ICommonLoggerPtr Common;
};

// Root block caption "Orvane QB Export application".
TLoggerChain CreateLoggerChain();

// Attaches a sink for the scope it lives in. Declare it after the chain so
// that the sink is detached before the logger is released:
//
//     TLoggerChain chain = CreateLoggerChain();
//     QStringList lines;
//     TScopedSink sink(chain.Stateful, std::make_shared<TPlainTextUserLogWriter>(
//                                          std::make_shared<TStringsLogOutput>(&lines)));
class TScopedSink {
public:
    TScopedSink(IStatefulLoggerPtr logger, ILoggerEventSinkPtr sink)
        : m_logger(std::move(logger)), m_sink(std::move(sink)) {
        m_logger->AddSink(m_sink);
    }
    ~TScopedSink() { m_logger->RemoveSink(m_sink); }
    TScopedSink(const TScopedSink&) = delete;
    TScopedSink& operator=(const TScopedSink&) = delete;

    const ILoggerEventSinkPtr& Sink() const { return m_sink; }

private:
    IStatefulLoggerPtr m_logger;
    ILoggerEventSinkPtr m_sink;
};
