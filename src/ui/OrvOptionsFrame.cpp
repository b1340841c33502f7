#include "ui/OrvOptionsFrame.h"

#include "base/ztExceptions.h"
#include "settings/QBDecl.h"

#include <QHBoxLayout>
#include <QRadioButton>

TOrvOptionsFrm::TOrvOptionsFrm(QWidget* parent) : QWidget(parent) {
    rbAll = new QRadioButton(QStringLiteral("All Checks"));
    rbEmployee = new QRadioButton(QStringLiteral("Employee Checks"));
    rbAgency = new QRadioButton(QStringLiteral("Agency Checks"));
    rbEmployee->setChecked(true);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(rbAll);
    layout->addWidget(rbEmployee);
    layout->addWidget(rbAgency);
    layout->addStretch();
    setMinimumHeight(46);
}

TChecksReportChoice TOrvOptionsFrm::Kind() const {
    if (rbEmployee->isChecked())
        return crcEmployeeChecks;
    if (rbAgency->isChecked())
        return crcAgencyChecks;
    OrvAssert(rbAll->isChecked());
    return crcAllChecks;
}

void TOrvOptionsFrm::SetKind(int kind) {
    QRadioButton* const buttons[] = {rbAll, rbEmployee, rbAgency};
    for (QRadioButton* button : buttons)
        button->setAutoExclusive(false);
    for (int i = 0; i < 3; ++i)
        buttons[i]->setChecked(i == kind);
    for (QRadioButton* button : buttons)
        button->setAutoExclusive(true);
}
