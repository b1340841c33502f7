#include "ui/OrvWaitForm.h"

#include "app/core/AppCore.h"
#include "runs/RunThread.h"
#include "ui/PlainTextLabel.h"
#include "ui/UserDialogBoxes.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

QString StageText(const QString& stage, int done, int total) {
    if (total < 0)
        return stage;
    // Counts read the same on every workstation.
    const QLocale counts(QLocale::English, QLocale::UnitedStates);
    return stage + QStringLiteral(": ") + counts.toString(done) + QStringLiteral(" of ") +
           counts.toString(total);
}

TOrvWaitFm::TOrvWaitFm(QWidget* owner, TRunThread& runs)
    : QDialog(owner ? owner->window() : nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      MessagePanel(new QLabel(this)), CancelButton(new QPushButton(QStringLiteral("Cancel"), this)),
      m_runs(runs) {
    setWindowTitle(ApplicationTitle);
    QFont bold = MessagePanel->font();
    bold.setBold(true);
    MessagePanel->setFont(bold);
    MessagePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    MessagePanel->setAlignment(Qt::AlignCenter);
    MessagePanel->setWordWrap(true);
    // Enter must not press Cancel; Esc does (reject).
    CancelButton->setAutoDefault(false);
    connect(CancelButton, &QPushButton::clicked, this, &TOrvWaitFm::AskCancel);
    connect(&runs, &TRunThread::RunStarted, this, &TOrvWaitFm::EndCancelling);

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
    ShowText();
}

void TOrvWaitFm::ShowStages(const QStringList& stages) {
    // A stage of its own starts without a count.
    if (stages.size() != m_stages.size() || (!stages.isEmpty() && stages.last() != m_stages.last()))
        m_total = -1;
    m_stages = stages;
    // A report wait that took the cancel lets the run go on ("All Checks"
    // to the agency report): a stage in place of the one cancelled can be
    // cancelled again. A stage that only ended is the run finishing.
    if (IsCancelling() && stages.size() > m_cancelledStage &&
        stages.mid(0, m_cancelledStage + 1) != m_stagesCancelled.mid(0, m_cancelledStage + 1))
        EndCancelling();
    ShowText();
}

void TOrvWaitFm::ShowProgress(int done, int total) {
    m_done = done;
    m_total = total;
    ShowText();
}

QString TOrvWaitFm::Text() const {
    QString text = MessagePanel->text();
    return text.replace(u'\n', QStringLiteral("\r\n"));
}

void TOrvWaitFm::ShowText() {
    QStringList lines = m_stages;
    if (lines.isEmpty())
        lines << QStringLiteral("Please wait");
    else
        lines.last() = StageText(lines.last(), m_done, m_total);
    if (IsCancelling())
        lines << m_cancelNote;
    SetPlainText(*MessagePanel, lines.join(u'\n'));
    // A long stage (a bureau run names the company and the payroll) gets
    // the lines it needs instead of being cut off.
    const int needed = layout()->totalHeightForWidth(width());
    if (needed > height())
        resize(width(), needed);
}

void TOrvWaitFm::reject() {
    AskCancel();
}

void TOrvWaitFm::closeEvent(QCloseEvent* event) {
    // The window goes with the run; the close box asks like Cancel.
    event->ignore();
    AskCancel();
}

void TOrvWaitFm::AskCancel() {
    if (m_asking || IsCancelling() || !m_runs.Busy())
        return;
    m_asking = true;
    // Nothing more is posted while the user decides.
    m_runs.Hold();
    const bool cancel =
        ShowMessageBox(this, QMessageBox::Question, windowTitle(), QStringLiteral("Cancel?"),
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    if (cancel) {
        m_runs.CancelStep();
        // Said before the run reaches its safe point, which may take a
        // request set's time.
        m_stagesCancelled = m_stages;
        m_cancelledStage = qMax<qsizetype>(m_stages.size() - 1, 0);
        // A counted stage posts in request sets, and the one sent is awaited.
        m_cancelNote = m_total >= 0
                           ? QStringLiteral("Cancelling: finishing the request set in progress")
                           : QStringLiteral("Cancelling: stopping the step in progress");
        CancelButton->setEnabled(false);
        ShowText();
    }
    m_runs.Release();
    m_asking = false;
}

void TOrvWaitFm::EndCancelling() {
    m_cancelledStage = -1;
    m_stagesCancelled.clear();
    CancelButton->setEnabled(true);
    ShowText();
}
