// The client and company grids side by side over the lists of the payroll
// service. The frame owns the lists; every load replaces their tables and
// the grids bind the new ones (also after a failed load, which leaves none).
#pragma once

#include "payroll/OrvPayrollLists.h"

#include <QWidget>

class TOrvaneDsFrm;

class TOrvaneCompanyFrm : public QWidget {
    Q_OBJECT
public:
    explicit TOrvaneCompanyFrm(QWidget* parent = nullptr);

    // Where the stored queries are found; null: the program's redirection
    // file, read at each load.
    void SetRedirection(IRedirectionPtr redirection) {
        m_lists.SetRedirection(std::move(redirection));
    }

    // Loads the client and company lists, with the window's progress.
    void LoadCompanies(IOrvAPIConnection& connection);
    // A client and a company are current.
    bool IsReady() const { return m_lists.CompaniesReady(); }
    // The current company; requires IsReady.
    TOrvCompanyDef GetSelectedCompany() const { return m_lists.GetSelectedCompany(); }

    TOrvPayrollLists& Lists() { return m_lists; }
    const TOrvPayrollLists& Lists() const { return m_lists; }

    TOrvaneDsFrm* ClientsFrm;   // "Clients"
    TOrvaneDsFrm* CompaniesFrm; // "Companies"

private:
    void BindTables();

    TOrvPayrollLists m_lists;
};

class IProgressIndicator;
// The progress of the window the widget sits in (the main window offers
// its status bar); without one, a progress that only raises the wait
// indication.
IProgressIndicator& WindowProgress(QWidget* widget);
