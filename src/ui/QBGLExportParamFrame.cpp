#include "ui/QBGLExportParamFrame.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

TQBGLExportParamFrm::TQBGLExportParamFrm(QWidget* parent) : QWidget(parent) {
    GroupBox1 = new QGroupBox(QStringLiteral("QuickBooks "));

    rgUseAccountNumber = new QGroupBox(QStringLiteral("Treat Orvane GL Tags as"));
    rbAccountFullNames = new QRadioButton(QStringLiteral("Account Full Names"));
    rbAccountNumbers = new QRadioButton(QStringLiteral("Account Numbers"));
    rbAccountFullNames->setChecked(true);
    auto* accounts = new QVBoxLayout(rgUseAccountNumber);
    accounts->addWidget(rbAccountFullNames);
    accounts->addWidget(rbAccountNumbers);

    gbGLTagParsing = new QGroupBox(QStringLiteral("Orvane GL Tag Parsing"));
    rbAssignClass = new QRadioButton(QStringLiteral("Assign Class"));
    rbAssignCustomer = new QRadioButton(QStringLiteral("Assign Customer"));
    rbDontParse = new QRadioButton(QStringLiteral("Don't parse"));
    lblDelimiter = new QLabel(QStringLiteral("Delimiter used"));
    edtDelimiter = new QLineEdit(QStringLiteral("-"));
    edtDelimiter->setMaxLength(1);
    edtDelimiter->setFixedWidth(24);
    const QString delimiterHint = QStringLiteral(
        "Characters to the left of the delimiter will be assigned to the QuickBooks CLASS field.");
    lblDelimiter->setToolTip(delimiterHint);
    edtDelimiter->setToolTip(delimiterHint);
    lblDelimiterNote = new QLabel(QStringLiteral(
        "Part of GL tag before the delimiter will be assigned to the QuickBooks Class or Name "
        "field."));
    lblDelimiterNote->setWordWrap(true);
    QPalette note = lblDelimiterNote->palette();
    note.setColor(QPalette::WindowText, note.color(QPalette::Link));
    lblDelimiterNote->setPalette(note);
    auto* parsing = new QGridLayout(gbGLTagParsing);
    parsing->addWidget(rbAssignClass, 0, 0);
    parsing->addWidget(rbAssignCustomer, 1, 0);
    parsing->addWidget(rbDontParse, 2, 0);
    parsing->addWidget(lblDelimiter, 0, 1);
    parsing->addWidget(edtDelimiter, 0, 2);
    parsing->addWidget(lblDelimiterNote, 1, 1, 2, 2);
    parsing->setColumnStretch(1, 1);

    cbManualChecks = new QCheckBox(QStringLiteral("Export Manual Checks"));
    cbCleared = new QCheckBox(QStringLiteral("Clear"));
    cbSplitBillingByDBDT = new QCheckBox(QStringLiteral("Split billing by D/B/D/T"));
    auto* boxes = new QVBoxLayout;
    boxes->addWidget(cbManualChecks);
    boxes->addWidget(cbCleared);
    boxes->addWidget(cbSplitBillingByDBDT);
    boxes->addStretch();

    auto* inner = new QHBoxLayout(GroupBox1);
    inner->addWidget(rgUseAccountNumber);
    inner->addWidget(gbGLTagParsing, 1);
    inner->addLayout(boxes);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(GroupBox1);
    setMinimumHeight(139);
}

TQBGLExportParam TQBGLExportParamFrm::GetParam() const {
    TQBGLExportParam param = m_param;
    param.UseAccountNumbers = rbAccountNumbers->isChecked();
    param.GLTagParsing = rbAssignClass->isChecked()      ? gtpAssignClass
                         : rbAssignCustomer->isChecked() ? gtpAssignName
                                                         : gtpDontParse;
    param.DelimiterInGLTag = edtDelimiter->text();
    param.ExcludeManualChecks = !cbManualChecks->isChecked();
    param.Clear = cbCleared->isChecked();
    param.SplitBillingByDBDT = cbSplitBillingByDBDT->isChecked();
    return param;
}

void TQBGLExportParamFrm::SetParam(const TQBGLExportParam& param) {
    m_param = param;
    (param.UseAccountNumbers ? rbAccountNumbers : rbAccountFullNames)->setChecked(true);
    // Unselecting every button of a group needs the group's exclusivity off.
    const std::pair<QRadioButton*, TGLTagParsing> parsing[] = {{rbDontParse, gtpDontParse},
                                                               {rbAssignClass, gtpAssignClass},
                                                               {rbAssignCustomer, gtpAssignName}};
    for (const auto& [button, value] : parsing) {
        button->setAutoExclusive(false);
        button->setChecked(param.GLTagParsing == value);
    }
    for (const auto& [button, value] : parsing)
        button->setAutoExclusive(true);
    edtDelimiter->setText(param.DelimiterInGLTag);
    cbManualChecks->setChecked(!param.ExcludeManualChecks);
    cbCleared->setChecked(param.Clear);
    cbSplitBillingByDBDT->setChecked(param.SplitBillingByDBDT);
}
