#include "ui/OrvAPIConnectionParamFrame.h"

#include "app/core/AppCore.h"
#include "base/vlxTextUtils.h"
#include "ui/OrvqApplication.h"
#include "ui/PasswordEdit.h"
#include "ui/UserDialogBoxes.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The server text's parts at ":"; a trailing colon gives an empty last
// part, empty text none.
QStringList ServerParts(const QString& server) {
    return server.isEmpty() ? QStringList() : server.split(u':');
}

} // namespace

QString ConnectionInfoText() {
    const QString example = QStringLiteral("orvaneapi.yourservicebureau.com");
    const QStringList lines{
        QStringLiteral("Please contact your service bureau to obtain this address."),
        QString(),
        QStringLiteral(
            "Service Bureau: The Orvane API service is configured in the Orvane Management "
            "Console. It requires public access via corporate firewalls and a public DNS record "
            "in the same fashion that the Tessaway is configured. For more detailed information, "
            "see the API service description in the Orvane Technical Administration guide."),
        QString(),
        QStringLiteral("Socket Errors: Be sure to check the following in the event of a socket "
                       "error"),
        QStringLiteral("1.       Is the API server name correct? Check with your Service Bureau."),
        QStringLiteral("2.       Is a local Windows or other firewall present on this workstation "
                       "that might be blocking outbound traffic to your API server using TCP port "
                       "9943"),
        QStringLiteral("3.       Is a network firewall in place that might be blocking this "
                       "traffic? Check with your IT staff."),
        QString(),
        QStringLiteral("Servername and TCP port override:"),
        QStringLiteral("1.       The default API server uses TCP port 9943."),
        QStringLiteral("2.       It is possible to run the API service using an alternative port"),
        QStringLiteral("3.       Your Service Bureau will advise you if the API service is running "
                       "under a custom TCP port"),
        QStringLiteral("4.       You can specify the custom TCP port in the API server field using "
                       "the syntax below"),
        QStringLiteral("         ") + example + QStringLiteral(":<TCPPORT>"),
        QStringLiteral("         like ") + example + QStringLiteral(":9944"),
    };
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

TOrvAPIConnectionParamFrm::TOrvAPIConnectionParamFrm(QWidget* parent)
    : TOptionsBaseFrm(parent), APIServerEdit(new QLineEdit), SpeedButton1(new QToolButton),
      UserNameEdit(new QLineEdit), PasswordEdit(new TPasswordEdit),
      cbSavePassword(new QCheckBox(QStringLiteral("Save password"))) {
    auto* group = new QGroupBox(QStringLiteral("Orvane"), this);
    auto* grid = new QGridLayout(group);
    const auto addRow = [grid](int row, const QString& caption, QWidget* edit) {
        auto* label = new QLabel(caption);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        edit->setMinimumWidth(124);
        grid->addWidget(edit, row, 1);
    };
    addRow(0, QStringLiteral("API adapter address"), APIServerEdit);
    addRow(1, QStringLiteral("Orvane username"), UserNameEdit);
    addRow(2, QStringLiteral("Orvane password"), PasswordEdit);
    grid->addWidget(SpeedButton1, 0, 2, Qt::AlignLeft);
    grid->addWidget(cbSavePassword, 2, 2);
    grid->setColumnStretch(1, 1);

    SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    SpeedButton1->setMinimumSize(23, 22);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setToolTip(QStringLiteral("How to get the address"));
    connect(SpeedButton1, &QToolButton::clicked, this, UserAction([this] { ShowInfo(); }));

    setTabOrder(APIServerEdit, UserNameEdit);
    setTabOrder(UserNameEdit, PasswordEdit);
    setTabOrder(PasswordEdit, cbSavePassword);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(group);
    setMinimumSize(390, 106);
    WatchControls();
}

TOrvAPIConnectionParam TOrvAPIConnectionParamFrm::GetParam() const {
    TOrvAPIConnectionParam param;
    const QString server = TrimControl(APIServerEdit->text());
    const QStringList parts = ServerParts(server);
    if (parts.size() == 2) {
        param.APIServerAddress = parts[0];
        param.APIServerPort = StrToInt(parts[1]);
    } else {
        param.APIServerAddress = server;
        param.APIServerPort = TOrvAPIConnectionParam::DefaultPort;
    }
    param.Username = TrimControl(UserNameEdit->text());
    param.Password = PasswordEdit->GetPassword();
    param.SavePassword = cbSavePassword->isChecked();
    return param;
}

void TOrvAPIConnectionParamFrm::SetParam(const TOrvAPIConnectionParam& param) {
    QString server = param.APIServerAddress;
    if (param.APIServerPort != TOrvAPIConnectionParam::DefaultPort)
        server += u':' + QString::number(param.APIServerPort);
    APIServerEdit->setText(server);
    UserNameEdit->setText(param.Username);
    PasswordEdit->SetPassword(param.Password);
    cbSavePassword->setChecked(param.SavePassword);
}

bool TOrvAPIConnectionParamFrm::IsComplete() const {
    const QString server = TrimControl(APIServerEdit->text());
    const qsizetype parts = ServerParts(server).size();
    return !server.isEmpty() && (parts == 1 || parts == 2) &&
           !TrimControl(UserNameEdit->text()).isEmpty() && !PasswordEdit->GetPassword().isEmpty();
}

void TOrvAPIConnectionParamFrm::ShowInfo() {
    ShowMessageBox(this, QMessageBox::NoIcon, ApplicationTitle, ConnectionInfoText());
}
