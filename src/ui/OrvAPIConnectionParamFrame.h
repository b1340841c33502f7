// The "Connection settings" panel: the Orvane API server (with an optional
// ":port"), user name, password and "Save password". It converts between
// its controls and TOrvAPIConnectionParam, tells whether the entries are
// complete enough to connect, and reports every change (TOptionsBaseFrm).
#pragma once

#include "settings/OrvConnectionParam.h"
#include "ui/OptionsBaseFrame.h"

class QCheckBox;
class QLineEdit;
class QToolButton;
class TPasswordEdit;

// The info button's text, each line ending with CR LF.
QString ConnectionInfoText();

class TOrvAPIConnectionParamFrm : public TOptionsBaseFrm {
    Q_OBJECT
public:
    explicit TOrvAPIConnectionParamFrm(QWidget* parent = nullptr);

    // The server text splits at ":" into address and port when it has
    // exactly one colon; otherwise the whole text is the address and the
    // port 9943. Throws EConvertError "'%s' is not a valid integer value"
    // for a port that is not a number.
    TOrvAPIConnectionParam GetParam() const;
    // The port is shown only when it is not 9943.
    void SetParam(const TOrvAPIConnectionParam& param);
    // Server (with at most one colon; the port is not converted), user name
    // and password all given.
    bool IsComplete() const;

    // The info button: how to get the address, with the port syntax.
    void ShowInfo();

    QLineEdit* APIServerEdit;
    QToolButton* SpeedButton1;
    QLineEdit* UserNameEdit;
    TPasswordEdit* PasswordEdit;
    QCheckBox* cbSavePassword;
};
