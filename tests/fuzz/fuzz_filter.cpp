// The grid's filter expressions: any text set as the filter of a table with
// a field of every kind, then the records it lets through.
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "table/MemTable.h"
#include "table/MemTableFilter.h"

namespace {

std::unique_ptr<TMemTable> Table() {
    auto table = std::make_unique<TMemTable>();
    const std::pair<const char*, TMemFieldKind> fields[] = {
        {"NAME", fkString}, {"CO_NBR", fkInteger}, {"AMOUNT", fkFloat}, {"ACTIVE", fkBoolean},
        {"DAY", fkDate},    {"STAMP", fkDateTime}, {"DATA", fkBlob}};
    for (const auto& [name, kind] : fields) {
        TMemFieldDef def;
        def.Name = QString::fromLatin1(name);
        def.Kind = kind;
        table->AddField(def);
    }
    table->Open();
    for (int r = 0; r < 3; ++r) {
        table->Append();
        if (r < 2) {
            table->SetString(0,
                             r == 0 ? QStringLiteral("SMITH & SONS") : QStringLiteral("o'Neil%"));
            table->SetInteger(1, 12 + r);
            table->SetFloat(2, r == 0 ? 1234.5 : -0.25);
            table->SetBoolean(3, r == 0);
            table->SetDateTime(4, QDateTime(QDate(2024, 3, 7 + r), QTime(0, 0), Qt::UTC));
            table->SetDateTime(5, QDateTime(QDate(2024, 3, 7), QTime(13, 45 + r), Qt::UTC));
            table->SetBlob(6, QByteArray("\0x", 2));
        }
        table->Post();
    }
    return table;
}

} // namespace

ORVQ_FUZZ_TARGET(filter) {
    const QString expression = QString::fromUtf8(fuzz::Bytes(data, size));
    std::unique_ptr<TMemTable> table = Table();
    try {
        table->SetFilter(expression);
    } catch (const ETableError&) {
        FUZZ_CHECK(table->Filter().isEmpty());
        return;
    }
    for (const bool caseInsensitive : {false, true}) {
        table->SetFilterCaseInsensitive(caseInsensitive);
        table->SetFiltered(true);
        FUZZ_CHECK(table->RecordCount() <= 3);
        table->SetFiltered(false);
        FUZZ_CHECK(table->RecordCount() == 3);
    }
    // The expression's text as a pattern, matched against itself and a name.
    const qsizetype half = expression.size() / 2;
    LikeMatch(expression.left(half), expression.mid(half), Qt::CaseInsensitive);
    LikeMatch(QStringLiteral("SMITH & SONS"), expression, Qt::CaseSensitive);
}
