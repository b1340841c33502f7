// The employees of the demo company as a small in-memory table for the sort,
// filter and grid tests: CL_NBR, CO_NBR, NAME, PAY, PHOTO (a blob). Tests
// that use it link orvq_table.
#pragma once

#include "table/MemTable.h"

#include <memory>

namespace testsupport {

inline std::unique_ptr<TMemTable> Employees() {
    auto t = std::make_unique<TMemTable>();
    t->AddField({QStringLiteral("CL_NBR"), fkInteger, 0, false, QString(), true});
    t->AddField({QStringLiteral("CO_NBR"), fkInteger, 0, false, QString(), true});
    t->AddField({QStringLiteral("NAME"), fkString, 40, false, QStringLiteral("Name"), true});
    t->AddField({QStringLiteral("PAY"), fkFloat, 0, false, QStringLiteral("Pay"), true});
    t->AddField({QStringLiteral("PHOTO"), fkBlob, 0, false, QStringLiteral("Photo"), true});
    t->Open();
    const struct {
        int Cl, Co;
        const char* Name;
        double Pay;
    } rows[] = {{1, 12, "Lopez", 20},  {1, 12, "Okafor", 10}, {2, 34, "Chen", 15},
                {1, 13, "O'Neil", 30}, {2, 34, "Brooks", 25}, {1, 12, "Novak", 5}};
    for (const auto& row : rows) {
        t->Append();
        t->SetInteger(0, row.Cl);
        t->SetInteger(1, row.Co);
        t->SetString(2, QString::fromLatin1(row.Name));
        t->SetFloat(3, row.Pay);
        t->SetBlob(4, QByteArray(row.Name));
        t->Post();
    }
    t->First();
    return t;
}

inline QStringList Names(const TMemTable& t) {
    QStringList names;
    for (int r = 0; r < t.RecordCount(); ++r)
        names << t.ValueAt(r, 2).toString();
    return names;
}

} // namespace testsupport
