// The filter dialog of the data grid: one value per offered field, "Not" and
// "Exact Match", turned into the filter expression of the in-memory table
// (and read back from it, so reopening shows the filter in force).
#pragma once

#include "table/MemTable.h"

#include <QDialog>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

class TFilterDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFilterDialog(QWidget* parent = nullptr);

    // One row per offered field ("FIELD<tab>...<tab>Title[<tab>...]"), then
    // the values, "Not" and "Exact Match" read from the filter text. The
    // table gives the field kinds.
    void Setup(const QString& filterText, const QStringList& offeredFields, const TMemTable& table);
    // "0=0 AND NAME like '%SMITH%' AND CO_NBR = '12'" for the values
    // entered; "1=1 AND ..." with "Exact Match"; empty without values.
    QString BuildFilter() const;

    int RowCount() const { return int(m_rows.size()); }
    QString FieldName(int row) const { return m_rows.at(size_t(row)).Field; }
    QString Title(int row) const;
    QLineEdit* ValueEditor(int row) const;
    QCheckBox* NotBox() const { return m_not; }
    QCheckBox* ExactMatchBox() const { return m_exactMatch; }
    QPushButton* ClearAllButton() const { return m_clearAll; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    struct TRow {
        QString Field;
        TMemFieldKind Kind = fkUnknown;
    };

    void ParseFilter(QString text);
    void SetFieldValue(const QString& field, const QString& value);

    QTableWidget* m_grid = nullptr;
    QCheckBox* m_not = nullptr;
    QCheckBox* m_exactMatch = nullptr;
    QPushButton* m_clearAll = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    std::vector<TRow> m_rows;
};
