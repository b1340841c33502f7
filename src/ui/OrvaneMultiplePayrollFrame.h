// The company and payroll selection of the export pages: the company frame
// on the left, the payrolls of the current company on the right, several
// selectable. The selection is read when a run starts.
#pragma once

#include "payroll/OrvData.h"

#include <QWidget>

class TOrvaneCompanyFrm;
class TOrvaneDsFrm;
class TOrvPayrollLists;

class TOrvaneMultiplePayrollFrm : public QWidget {
    Q_OBJECT
public:
    explicit TOrvaneMultiplePayrollFrm(QWidget* parent = nullptr);

    // A company is current and its payroll list has at least one row.
    bool IsReady() const;
    // The current company and the selected payrolls of it in table order
    // (the current payroll when none is selected); requires IsReady.
    TOrvPayrollsDef GetSelectedPayrolls() const;

    // The lists shown; a load (on the worker) hands them its tables
    // (Adopt), and the grids bind them.
    TOrvPayrollLists& Lists();

    TOrvaneCompanyFrm* CompanyFrame;
    TOrvaneDsFrm* PayrollsFrm; // "Payrolls"

private:
    void BindPayrolls();
};
