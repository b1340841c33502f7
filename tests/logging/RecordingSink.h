// Test sinks: one that records every event as a line, one that throws.
#pragma once

#include "logging/vlxLoggerImpl.h"

#include <QStringList>
#include <functional>

// "entry <depth> <caption>", "exit <depth> <caption>",
// "item <depth> <tag>=<value>", "<Kind> <depth> <caption>: <message>|<details>".
class TRecordingSink : public ILoggerEventSink {
public:
    QStringList Events;

    void OnEntry(const TLogState& state) override {
        Events << QStringLiteral("entry %1 %2").arg(state.Depth()).arg(state.Innermost().Caption);
    }
    void OnExit(const TLogState& state) override {
        Events << QStringLiteral("exit %1 %2").arg(state.Depth()).arg(state.Innermost().Caption);
    }
    void OnContextItem(const TLogState& state) override {
        const TLogBlockContextItem& item = state.Innermost().Context.back();
        Events << QStringLiteral("item %1 %2=%3").arg(state.Depth()).arg(item.Tag, item.Value);
    }
    void OnMessage(const TLogState& state) override {
        const TLogMessage& message = state.Innermost().Messages.back();
        Events << QStringLiteral("%1 %2 %3: %4|%5")
                      .arg(LogMessageKindName(message.Kind))
                      .arg(state.Depth())
                      .arg(state.Innermost().Caption, message.Message, message.Details);
    }

    // Only the message events, without debug messages.
    QStringList Messages() const {
        QStringList result;
        for (const QString& event : Events) {
            if (!event.startsWith(u"entry") && !event.startsWith(u"exit") &&
                !event.startsWith(u"item") && !event.startsWith(u"Debug"))
                result << event;
        }
        return result;
    }
};

// Runs an action on the chosen event; the action may throw anything.
class TActingSink : public TLoggerEventSink {
public:
    std::function<void()> OnMessageAction;
    std::function<void()> OnEntryAction;

    void OnEntry(const TLogState&) override {
        if (OnEntryAction)
            OnEntryAction();
    }
    void OnMessage(const TLogState&) override {
        if (OnMessageAction)
            OnMessageAction();
    }
};
