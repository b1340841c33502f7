#include "ui/OrvaneCompanyFrame.h"

#include "base/vlxGlobalWaitIndicator.h"
#include "ui/OrvaneDSFrame.h"
#include "ui/dbcomp.h"

#include <QHBoxLayout>

namespace {

// Counted progress shown only as the wait indication, for a frame outside
// the main window.
class TWaitOnlyProgress : public IProgressIndicator {
public:
    void StartProgress(const QString& caption, int) override { WaitIndicator().StartWait(caption); }
    void SetProgress(int) override {}
    void EndProgress() override { WaitIndicator().EndWait(); }
};

} // namespace

IProgressIndicator& WindowProgress(QWidget* widget) {
    if (auto* progress = dynamic_cast<IProgressIndicator*>(widget->window()))
        return *progress;
    static TWaitOnlyProgress waitOnly;
    return waitOnly;
}

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

void TOrvaneCompanyFrm::LoadCompanies(IOrvAPIConnection& connection) {
    m_lists.LoadCompanies(connection, WindowProgress(this));
}

void TOrvaneCompanyFrm::BindTables() {
    ClientsFrm->Grid->SetTable(m_lists.Clients());
    CompaniesFrm->Grid->SetTable(m_lists.Companies());
}
