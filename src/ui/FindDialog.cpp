#include "ui/FindDialog.h"

#include "table/vlxdbcommon.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TFindDialog::TFindDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Find"));
    m_field = new QComboBox(this);
    m_value = new QLineEdit(this);
    m_exact = new QRadioButton(QStringLiteral("Exactly"), this);
    m_atBeginning = new QRadioButton(QStringLiteral("At the beginning"), this);
    m_anywhere = new QRadioButton(QStringLiteral("Anywhere"), this);
    m_anywhere->setChecked(true);
    m_caseSensitive = new QCheckBox(QStringLiteral("Case sensitive"), this);
    m_findFirst = new QPushButton(QStringLiteral("Find First"), this);
    m_findNext = new QPushButton(QStringLiteral("Find Next"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setAutoDefault(false);
    m_findFirst->setDefault(true);
    m_status = new QLabel(this);
    connect(m_findFirst, &QPushButton::clicked, this, &TFindDialog::FindFirst);
    connect(m_findNext, &QPushButton::clicked, this, &TFindDialog::FindNext);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* match = new QGroupBox(QStringLiteral("Match"), this);
    auto* matchLayout = new QVBoxLayout(match);
    matchLayout->addWidget(m_exact);
    matchLayout->addWidget(m_atBeginning);
    matchLayout->addWidget(m_anywhere);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Field:"), m_field);
    form->addRow(QStringLiteral("&Value:"), m_value);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_findFirst);
    buttons->addWidget(m_findNext);
    buttons->addWidget(close);
    buttons->addStretch();
    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addWidget(match);
    left->addWidget(m_caseSensitive);
    left->addWidget(m_status);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);
}

void TFindDialog::Setup(TMemTable* table, const std::vector<TField>& fields, int currentField) {
    m_table = table;
    m_field->clear();
    for (const TField& field : fields) {
        m_field->addItem(field.Title, field.Index);
        if (field.Index == currentField)
            m_field->setCurrentIndex(m_field->count() - 1);
    }
    m_status->clear();
    m_value->setFocus();
    m_value->selectAll();
}

bool TFindDialog::FindFirst() {
    return Find(0);
}

bool TFindDialog::FindNext() {
    return Find(m_table ? m_table->RecNo() + 1 : 0);
}

bool TFindDialog::Find(int from) {
    int position = -1;
    if (m_table && m_table->Active() && m_field->currentIndex() >= 0) {
        const TLocateMatch match = m_exact->isChecked()         ? lomExact
                                   : m_atBeginning->isChecked() ? lomAtBeginning
                                                                : lomAnywhere;
        position = LocateRecord(
            *m_table, m_field->currentData().toInt(), m_value->text(), match,
            m_caseSensitive->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive, from);
    }
    const bool found = position >= 0;
    if (found) {
        m_table->SetRecNo(position);
        Q_EMIT RecordFound();
    }
    m_status->setText(found       ? QString()
                      : from == 0 ? QStringLiteral("No matching record.")
                                  : QStringLiteral("No more matching records."));
    // Enter goes on with the search while it finds, and starts over after.
    (found ? m_findNext : m_findFirst)->setDefault(true);
    return found;
}
