#include "table/MemTableModel.h"
#include "table/TableColumns.h"
#include "table/vlxdbcommon.h"

#include <QtTest>

Q_DECLARE_METATYPE(TTableCell)

class TestTableColumns : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cells_data();
    void cells();
    void wrongKindRefused();
    void fieldsFollowTheList();
    void currentRowSurvivesSorting();
};

namespace {

struct TPayment {
    QString Payee;
    Currency Amount;
};

const TTableColumns<TPayment> PaymentColumns{
    {"Payee", fkString, [](const TPayment& p) { return p.Payee; }},
    {"Amount", fkCurrency, [](const TPayment& p) { return p.Amount; }},
    {QString(), fkInteger, [](const TPayment& p) { return int(p.Payee.size()); }, "Length"}};

} // namespace

void TestTableColumns::cells_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<TTableCell>("cell");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("data");
    QTest::newRow("money shown as the program shows amounts, kept as a plain number")
        << int(fkCurrency) << TTableCell(Currency::FromRaw(-10689000)) << "-1,068.90"
        << "-1068.90";
    QTest::newRow("a date") << int(fkDate) << TTableCell(QDate(2024, 3, 8)) << "3/8/2024"
                            << "3/8/2024";
    QTest::newRow("an invalid date is blank") << int(fkDate) << TTableCell(QDate()) << ""
                                              << "";
    QTest::newRow("a date and time")
        << int(fkDateTime) << TTableCell(QDateTime(QDate(2024, 3, 8), QTime(9, 5)))
        << "3/8/2024 09:05:00"
        << "3/8/2024 09:05:00";
    QTest::newRow("a number") << int(fkInteger) << TTableCell(42) << "42"
                              << "42";
    QTest::newRow("nothing") << int(fkCurrency) << TTableCell() << ""
                             << "";
}

void TestTableColumns::cells() {
    QFETCH(int, kind);
    QFETCH(TTableCell, cell);
    QFETCH(QString, text);
    QFETCH(QString, data);
    QCOMPARE(cell.Text(TMemFieldKind(kind)), text);
    QCOMPARE(cell.DataText(TMemFieldKind(kind)), data);
    // The grid shows what the table got.
    std::unique_ptr<TMemTable> table(
        NewMemTable(nullptr, {TMemFieldDef{"F", TMemFieldKind(kind)}}));
    table->Append();
    cell.Put(*table, 0);
    table->Post();
    QCOMPARE(TMemTableModel::DisplayText(table->ValueAt(0, 0), TMemFieldKind(kind)), text);
}

void TestTableColumns::wrongKindRefused() {
    std::unique_ptr<TMemTable> table(NewMemTable(nullptr, {TMemFieldDef{"F", fkFloat}}));
    table->Append();
    QVERIFY_THROWS_EXCEPTION(ETableError, TTableCell(Currency::FromUnits(1)).Put(*table, 0));
}

void TestTableColumns::fieldsFollowTheList() {
    std::unique_ptr<TMemTable> table(NewMemTable(nullptr, PaymentColumns));
    AppendRows(*table, PaymentColumns, QList<TPayment>{{"Wei Chen", Currency::FromUnits(125)}});
    QCOMPARE(table->FieldCount(), 3);
    QCOMPARE(table->Field(1).Name, "Amount"); // the title when no name is given
    QCOMPARE(table->Field(1).Kind, fkCurrency);
    QCOMPARE(table->Field(2).Name, "Length");
    QVERIFY(table->Field(0).Visible && !table->Field(2).Visible);
    QCOMPARE(table->Value("Amount").toLongLong(), Currency::FromUnits(125).Raw());
    QCOMPARE(table->Value("Length").toInt(), 8);
}

void TestTableColumns::currentRowSurvivesSorting() {
    const QList<TPayment> rows{{"Okafor", Currency::FromUnits(3)},
                               {"Brooks", Currency::FromUnits(1)},
                               {"Lopez", Currency::FromUnits(2)}};
    std::unique_ptr<TMemTable> table(NewMemTable(nullptr, PaymentColumns));
    AppendRows(*table, PaymentColumns, rows);
    ToggleFieldSort(*table, "Payee", false);
    table->First();
    QCOMPARE(CurrentRow(*table, rows), &rows[1]);
    table->SetFilter("Payee = 'Lopez'");
    table->SetFiltered(true);
    QCOMPARE(CurrentRow(*table, rows), &rows[2]);
    table->SetFilter("Payee = 'Nobody'");
    QCOMPARE(CurrentRow(*table, rows), nullptr);
}

QTEST_MAIN(TestTableColumns)
#include "tst_tablecolumns.moc"
