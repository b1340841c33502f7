// A grid showing a list: the list's rows in a new table from a column list,
// in place of the table shown before.
#pragma once

#include "table/TableColumns.h"
#include "ui/dbcomp.h"

// Fills a new table (owned by the old one's parent) with the rows and shows
// it; the old table is deleted once the event loop gets to it, since a
// signal of it may be what called.
template <typename TRow, typename TRows>
void ShowRows(TReDBGrid& grid, TMemTable*& table, const TTableColumns<TRow>& columns,
              const TRows& rows) {
    TMemTable* filled = NewMemTable(table->parent(), columns);
    AppendRows(*filled, columns, rows);
    filled->First();
    grid.SetTable(filled);
    grid.resizeColumnsToContents();
    table->deleteLater();
    table = filled;
}
