#include "base/vlxDeferredCall.h"

#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"

#include <QCoreApplication>
#include <QPointer>
#include <QtDebug>

namespace {

TDeferredCallErrorHandler& ErrorHandler() {
    static TDeferredCallErrorHandler handler;
    return handler;
}

// The error display shows no raw control character of the input.
void ReportFailure(const QString& failure) {
    const QString message = EscapeControlChars(failure);
    if (ErrorHandler())
        ErrorHandler()(message);
    else
        qWarning("Deferred call failed: %s", qUtf8Printable(message));
}

void Run(const std::function<void()>& call) {
    try {
        call();
    } catch (const EztException& e) {
        ReportFailure(e.Message());
    } catch (const std::exception& e) {
        ReportFailure(QString::fromUtf8(e.what()));
    } catch (...) {
        ReportFailure(QStringLiteral("Unknown error"));
    }
}

} // namespace

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
            Run(call);
        },
        Qt::QueuedConnection);
}

void SetDeferredCallErrorHandler(TDeferredCallErrorHandler handler) {
    ErrorHandler() = std::move(handler);
}
