#include "table/TableColumns.h"

#include "base/RegionalSettings.h"
#include "table/MemTableModel.h"

TTableCell::TTableCell(const QDate& date) {
    if (date.isValid())
        m_value = date;
}

TTableCell::TTableCell(const QDateTime& dateTime) {
    if (dateTime.isValid())
        m_value = dateTime;
}

void TTableCell::Put(TMemTable& table, int field) const {
    struct TPut {
        TMemTable& Table;
        int Field;
        void operator()(std::monostate) const { Table.SetNull(Field); }
        void operator()(const QString& text) const { Table.SetString(Field, text); }
        void operator()(Currency amount) const { Table.SetCurrency(Field, amount); }
        void operator()(const QDate& date) const {
            Table.SetDateTime(Field, QDateTime(date, QTime()));
        }
        void operator()(const QDateTime& dateTime) const { Table.SetDateTime(Field, dateTime); }
        void operator()(qint32 number) const { Table.SetInteger(Field, number); }
    };
    std::visit(TPut{table, field}, m_value);
}

QString TTableCell::Text(TMemFieldKind kind) const {
    struct TStored {
        QVariant operator()(std::monostate) const { return QVariant(); }
        QVariant operator()(const QString& text) const { return text; }
        QVariant operator()(Currency amount) const { return amount.Raw(); }
        QVariant operator()(const QDate& date) const { return date; }
        QVariant operator()(const QDateTime& dateTime) const { return dateTime; }
        QVariant operator()(qint32 number) const { return number; }
    };
    return TMemTableModel::DisplayText(std::visit(TStored{}, m_value), kind);
}

QString TTableCell::DataText(TMemFieldKind kind) const {
    if (const Currency* amount = std::get_if<Currency>(&m_value))
        return amount->ToFixed(2, RegionalSettings().DecimalSeparator);
    return Text(kind);
}

TMemTable* NewMemTable(QObject* parent, const std::vector<TMemFieldDef>& fields) {
    auto* table = new TMemTable(parent);
    for (const TMemFieldDef& def : fields)
        table->AddField(def);
    table->Open();
    return table;
}
