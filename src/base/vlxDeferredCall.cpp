#include "base/vlxDeferredCall.h"

#include "base/vlxErrorDisplay.h"
#include "base/ztExceptions.h"

#include <QCoreApplication>
#include <QPointer>

void PostDeferredCall(std::function<void()> call, const QObject* receiver) {
    OrvAssert(call != nullptr);
    QObject* app = QCoreApplication::instance();
    OrvAssert(app != nullptr);
    // The application object owns the queue; calls still queued when it
    // goes away are dropped.
    QMetaObject::invokeMethod(
        app,
        [call = std::move(call), guard = QPointer<const QObject>(receiver),
         guarded = receiver != nullptr] {
            if (guarded && guard.isNull())
                return;
            try {
                call();
            } catch (...) {
                ShowInErrorDisplay(std::current_exception());
            }
        },
        Qt::QueuedConnection);
}
