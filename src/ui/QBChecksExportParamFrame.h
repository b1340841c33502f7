// The checks page's QuickBooks options: the cash and liability accounts
// chosen from QuickBooks' account list, direct deposit checks, payee names
// and clearing. The panel keeps its own TQBChecksExportParam, changed by
// every user change of a control: account names that QuickBooks' list does
// not (or not yet) hold stay in the record and are saved unchanged.
#pragma once

#include "settings/QBDecl.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

class TQBChecksExportParamFrm : public QWidget {
    Q_OBJECT
public:
    explicit TQBChecksExportParamFrm(QWidget* parent = nullptr);

    const TQBChecksExportParam& GetParam() const { return m_param; }
    // Copies the record and shows it; each list selects the entry equal to
    // the stored name regardless of letter case, or none.
    void SetParam(const TQBChecksExportParam& param);
    // Both lists have a selected entry.
    bool AccountsChosen() const;

    // Fills both lists with QuickBooks' account full names (the page
    // fetches them when "Get Account list" is pressed), re-selects the
    // stored names and renames the button.
    void SetAccountNames(const QStringList& names);

    QGroupBox* GroupBox1; // "QuickBooks "
    QLabel* lblCashAccount;
    QComboBox* cbCashAccount;
    QLabel* lblLiabilityAccount;
    QComboBox* cbLiabilityAccount;
    QCheckBox* cbIncludeDD;
    QCheckBox* cbIncludeEENames;
    QCheckBox* cbCleared;
    QPushButton* bbGetAccountList;

private:
    void ShowParam();

    TQBChecksExportParam m_param;
};
