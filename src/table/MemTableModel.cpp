#include "table/MemTableModel.h"

#include "base/RegionalSettings.h"

TMemTableModel::TMemTableModel(TMemTable* table, QObject* parent) : QAbstractTableModel(parent) {
    SetTable(table);
}

void TMemTableModel::SetTable(TMemTable* table) {
    BeginReset();
    if (m_table)
        disconnect(m_table, nullptr, this, nullptr);
    m_table = table;
    if (table) {
        connect(table, &TMemTable::ViewAboutToChange, this, &TMemTableModel::BeginReset);
        connect(table, &TMemTable::ViewChanged, this, &TMemTableModel::EndReset);
        // A table goes away between changes: the model shows nothing.
        connect(table, &QObject::destroyed, this, [this] {
            BeginReset();
            EndReset();
        });
    }
    EndReset();
}

void TMemTableModel::SetColumns(const std::vector<TMemTableColumn>& columns) {
    BeginReset();
    m_configured = columns;
    EndReset();
}

void TMemTableModel::BeginReset() {
    if (m_resetting)
        return;
    m_resetting = true;
    beginResetModel();
}

void TMemTableModel::EndReset() {
    if (!m_resetting)
        return;
    CollectColumns();
    m_resetting = false;
    endResetModel();
}

void TMemTableModel::CollectColumns() {
    m_columns.clear();
    m_titles.clear();
    if (!m_table)
        return;
    if (m_configured.empty()) {
        for (int f = 0; f < m_table->FieldCount(); ++f) {
            if (m_table->Field(f).Visible) {
                m_columns.push_back(f);
                m_titles.emplace_back();
            }
        }
        return;
    }
    for (const TMemTableColumn& column : m_configured) {
        const int field = m_table->FindField(column.Field);
        if (field >= 0) {
            m_columns.push_back(field);
            m_titles.push_back(column.Title);
        }
    }
}

int TMemTableModel::ColumnOfField(int field) const {
    for (size_t c = 0; c < m_columns.size(); ++c) {
        if (m_columns[c] == field)
            return int(c);
    }
    return -1;
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
    case fkCurrency:
        return MoneyToStr(Currency::FromRaw(value.toLongLong()));
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
    const TMemFieldKind kind = m_table->Field(field).Kind;
    switch (role) {
    case Qt::DisplayRole:
        return DisplayText(m_table->ValueAt(index.row(), field), kind);
    case Qt::EditRole:
        return m_table->ValueAt(index.row(), field);
    case Qt::TextAlignmentRole:
        if (kind == fkInteger || kind == fkFloat || kind == fkCurrency)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant TMemTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || !m_table)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < 0 || section >= columnCount())
        return QVariant();
    const QString& title = m_titles[size_t(section)];
    return title.isEmpty() ? m_table->Field(m_columns[size_t(section)]).Label() : title;
}
