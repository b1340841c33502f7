#include "ui/vlxCommonLoggerViewFrame.h"

#include "ui/vlxLoggerRichViewFrame.h"

#include <QPointer>
#include <QThread>
#include <QVBoxLayout>

namespace {

// The message list reached from any thread: a message logged by a run on
// its worker is copied and handed to the view's thread, in the order
// logged. The list reads messages only.
class TViewThreadSink : public TLoggerEventSink {
public:
    TViewThreadSink(ILoggerEventSinkPtr inner, QObject* view)
        : m_inner(std::move(inner)), m_view(view), m_viewThread(view->thread()) {}

    void OnMessage(const TLogState& state) override {
        // The page may be gone before the keeper detaches the sink; runs
        // have ended by then.
        if (QThread::currentThread() == m_viewThread || m_view.isNull()) {
            m_inner->OnMessage(state);
            return;
        }
        QMetaObject::invokeMethod(
            m_view, [inner = m_inner, copy = state] { inner->OnMessage(copy); },
            Qt::QueuedConnection);
    }

private:
    ILoggerEventSinkPtr m_inner;
    QPointer<QObject> m_view;
    QThread* m_viewThread;
};

} // namespace

TCommonLoggerViewFrame::TCommonLoggerViewFrame(QWidget* parent)
    : QWidget(parent), LoggerRichView(new TLoggerRichViewFrame) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(LoggerRichView);
}

ILoggerEventSinkPtr TCommonLoggerViewFrame::FirstSink() const {
    return std::make_shared<TViewThreadSink>(LoggerRichView->Sink(), LoggerRichView);
}
