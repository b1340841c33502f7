// The log page's message list: every non-debug message of the program run,
// with an icon for errors, warnings and information; the selected message's
// details and the context of every block open when it was logged below.
// New messages show at once, also while a long step keeps the user-interface
// thread busy; the list follows them unless the user scrolled up. Details
// wrap at the pane's width.
#pragma once

#include "logkeeper/vlxLoggerViewText.h"

#include <QWidget>
#include <memory>

class QPlainTextEdit;
class QTreeWidget;

class TLoggerRichViewFrame : public QWidget {
    Q_OBJECT
public:
    explicit TLoggerRichViewFrame(QWidget* parent = nullptr);
    ~TLoggerRichViewFrame() override;

    // The sink to attach to the logger.
    ILoggerEventSinkPtr Sink() const { return m_messages; }
    // Sets the caption of items added from now on; none: the message text.
    void SetOnItemCaption(TLogMessageList::TItemCaption itemCaption);
    const std::vector<TLogViewItem>& Items() const { return m_messages->Items(); }

    QTreeWidget* lvMessages;
    QPlainTextEdit* mmDetails;
    QPlainTextEdit* mmContext;

private:
    void AddNewItems();
    void lvMessagesChange();

    std::shared_ptr<TLogMessageList> m_messages;
    int m_shown = 0;
    int m_captionWidth = 0;
    bool m_followNewest = true;
};
