// In-memory tables the tabs fill from the ledger: columns declared in one
// list, values put by field name.
#pragma once

#include "table/MemTable.h"

#include <initializer_list>

struct TMemColumn {
    const char* Name;
    TMemFieldKind Kind;
    const char* Label; // empty: a hidden column
};

// An open table with the columns, owned by parent.
inline TMemTable* NewMemTable(QObject* parent, std::initializer_list<TMemColumn> columns) {
    auto* table = new TMemTable(parent);
    for (const TMemColumn& c : columns) {
        TMemFieldDef def;
        def.Name = QLatin1String(c.Name);
        def.Kind = c.Kind;
        def.DisplayLabel = QLatin1String(c.Label);
        def.Visible = c.Label[0] != 0;
        table->AddField(def);
    }
    table->Open();
    return table;
}

inline void PutString(TMemTable& table, const char* field, const QString& value) {
    table.SetString(table.FieldByName(QLatin1String(field)), value);
}
