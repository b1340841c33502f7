#include "ui/OrvaneCompanyFrame.h"

#include "ui/OrvaneDSFrame.h"
#include "ui/dbcomp.h"

#include <QHBoxLayout>

TOrvaneCompanyFrm::TOrvaneCompanyFrm(QWidget* parent)
    : QWidget(parent), ClientsFrm(new TOrvaneDsFrm(this)), CompaniesFrm(new TOrvaneDsFrm(this)) {
    ClientsFrm->SetCaption(QStringLiteral("Clients"));
    CompaniesFrm->SetCaption(QStringLiteral("Companies"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ClientsFrm, 1);
    layout->addWidget(CompaniesFrm, 1);
    connect(&m_lists, &TOrvPayrollLists::TablesReplaced, this, &TOrvaneCompanyFrm::BindTables);
}

void TOrvaneCompanyFrm::BindTables() {
    ClientsFrm->Grid->SetTable(m_lists.Clients());
    CompaniesFrm->Grid->SetTable(m_lists.Companies());
}
