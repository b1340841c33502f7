#include "ui/OptionsBaseFrame.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QSpinBox>

TOptionsBaseFrm::TOptionsBaseFrm(QWidget* parent) : QWidget(parent) {}

void TOptionsBaseFrm::WatchControls() {
    const auto changed = [this] { Changed(); };
    for (QLineEdit* edit : findChildren<QLineEdit*>()) {
        // A combo box's or spin box's own line edit reports through its box.
        if (qobject_cast<QComboBox*>(edit->parentWidget()) ||
            qobject_cast<QAbstractSpinBox*>(edit->parentWidget()))
            continue;
        connect(edit, &QLineEdit::textChanged, this, changed);
    }
    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        if (button->isCheckable())
            connect(button, &QAbstractButton::toggled, this, changed);
    for (QComboBox* box : findChildren<QComboBox*>()) {
        connect(box, &QComboBox::currentIndexChanged, this, changed);
        connect(box, &QComboBox::editTextChanged, this, changed);
    }
    for (QSpinBox* box : findChildren<QSpinBox*>())
        connect(box, &QSpinBox::valueChanged, this, changed);
    for (QDateTimeEdit* edit : findChildren<QDateTimeEdit*>())
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, changed);
}

void TOptionsBaseFrm::Changed() {
    if (m_onChange)
        m_onChange(this);
    for (QWidget* outer = parentWidget(); outer; outer = outer->parentWidget()) {
        if (auto* panel = qobject_cast<TOptionsBaseFrm*>(outer)) {
            panel->Changed();
            break;
        }
    }
}
