#include "base/vlxDeferredCall.h"

#include "base/vlxErrorDisplay.h"
#include "base/ztExceptions.h"

#include <QCoreApplication>
#include <QPointer>
#include <deque>

namespace {

struct TCall {
    std::function<void()> Run;
    QPointer<const QObject> Receiver;
    bool Guarded = false;
};

// The queue of the application object: calls still queued when it goes are
// dropped. One posted event per call, as one message per call, so the
// loop's other events are handled between two calls.
class TDeferredCalls : public QObject {
public:
    explicit TDeferredCalls(QObject* application) : QObject(application) {}

    void Post(TCall call) {
        m_calls.push_back(std::move(call));
        PostRunNext();
    }
    void Hold() { ++m_holds; }
    void Release() {
        if (--m_holds > 0)
            return;
        for (; m_owed > 0; --m_owed)
            PostRunNext();
    }

private:
    void PostRunNext() {
        QMetaObject::invokeMethod(
            this, [this] { RunNext(); }, Qt::QueuedConnection);
    }
    void RunNext() {
        if (m_holds > 0) {
            ++m_owed;
            return;
        }
        if (m_calls.empty())
            return;
        const TCall call = std::move(m_calls.front());
        m_calls.pop_front();
        if (call.Guarded && call.Receiver.isNull())
            return;
        try {
            call.Run();
        } catch (...) {
            ShowInErrorDisplay(std::current_exception());
        }
    }

    std::deque<TCall> m_calls;
    int m_holds = 0;
    int m_owed = 0;
};

TDeferredCalls& Calls() {
    static QPointer<TDeferredCalls> calls;
    QCoreApplication* application = QCoreApplication::instance();
    OrvAssert(application != nullptr);
    if (!calls)
        calls = new TDeferredCalls(application);
    return *calls;
}

} // namespace

void PostDeferredCall(std::function<void()> call, const QObject* receiver) {
    OrvAssert(call != nullptr);
    Calls().Post({std::move(call), receiver, receiver != nullptr});
}

TDeferredCallHold::TDeferredCallHold() {
    Calls().Hold();
}

TDeferredCallHold::~TDeferredCallHold() {
    Calls().Release();
}
