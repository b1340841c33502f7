// Tables built from a column list: each column a title, a kind and how a row
// gives its value, so one list declares a grid (and a printed table) once.
// A table filled from a list holds a record per row in the list's order.
#pragma once

#include "table/MemTable.h"

#include <QDate>
#include <functional>
#include <variant>
#include <vector>

// One cell as a row gives it: text, money, a date, a date and time, a whole
// number, or nothing (null). An invalid date or date-time is null.
class TTableCell {
public:
    TTableCell() = default;
    TTableCell(const QString& text) : m_value(text) {}
    TTableCell(Currency amount) : m_value(amount) {}
    TTableCell(const QDate& date);
    TTableCell(const QDateTime& dateTime);
    TTableCell(qint32 number) : m_value(number) {}

    // Into the table's record being appended; a value its field's kind
    // cannot hold throws ETableError.
    void Put(TMemTable& table, int field) const;
    // As a grid shows it in a field of this kind.
    QString Text(TMemFieldKind kind) const;
    // As a data file keeps it: money a plain number ("1068.90"), the rest
    // as shown.
    QString DataText(TMemFieldKind kind) const;

private:
    std::variant<std::monostate, QString, Currency, QDate, QDateTime, qint32> m_value;
};

template <typename TRow> struct TTableColumn {
    QString Title; // empty: a hidden column
    TMemFieldKind Kind;
    std::function<TTableCell(const TRow&)> Value;
    // The field's name in filters and code; empty: the title.
    QString Name = QString();

    QString FieldName() const { return Name.isEmpty() ? Title : Name; }
};

template <typename TRow> using TTableColumns = std::vector<TTableColumn<TRow>>;

// Numbers and money align right, in grids and printed tables alike.
inline bool AlignsRight(TMemFieldKind kind) {
    return kind == fkInteger || kind == fkFloat || kind == fkCurrency;
}

// An open table with a field per column, owned by parent.
TMemTable* NewMemTable(QObject* parent, const std::vector<TMemFieldDef>& fields);

template <typename TRow>
TMemTable* NewMemTable(QObject* parent, const TTableColumns<TRow>& columns) {
    std::vector<TMemFieldDef> fields;
    for (const TTableColumn<TRow>& c : columns) {
        TMemFieldDef def;
        def.Name = c.FieldName();
        def.Kind = c.Kind;
        def.DisplayLabel = c.Title;
        def.Visible = !c.Title.isEmpty();
        fields.push_back(def);
    }
    return NewMemTable(parent, fields);
}

// A record per row, the fields in the columns' order.
template <typename TRow, typename TRows>
void AppendRows(TMemTable& table, const TTableColumns<TRow>& columns, const TRows& rows) {
    for (const TRow& row : rows) {
        table.Append();
        for (size_t i = 0; i < columns.size(); ++i)
            columns[i].Value(row).Put(table, int(i));
        table.Post();
    }
}

// The columns of a part of a row, for a grid whose rows hold more than the
// part's own list shows.
template <typename TRow, typename TPart, typename TGetPart>
void AppendPartColumns(TTableColumns<TRow>& columns, const TTableColumns<TPart>& part,
                       TGetPart getPart) {
    for (const TTableColumn<TPart>& c : part)
        columns.push_back(
            {c.Title, c.Kind,
             [value = c.Value, getPart](const TRow& row) { return value(getPart(row)); }, c.Name});
}

// The row of the list a table was filled from (AppendRows, once) that the
// table's cursor is on; null when none.
template <typename TRows>
const typename TRows::value_type* CurrentRow(const TMemTable& table, const TRows& rows) {
    const TBookmark at = table.Bookmark();
    return at >= 0 && at < TBookmark(rows.size()) ? &rows[size_t(at)] : nullptr;
}
