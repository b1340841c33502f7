#include "payroll/OrvErrorDisplay.h"

#include "base/vlxDeferredCall.h"

#include <QCoreApplication>
#include <QtDebug>

void PostToErrorDisplay(std::exception_ptr failure) noexcept {
    try {
        if (QCoreApplication::instance()) {
            PostDeferredCall([failure] { std::rethrow_exception(failure); });
            return;
        }
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
    } catch (...) {
        qWarning("Unknown error");
    }
}
