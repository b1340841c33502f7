// The checks page's QuickBooks options: the cash and liability accounts
// chosen from QuickBooks' account list, direct deposit checks, payee names
// and clearing. The panel keeps its own TQBChecksExportParam, changed by
// every user change of a control: account names that QuickBooks' list does
// not (or not yet) hold stay in the record and are saved unchanged.
#pragma once

#include "export/QBConnectionFactory.h"
#include "logging/vlxcommonlogger.h"
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

    // How the account list is fetched: the page's logger and QuickBooks.
    void Init(ICommonLoggerPtr logger, TQBConnectionFactory connect);

    const TQBChecksExportParam& GetParam() const { return m_param; }
    // Copies the record and shows it; each list selects the entry equal to
    // the stored name regardless of letter case, or none.
    void SetParam(const TQBChecksExportParam& param);
    // Both lists have a selected entry.
    bool AccountsChosen() const;

    // Fills both lists with QuickBooks' account full names behind the
    // modal wait window, re-selects the stored names and renames the
    // button. A failure is shown by the error display; the lists then keep
    // what they held.
    void RefreshAccountList();

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
    void FetchAccountList();
    void ShowParam();

    TQBChecksExportParam m_param;
    ICommonLoggerPtr m_logger;
    TQBConnectionFactory m_connect;
};
