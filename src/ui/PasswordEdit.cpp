#include "ui/PasswordEdit.h"

#include <QProxyStyle>

namespace {

// Every character shows as "*", at once (no glimpse of the last one typed).
class TStarPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return u'*';
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

TPasswordEdit::TPasswordEdit(QWidget* parent) : QLineEdit(parent) {
    auto* style = new TStarPasswordStyle;
    style->setParent(this);
    setStyle(style);
    setEchoMode(QLineEdit::Password);
}

void TPasswordEdit::SetPassword(const QString& password) {
    m_password = password;
    setText(QString(password.size(), u' '));
}

QString TPasswordEdit::GetPassword() const {
    const QString shown = text();
    if (shown == QString(m_password.size(), u' '))
        return m_password;
    return shown;
}
