#include "ui/QBChecksExportParamFrame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TQBChecksExportParamFrm::TQBChecksExportParamFrm(QWidget* parent) : QWidget(parent) {
    GroupBox1 = new QGroupBox(QStringLiteral("QuickBooks "));
    lblCashAccount = new QLabel(QStringLiteral("Cash Account"));
    cbCashAccount = new QComboBox;
    lblLiabilityAccount = new QLabel(QStringLiteral("Liability Account"));
    cbLiabilityAccount = new QComboBox;
    for (QComboBox* list : {cbCashAccount, cbLiabilityAccount}) {
        list->setMinimumWidth(260);
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    }
    lblCashAccount->setBuddy(cbCashAccount);
    lblLiabilityAccount->setBuddy(cbLiabilityAccount);
    cbIncludeDD = new QCheckBox(QStringLiteral("Create Direct Deposit Checks"));
    cbIncludeEENames = new QCheckBox(QStringLiteral("Include Payee Names"));
    cbCleared = new QCheckBox(QStringLiteral("Clear"));
    bbGetAccountList = new QPushButton(QStringLiteral("Get Account list"));

    auto* grid = new QGridLayout(GroupBox1);
    grid->addWidget(lblCashAccount, 0, 0);
    grid->addWidget(cbCashAccount, 0, 1);
    grid->addWidget(lblLiabilityAccount, 1, 0);
    grid->addWidget(cbLiabilityAccount, 1, 1);
    grid->addWidget(bbGetAccountList, 0, 2);
    grid->addWidget(cbIncludeDD, 0, 3);
    grid->addWidget(cbIncludeEENames, 1, 3);
    grid->addWidget(cbCleared, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(GroupBox1);
    setMinimumHeight(96);

    // Only the user's changes reach the record; filling a list does not.
    connect(cbCashAccount, &QComboBox::textActivated, this,
            [this](const QString& text) { m_param.CashAccount = text; });
    connect(cbLiabilityAccount, &QComboBox::textActivated, this,
            [this](const QString& text) { m_param.LiabilityAccount = text; });
    connect(cbIncludeDD, &QCheckBox::clicked, this, [this](bool on) { m_param.IncludeDD = on; });
    connect(cbIncludeEENames, &QCheckBox::clicked, this,
            [this](bool on) { m_param.IncludeEENames = on; });
    connect(cbCleared, &QCheckBox::clicked, this, [this](bool on) { m_param.Clear = on; });
    ShowParam();
}

void TQBChecksExportParamFrm::SetParam(const TQBChecksExportParam& param) {
    m_param = param;
    ShowParam();
}

void TQBChecksExportParamFrm::ShowParam() {
    cbIncludeDD->setChecked(m_param.IncludeDD);
    cbIncludeEENames->setChecked(m_param.IncludeEENames);
    cbCleared->setChecked(m_param.Clear);
    cbCashAccount->setCurrentIndex(
        cbCashAccount->findText(m_param.CashAccount, Qt::MatchFixedString));
    cbLiabilityAccount->setCurrentIndex(
        cbLiabilityAccount->findText(m_param.LiabilityAccount, Qt::MatchFixedString));
}

bool TQBChecksExportParamFrm::AccountsChosen() const {
    return cbCashAccount->currentIndex() >= 0 && cbLiabilityAccount->currentIndex() >= 0;
}

void TQBChecksExportParamFrm::SetAccountNames(const QStringList& names) {
    cbCashAccount->clear();
    cbCashAccount->addItems(names);
    cbLiabilityAccount->clear();
    cbLiabilityAccount->addItems(names);
    ShowParam();
    bbGetAccountList->setText(QStringLiteral("Refresh Account list"));
}
