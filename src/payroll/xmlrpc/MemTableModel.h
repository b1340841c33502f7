// An item model over an in-memory table for the grids: one row per visible
// record in view order, one column per visible field, headed by its label.
#pragma once

#include "payroll/xmlrpc/MemTable.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <vector>

class TMemTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TMemTableModel(TMemTable* table, QObject* parent = nullptr);

    TMemTable* Table() const { return m_table.data(); }
    // The table field shown in a column.
    int FieldOfColumn(int column) const { return m_columns.at(size_t(column)); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // Display: the value as text in the regional settings; Edit: the value
    // itself (invalid for null).
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    static QString DisplayText(const QVariant& value, TMemFieldKind kind);

private:
    void Reset();
    void CollectColumns();

    QPointer<TMemTable> m_table;
    std::vector<int> m_columns;
};
