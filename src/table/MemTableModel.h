// An item model over an in-memory table for the grids: one row per visible
// record in view order, one column per visible field (or per configured
// column), headed by its label. It reads the table in place and resets
// around every change of the table's view.
#pragma once

#include "table/MemTable.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <vector>

// A configured column: the field shown and its title (empty: the label).
struct TMemTableColumn {
    QString Field;
    QString Title;
};

class TMemTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TMemTableModel(TMemTable* table = nullptr, QObject* parent = nullptr);

    TMemTable* Table() const { return m_table.data(); }
    void SetTable(TMemTable* table);
    // Shows these columns in this order; fields the table lacks are left
    // out. Empty: every visible field.
    void SetColumns(const std::vector<TMemTableColumn>& columns);
    // The table field shown in a column.
    int FieldOfColumn(int column) const { return m_columns.at(size_t(column)); }
    // The column showing a field, -1 when none does.
    int ColumnOfField(int field) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // Display: the value as text in the regional settings; Edit: the value
    // itself (invalid for null); numbers align right.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    static QString DisplayText(const QVariant& value, TMemFieldKind kind);

private:
    void BeginReset();
    void EndReset();
    void CollectColumns();

    QPointer<TMemTable> m_table;
    std::vector<TMemTableColumn> m_configured;
    std::vector<int> m_columns;    // field per column
    std::vector<QString> m_titles; // configured title per column, may be empty
    bool m_resetting = false;
};
