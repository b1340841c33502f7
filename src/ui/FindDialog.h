// The data grid's find dialog (Ctrl+F): a value searched in one of the
// grid's columns, exactly, at the beginning or anywhere in the shown text.
// It stays open; a match becomes the table's current record.
#pragma once

#include "table/MemTable.h"

#include <QDialog>
#include <QPointer>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TFindDialog : public QDialog {
    Q_OBJECT
public:
    struct TField {
        int Index; // field of the table
        QString Title;
    };

    explicit TFindDialog(QWidget* parent = nullptr);

    // The fields offered, the one preset; the typed value is kept.
    void Setup(TMemTable* table, const std::vector<TField>& fields, int currentField);
    // The two buttons: search from the first record, or after the current
    // one. True when a record was found (it is then current).
    bool FindFirst();
    bool FindNext();

    QComboBox* FieldBox() const { return m_field; }
    QLineEdit* ValueEdit() const { return m_value; }
    QRadioButton* ExactButton() const { return m_exact; }
    QRadioButton* AtBeginningButton() const { return m_atBeginning; }
    QRadioButton* AnywhereButton() const { return m_anywhere; }
    QCheckBox* CaseSensitiveBox() const { return m_caseSensitive; }
    QPushButton* FindFirstButton() const { return m_findFirst; }
    QPushButton* FindNextButton() const { return m_findNext; }

Q_SIGNALS:
    // A search found a record; it is the table's current one now.
    void RecordFound();

private:
    bool Find(int from);

    QPointer<TMemTable> m_table;
    QComboBox* m_field = nullptr;
    QLineEdit* m_value = nullptr;
    QRadioButton* m_exact = nullptr;
    QRadioButton* m_atBeginning = nullptr;
    QRadioButton* m_anywhere = nullptr;
    QCheckBox* m_caseSensitive = nullptr;
    QPushButton* m_findFirst = nullptr;
    QPushButton* m_findNext = nullptr;
    QLabel* m_status = nullptr;
};
