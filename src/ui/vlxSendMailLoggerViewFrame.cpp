#include "ui/vlxSendMailLoggerViewFrame.h"

#include "base/vlxClasses.h"
#include "ui/OrvqApplication.h"
#include "ui/vlxLoggerRichViewFrame.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TSendMailLoggerViewFrame::TSendMailLoggerViewFrame(QWidget* parent, TSendMailLogServices services)
    : TCommonLoggerViewFrame(parent),
      BitBtn1(new QPushButton(QStringLiteral("Send debug log by e-mail..."))),
      BitBtn2(new QPushButton(QStringLiteral("Pack debug log and open folder"))),
      m_services(std::move(services)) {
    if (!m_services.StartWait || !m_services.EndWait) {
        // Without the window's indicator: an hourglass of its own.
        auto hourglass = std::make_shared<THourglassWaitIndicator>();
        m_services.StartWait = [hourglass](const QString& message) {
            hourglass->StartWait(message);
        };
        m_services.EndWait = [hourglass] { hourglass->EndWait(); };
    }
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addStretch();
    qobject_cast<QVBoxLayout*>(layout())->addLayout(buttons);
    connect(BitBtn1, &QPushButton::clicked, this, UserAction([this] { BitBtn1Click(); }));
    connect(BitBtn2, &QPushButton::clicked, this, UserAction([this] { BitBtn2Click(); }));
}

// The in-memory writers leave the keeper's logger before the keeper goes.
TSendMailLoggerViewFrame::~TSendMailLoggerViewFrame() = default;

void TSendMailLoggerViewFrame::AttachKeeper(TCommonLoggerKeeper& keeper) {
    TCommonLoggerViewFrame::AttachKeeper(keeper);
    m_logs = std::make_unique<TSendMailLogs>(keeper, m_services);
    m_logs->SetArchivePassword(m_password);
    m_logs->SetMailRecipients(m_recipients);
}

void TSendMailLoggerViewFrame::SetArchivePassword(const QString& password) {
    m_password = password;
    if (m_logs)
        m_logs->SetArchivePassword(password);
}

void TSendMailLoggerViewFrame::SetMailRecipients(const QString& recipients) {
    m_recipients = recipients;
    if (m_logs)
        m_logs->SetMailRecipients(recipients);
}

void TSendMailLoggerViewFrame::BitBtn1Click() {
    OrvAssert(m_logs != nullptr);
    m_logs->PackAndSendMail(BitBtn1->text());
}

void TSendMailLoggerViewFrame::BitBtn2Click() {
    OrvAssert(m_logs != nullptr);
    m_logs->PackAndShow(BitBtn2->text());
}

TUtilityLoggerViewFrm::TUtilityLoggerViewFrm(QWidget* parent, TSendMailLogServices services)
    : TSendMailLoggerViewFrame(parent, std::move(services)) {
    LoggerRichView->SetOnItemCaption(&ComponentItemCaption);
}

void TSendMailLoggerViewFrame::SetActionsEnabled(bool enabled) {
    BitBtn1->setEnabled(enabled);
    BitBtn2->setEnabled(enabled);
}
