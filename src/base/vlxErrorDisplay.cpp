#include "base/vlxErrorDisplay.h"

#include "base/vlxDeferredCall.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"

#include <QCoreApplication>
#include <QtDebug>

namespace {

TErrorDisplay& Display() {
    static TErrorDisplay display;
    return display;
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

void SetErrorDisplay(TErrorDisplay display) {
    Display() = std::move(display);
}

void ShowInErrorDisplay(std::exception_ptr failure) noexcept {
    try {
        // The display shows no raw control character of the input.
        const QString message = ErrorDisplayMessage(failure);
        if (Display())
            Display()(message);
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
