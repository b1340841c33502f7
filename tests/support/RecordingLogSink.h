// A sink that records every message with the block it was logged in, for
// tests that check what a piece of the program logged and where.
#pragma once

#include "logging/vlxLoggerChain.h"

#include <QStringList>

struct TRecordedMessage {
    TLogMessageKind Kind;
    QString Message;
    QString Details;
    QString Block; // caption of the innermost block
    int Depth;
    QStringList Context; // "Tag=Value" of the innermost block
};

class TRecordingLogSink : public TLoggerEventSink {
public:
    std::vector<TRecordedMessage> Messages;
    QStringList Events; // "enter X", "exit X"

    void OnEntry(const TLogState& state) override {
        Events << QStringLiteral("enter ") + state.Innermost().Caption;
    }
    void OnExit(const TLogState& state) override {
        Events << QStringLiteral("exit ") + state.Innermost().Caption;
    }
    void OnContextItem(const TLogState&) override {}
    void OnMessage(const TLogState& state) override {
        const TLogBlock& block = state.Innermost();
        QStringList context;
        for (const TLogBlockContextItem& item : block.Context)
            context << item.Tag + u'=' + item.Value;
        const TLogMessage& m = block.Messages.back();
        Messages.push_back({m.Kind, m.Message, m.Details, block.Caption, state.Depth(), context});
    }

    std::vector<TRecordedMessage> OfKind(TLogMessageKind kind) const {
        std::vector<TRecordedMessage> result;
        for (const TRecordedMessage& m : Messages) {
            if (m.Kind == kind)
                result.push_back(m);
        }
        return result;
    }
};

// A logger chain with a recording sink attached for the test's scope.
class TRecordingLogger {
public:
    TRecordingLogger()
        : m_chain(CreateLoggerChain()), m_sink(std::make_shared<TRecordingLogSink>()) {
        m_chain.Stateful->AddSink(m_sink);
    }
    ~TRecordingLogger() { m_chain.Stateful->RemoveSink(m_sink); }
    TRecordingLogger(const TRecordingLogger&) = delete;
    TRecordingLogger& operator=(const TRecordingLogger&) = delete;

    ICommonLogger& Logger() { return *m_chain.Common; }
    const ICommonLoggerPtr& LoggerPtr() { return m_chain.Common; }
    TRecordingLogSink& Sink() { return *m_sink; }
    int Depth() const { return m_chain.Stateful->State().Depth(); }
    // For more sinks: the log writers as the program attaches them.
    const IStatefulLoggerPtr& Stateful() const { return m_chain.Stateful; }

private:
    TLoggerChain m_chain;
    std::shared_ptr<TRecordingLogSink> m_sink;
};
