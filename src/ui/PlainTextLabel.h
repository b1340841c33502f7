// Text from outside (a company name, a payee, a file name, a message of
// QuickBooks or the payroll service) on a label: shown as it is. A label
// left to guess takes text with a tag in it for markup, formats it and
// loads the images it names.
#pragma once

#include <QLabel>
#include <QString>

inline void SetPlainText(QLabel& label, const QString& text) {
    label.setTextFormat(Qt::PlainText);
    label.setText(text);
}
