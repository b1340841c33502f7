#include "payroll/xmlrpc/MemTableModel.h"

#include "base/RegionalSettings.h"

TMemTableModel::TMemTableModel(TMemTable* table, QObject* parent)
    : QAbstractTableModel(parent), m_table(table) {
    CollectColumns();
    if (table) {
        connect(table, &TMemTable::ViewChanged, this, &TMemTableModel::Reset);
        connect(table, &QObject::destroyed, this, &TMemTableModel::Reset);
    }
}

void TMemTableModel::CollectColumns() {
    m_columns.clear();
    if (!m_table)
        return;
    for (int f = 0; f < m_table->FieldCount(); ++f) {
        if (m_table->Field(f).Visible)
            m_columns.push_back(f);
    }
}

void TMemTableModel::Reset() {
    beginResetModel();
    CollectColumns();
    endResetModel();
}

int TMemTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_table || !m_table->Active() ? 0 : m_table->RecordCount();
}

int TMemTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columns.size());
}

QString TMemTableModel::DisplayText(const QVariant& value, TMemFieldKind kind) {
    if (!value.isValid())
        return QString();
    switch (kind) {
    case fkDate:
        return DateToStr(value.toDate());
    case fkDateTime: {
        const QDateTime dt = value.toDateTime();
        if (dt.time() == QTime(0, 0))
            return DateToStr(dt.date());
        return DateToStr(dt.date()) + u' ' + dt.time().toString(QStringLiteral("hh:mm:ss"));
    }
    case fkFloat:
        return QString::number(value.toDouble(), 'g', 15)
            .replace(u'.', RegionalSettings().DecimalSeparator);
    case fkBoolean:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case fkBlob:
        return QStringLiteral("(BLOB)");
    default:
        return value.toString();
    }
}

QVariant TMemTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_table || index.row() >= rowCount() ||
        index.column() >= columnCount())
        return QVariant();
    const int field = m_columns[size_t(index.column())];
    const QVariant value = m_table->ValueAt(index.row(), field);
    if (role == Qt::DisplayRole)
        return DisplayText(value, m_table->Field(field).Kind);
    if (role == Qt::EditRole)
        return value;
    return QVariant();
}

QVariant TMemTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || !m_table)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < 0 || section >= columnCount())
        return QVariant();
    return m_table->Field(m_columns[size_t(section)]).Label();
}
