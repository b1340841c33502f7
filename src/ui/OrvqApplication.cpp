#include "ui/OrvqApplication.h"

#include "app/core/AppCore.h"
#include "base/vlxClasses.h"

#include <QCursor>

TOrvqApplication::TOrvqApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(ApplicationTitle);
    UseHourglassCursor(true);
}

TOrvqApplication::~TOrvqApplication() {
    UseHourglassCursor(false);
}

bool TOrvqApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowInErrorDisplay(std::current_exception());
        return false;
    }
}

void UseHourglassCursor(bool on) {
    if (!on) {
        SetHourglassCursorHooks({});
        return;
    }
    SetHourglassCursorHooks({[] { QGuiApplication::setOverrideCursor(Qt::WaitCursor); },
                             [] { QGuiApplication::restoreOverrideCursor(); }});
}
