#include "ui/vlxWaitForm.h"

#include "app/core/AppCore.h"
#include "base/vlxDeferredCall.h"
#include "base/ztExceptions.h"
#include "ui/PlainTextLabel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>
#include <QtDebug>

namespace {

const QString CrLf = QStringLiteral("\r\n");

void CentreOn(QWidget* window, const QWidget* owner) {
    window->adjustSize();
    const QRect area = owner ? owner->frameGeometry() : window->screen()->availableGeometry();
    QRect frame = window->frameGeometry();
    frame.moveCenter(area.center());
    window->move(frame.topLeft());
}

} // namespace

TWaitIndicatorForm::TWaitIndicatorForm(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_label(new QLabel(QStringLiteral("Please wait"), this)) {
    setWindowTitle(ApplicationTitle + QStringLiteral(" - Please wait"));
    QFont bold = m_label->font();
    bold.setBold(true);
    m_label->setFont(bold);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    setMinimumSize(363, 56);
}

void TWaitIndicatorForm::SetText(const QString& text) {
    QString shown = text;
    shown.replace(CrLf, QStringLiteral("\n"));
    SetPlainText(*m_label, shown);
    if (isVisible())
        adjustSize();
}

QString TWaitIndicatorForm::Text() const {
    QString text = m_label->text();
    return text.replace(u'\n', CrLf);
}

void TWaitIndicatorForm::ShowNow() {
    show();
    // A new window can be drawn only once the window system has put it on
    // the screen: its events are let through for that moment, at most a
    // second, but no user input, timer or deferred call.
    TDeferredCallHold hold;
    QElapsedTimer waited;
    waited.start();
    while (!windowHandle()->isExposed() && waited.elapsed() < 1000) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::ExcludeSocketNotifiers |
                                        QEventLoop::X11ExcludeTimers);
        if (!windowHandle()->isExposed())
            QThread::msleep(2);
    }
}

void TWaitIndicatorForm::PaintNow() {
    if (isVisible())
        repaint();
}

TLargeWaitIndicator::TLargeWaitIndicator(QWidget* owner) : m_owner(owner) {}

TLargeWaitIndicator::~TLargeWaitIndicator() {
    // A wait left open is a programming error; the window goes anyway.
    if (m_window) {
        qCritical("Wait indicator destroyed while waiting for: %s",
                  qUtf8Printable(m_messages.join(u"; ")));
        delete m_window;
    }
}

void TLargeWaitIndicator::CheckInvariant() const {
    OrvAssert(m_messages.isEmpty() == m_window.isNull());
}

void TLargeWaitIndicator::StartWait(const QString& message) {
    CheckInvariant();
    m_messages << message;
    if (m_messages.size() == 1) {
        m_window = new TWaitIndicatorForm(m_owner);
        m_window->SetText(m_messages.join(CrLf));
        if (m_owner && m_owner->isVisible()) {
            CentreOn(m_window, m_owner);
            m_window->ShowNow();
        }
    } else {
        m_window->SetText(m_messages.join(CrLf));
    }
    m_window->PaintNow();
    CheckInvariant();
}

void TLargeWaitIndicator::EndWait() {
    CheckInvariant();
    OrvAssert(!m_messages.isEmpty());
    m_messages.removeLast();
    if (m_messages.isEmpty()) {
        delete m_window;
    } else {
        m_window->SetText(m_messages.join(CrLf));
        m_window->PaintNow();
    }
    CheckInvariant();
}
