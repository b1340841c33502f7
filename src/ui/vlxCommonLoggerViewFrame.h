// The log page: the message list filling it, as the first sink of the
// program's logger keeper. The keeper belongs to the application core
// (TAppCore), which the main window starts with this page's view as its
// first sink and then hands the page (AttachKeeper); derived pages attach
// their own sinks there and detach them when they go, before the keeper.
#pragma once

#include "logkeeper/vlxLoggerKeeper.h"

#include <QWidget>

class TLoggerRichViewFrame;

class TCommonLoggerViewFrame : public QWidget {
    Q_OBJECT
public:
    explicit TCommonLoggerViewFrame(QWidget* parent = nullptr);

    // The keeper's first sink; messages logged on another thread (a run's)
    // reach the page on its own thread, in order.
    ILoggerEventSinkPtr FirstSink() const;
    // Off while a run works: the page's own actions would log meanwhile.
    virtual void SetActionsEnabled(bool) {}
    // Once, when the keeper exists; the keeper must outlive the page.
    virtual void AttachKeeper(TCommonLoggerKeeper& keeper) { m_keeper = &keeper; }
    TCommonLoggerKeeper* Keeper() const { return m_keeper; }

    TLoggerRichViewFrame* LoggerRichView;

private:
    TCommonLoggerKeeper* m_keeper = nullptr;
};
