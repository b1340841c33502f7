#include "ui/WaitForm.h"

#include "base/vlxErrorDisplay.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

TWaitFm::TWaitFm(QWidget* owner, const QString& caption, std::function<void()> procedure)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_procedure(std::move(procedure)), m_timer(new QTimer(this)) {
    setWindowTitle(caption);
    setModal(true);
    auto* text = new QLabel(QStringLiteral("Please wait"), this);
    QFont bold = text->font();
    bold.setBold(true);
    text->setFont(bold);
    text->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    setMinimumSize(300, 90);
    // Started by the event loop of exec(), so the window is up first.
    m_timer->setInterval(1);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &TWaitFm::Run);
    m_timer->start();
}

void TWaitFm::Run() {
    m_timer->stop();
    try {
        m_procedure();
        done(QDialog::Accepted);
    } catch (...) {
        m_failure = std::current_exception();
        done(QDialog::Rejected);
    }
}

bool RunWithWaitForm(QWidget* owner, const QString& caption, std::function<void()> procedure) {
    TWaitFm form(owner, caption, std::move(procedure));
    const bool completed = form.exec() == QDialog::Accepted;
    if (form.Failure())
        ShowInErrorDisplay(form.Failure());
    return completed;
}
