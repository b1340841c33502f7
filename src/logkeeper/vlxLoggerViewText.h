// What the log page shows, apart from its widgets: the message list's items
// with their icon and caption, and the texts of the details and context
// panes of a selected message.
#pragma once

#include "logging/vlxLoggerImpl.h"

#include <QString>
#include <functional>
#include <vector>

// Icons of the message list: 0 error (exceptions and errors), 1 warning,
// 2 information; -1 for debug messages, which are not listed.
int LogMessageIconIndex(TLogMessageKind kind);

// The caption of the message logged last, prefixed with the innermost
// "Component" context value: "Checks export: Done".
QString ComponentItemCaption(const TLogState& state);

// The details pane: message, an empty line, details.
QString LogMessageDetailsText(const TLogState& state);
// The context pane: every block's caption and its context items, outermost
// first, an empty line before a block once any item has been written.
QString LogContextText(const TLogState& state);

struct TLogViewItem {
    QString Caption;
    int Icon = 2;
    // A deep copy taken when the message was logged.
    TLogState State;
};

// The message list of the log page as a sink: every non-debug message
// becomes an item holding its state. The view repaints in Changed.
class TLogMessageList : public TLoggerEventSink {
public:
    using TItemCaption = std::function<QString(const TLogState&)>;

    // itemCaption may be empty: the caption is then the message text.
    explicit TLogMessageList(TItemCaption itemCaption = {}, std::function<void()> changed = {});

    // Captions of items added from now on.
    void SetItemCaption(TItemCaption itemCaption) { m_itemCaption = std::move(itemCaption); }
    void SetChanged(std::function<void()> changed) { m_changed = std::move(changed); }

    void OnMessage(const TLogState& state) override;
    const std::vector<TLogViewItem>& Items() const { return m_items; }

private:
    TItemCaption m_itemCaption;
    std::function<void()> m_changed;
    std::vector<TLogViewItem> m_items;
};
