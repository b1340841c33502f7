// The GL page's QuickBooks options: how GL tags name accounts, what the
// part of a tag before the delimiter becomes, manual checks, clearing and
// billing split. Converts between its controls and TQBGLExportParam.
#pragma once

#include "settings/QBDecl.h"

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

class TQBGLExportParamFrm : public QWidget {
    Q_OBJECT
public:
    explicit TQBGLExportParamFrm(QWidget* parent = nullptr);

    // The controls' state; what no control shows (the batch size) is the
    // last written record's.
    TQBGLExportParam GetParam() const;
    // A GLTagParsing outside 0 to 2 leaves the three parsing buttons
    // unselected (read back as "Don't parse").
    void SetParam(const TQBGLExportParam& param);

    QGroupBox* GroupBox1; // "QuickBooks "
    QGroupBox* rgUseAccountNumber;
    QRadioButton* rbAccountFullNames;
    QRadioButton* rbAccountNumbers;
    QGroupBox* gbGLTagParsing;
    QRadioButton* rbAssignClass;
    QRadioButton* rbAssignCustomer;
    QRadioButton* rbDontParse;
    QLabel* lblDelimiter;
    QLineEdit* edtDelimiter;
    QLabel* lblDelimiterNote;
    QCheckBox* cbManualChecks;
    QCheckBox* cbCleared;
    QCheckBox* cbSplitBillingByDBDT;

private:
    TQBGLExportParam m_param;
};
