// A password edit that never shows the stored password, not even its stars
// as text: it holds blanks of the password's length until the user types.
#pragma once

#include <QLineEdit>

class TPasswordEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TPasswordEdit(QWidget* parent = nullptr);

    // Keeps the password and shows as many blanks (as stars).
    void SetPassword(const QString& password);
    // The stored password while the text is still its blanks, else the text
    // the user typed.
    QString GetPassword() const;

private:
    QString m_password;
};
