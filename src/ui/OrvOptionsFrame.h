// Which checks reports the checks page fetches directly: all, the employee
// checks or the agency checks (TChecksReportChoice).
#pragma once

#include "settings/QBDecl.h"

#include <QWidget>

class QRadioButton;

class TOrvOptionsFrm : public QWidget {
    Q_OBJECT
public:
    explicit TOrvOptionsFrm(QWidget* parent = nullptr);

    // 0 "All Checks", 1 "Employee Checks", 2 "Agency Checks".
    TChecksReportChoice Kind() const;
    // Selects the button of the value; any other value selects none of
    // them, which Kind() reports as an assertion failure.
    void SetKind(int kind);

    QRadioButton* rbAll;
    QRadioButton* rbEmployee;
    QRadioButton* rbAgency;
};
