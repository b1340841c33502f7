#include "ui/OrvaneMultiplePayrollFrame.h"

#include "ui/OrvaneCompanyFrame.h"
#include "ui/OrvaneDSFrame.h"
#include "ui/dbcomp.h"

#include <QHBoxLayout>

TOrvaneMultiplePayrollFrm::TOrvaneMultiplePayrollFrm(QWidget* parent)
    : QWidget(parent), CompanyFrame(new TOrvaneCompanyFrm(this)),
      PayrollsFrm(new TOrvaneDsFrm(this)) {
    PayrollsFrm->SetCaption(QStringLiteral("Payrolls"));
    PayrollsFrm->Grid->SetMultiSelect(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(CompanyFrame, 2);
    layout->addWidget(PayrollsFrm, 1);
    connect(&Lists(), &TOrvPayrollLists::TablesReplaced, this,
            &TOrvaneMultiplePayrollFrm::BindPayrolls);
}

TOrvPayrollLists& TOrvaneMultiplePayrollFrm::Lists() {
    return CompanyFrame->Lists();
}

bool TOrvaneMultiplePayrollFrm::IsReady() const {
    return CompanyFrame->Lists().Ready();
}

TOrvPayrollsDef TOrvaneMultiplePayrollFrm::GetSelectedPayrolls() const {
    OrvAssert(IsReady());
    const QList<TBookmark> selected = PayrollsFrm->Grid->SelectedBookmarks();
    return CompanyFrame->Lists().GetSelectedPayrolls(
        QSet<TBookmark>(selected.begin(), selected.end()));
}

void TOrvaneMultiplePayrollFrm::BindPayrolls() {
    PayrollsFrm->Grid->SetTable(Lists().Payrolls());
}
