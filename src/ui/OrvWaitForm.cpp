#include "ui/OrvWaitForm.h"

#include "ui/UserDialogBoxes.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TOrvWaitFm::TOrvWaitFm(QWidget* owner)
    : QDialog(owner ? owner->window() : nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      MessagePanel(new QLabel(this)),
      CancelButton(new QPushButton(QStringLiteral("Cancel"), this)) {
    setModal(true);
    QFont bold = MessagePanel->font();
    bold.setBold(true);
    MessagePanel->setFont(bold);
    MessagePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    MessagePanel->setAlignment(Qt::AlignCenter);
    MessagePanel->setWordWrap(true);
    // Enter must not press Cancel; Esc does (reject).
    CancelButton->setAutoDefault(false);
    connect(CancelButton, &QPushButton::clicked, this, &TOrvWaitFm::RequestClose);

    auto* bar = new QHBoxLayout;
    bar->addStretch(1);
    bar->addWidget(CancelButton);
    bar->addStretch(1);
    auto* barWidget = new QWidget(this);
    barWidget->setFixedHeight(38);
    barWidget->setLayout(bar);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(MessagePanel, 1);
    layout->addWidget(barWidget);
    resize(382, 74);
}

TOrvWaitResult TOrvWaitFm::Execute(const QString& title, const QString& message,
                                   std::function<void()> closeRequested) {
    setWindowTitle(title);
    MessagePanel->setText(message);
    m_closeRequested = std::move(closeRequested);
    m_result = owrNone;
    m_done = false;
    exec();
    m_closeRequested = nullptr;
    return m_result;
}

void TOrvWaitFm::Done(TOrvWaitResult result) {
    if (m_done)
        return;
    m_result = result;
    m_done = true;
    QDialog::done(int(result));
}

bool TOrvWaitFm::ConfirmYesNo(const QString& question) {
    return ShowMessageBox(this, QMessageBox::Question, windowTitle(), question,
                          QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TOrvWaitFm::reject() {
    RequestClose();
}

void TOrvWaitFm::closeEvent(QCloseEvent* event) {
    // Closing is Done's; the close box asks like Cancel.
    event->ignore();
    RequestClose();
}

void TOrvWaitFm::RequestClose() {
    if (m_closeRequested && !m_done)
        m_closeRequested();
}

TOrvReportWaitWindowFactory OrvWaitWindowFactory(QWidget* owner) {
    QPointer<QWidget> guarded(owner);
    return [guarded]() -> std::unique_ptr<IOrvReportWaitWindow> {
        return std::make_unique<TOrvWaitFm>(guarded.data());
    };
}
