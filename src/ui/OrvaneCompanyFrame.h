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
