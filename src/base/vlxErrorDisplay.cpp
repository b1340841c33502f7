#include "base/vlxErrorDisplay.h"

#include "base/vlxDeferredCall.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"

#include <QCoreApplication>
#include <QtDebug>

namespace {

// The display rides on the application object as a child of it.
class TErrorDisplayHolder : public QObject {
public:
    TErrorDisplayHolder(QCoreApplication& application, TErrorDisplay display)
        : QObject(&application), Display(std::move(display)) {
        setObjectName(ObjectName());
    }
    static QString ObjectName() { return QStringLiteral("OrvqErrorDisplay"); }
    static TErrorDisplayHolder* Of(const QCoreApplication* application) {
        return application ? application->findChild<TErrorDisplayHolder*>(
                                 ObjectName(), Qt::FindDirectChildrenOnly)
                           : nullptr;
    }

    TErrorDisplay Display;
};

TErrorDisplay Display() {
    const TErrorDisplayHolder* holder = TErrorDisplayHolder::Of(QCoreApplication::instance());
    return holder ? holder->Display : TErrorDisplay();
}

QString MessageOf(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const EztException& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

} // namespace

QString ErrorDisplayMessage(const std::exception_ptr& failure) {
    return EscapeControlChars(MessageOf(failure));
}

void InstallErrorDisplay(QCoreApplication& application, TErrorDisplay display) {
    delete TErrorDisplayHolder::Of(&application);
    if (display)
        new TErrorDisplayHolder(application, std::move(display));
}

void ShowInErrorDisplay(std::exception_ptr failure) noexcept {
    try {
        // The display shows no raw control character of the input.
        const QString message = ErrorDisplayMessage(failure);
        if (const TErrorDisplay display = Display())
            display(message);
        else
            qWarning("%s", qUtf8Printable(message));
    } catch (...) {
        qWarning("The error display failed");
    }
}

void PostToErrorDisplay(std::exception_ptr failure) noexcept {
    try {
        if (QCoreApplication::instance()) {
            PostDeferredCall([failure] { std::rethrow_exception(failure); });
            return;
        }
    } catch (...) {
    }
    ShowInErrorDisplay(failure);
}
