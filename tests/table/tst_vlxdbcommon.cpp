#include "EmployeeTable.h"
#include "table/vlxdbcommon.h"

#include <QtTest>
#include <memory>

class TestDbCommon : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void toggleFieldSort_data();
    void toggleFieldSort();
    void detailLinkFieldsSortFirst();
    void blobNeverSorts();
    void sortFieldsOfIndexes();
    void nameLists();
};

using testsupport::Employees;
using testsupport::Names;

namespace {

// "NAME" is a plain title click, "^NAME" one with Ctrl held.
void Click(TMemTable& t, const QString& click) {
    const bool ctrl = click.startsWith(u'^');
    ToggleFieldSort(t, ctrl ? click.mid(1) : click, ctrl);
}

} // namespace

void TestDbCommon::toggleFieldSort_data() {
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("descFields");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("one click: ascending, case-insensitive")
        << QStringList{"NAME"} << "NAME"
        << "" << QStringList{"Brooks", "Chen", "Lopez", "Novak", "O'Neil", "Okafor"};
    QTest::newRow("two clicks: descending")
        << QStringList{"NAME", "NAME"} << "NAME"
        << "NAME" << QStringList{"Okafor", "O'Neil", "Novak", "Lopez", "Chen", "Brooks"};
    QTest::newRow("three clicks: natural order")
        << QStringList{"NAME", "NAME", "NAME"} << ""
        << "" << QStringList{"Lopez", "Okafor", "Chen", "O'Neil", "Brooks", "Novak"};
    QTest::newRow("a plain click on another column drops the first")
        << QStringList{"NAME", "PAY"} << "PAY"
        << "" << QStringList{"Novak", "Okafor", "Chen", "Lopez", "Brooks", "O'Neil"};
    QTest::newRow("Ctrl+click adds the second after the first")
        << QStringList{"CL_NBR", "^NAME"} << "CL_NBR;NAME"
        << "" << QStringList{"Lopez", "Novak", "O'Neil", "Okafor", "Brooks", "Chen"};
    QTest::newRow("Ctrl+click turns one of several descending")
        << QStringList{"CL_NBR", "^NAME", "^CL_NBR"} << "CL_NBR;NAME"
        << "CL_NBR" << QStringList{"Brooks", "Chen", "Lopez", "Novak", "O'Neil", "Okafor"};
    QTest::newRow("a plain click on a descending sort field ends the sort")
        << QStringList{"CL_NBR", "^NAME", "^NAME", "NAME"} << ""
        << "" << QStringList{"Lopez", "Okafor", "Chen", "O'Neil", "Brooks", "Novak"};
}

void TestDbCommon::toggleFieldSort() {
    QFETCH(QStringList, clicks);
    auto t = Employees();
    for (const QString& click : clicks)
        Click(*t, click);
    const TSortFields sort = GetSortFields(*t);
    QTEST(sort.Fields, "fields");
    QTEST(sort.DescFields, "descFields");
    QTEST(Names(*t), "names");
    QCOMPARE(t->IndexName(), sort.Fields.isEmpty() ? QString() : SortIndexName);
}

void TestDbCommon::detailLinkFieldsSortFirst() {
    TMemTable clients;
    clients.AddField({QStringLiteral("CL_NBR"), fkInteger, 0, false, QString(), true});
    clients.Open();
    clients.Append();
    clients.SetInteger(0, 1);
    clients.Post();
    auto t = Employees();
    t->SetMasterLink(&clients, QStringLiteral("CL_NBR"), QStringLiteral("CL_NBR"));
    Click(*t, QStringLiteral("NAME"));
    QCOMPARE(GetSortFields(*t).Fields, QStringLiteral("CL_NBR;NAME"));
    QCOMPARE(Names(*t), QStringList({"Lopez", "Novak", "O'Neil", "Okafor"}));
    // Clicking the link field itself neither moves it nor turns it around.
    Click(*t, QStringLiteral("^CL_NBR"));
    Click(*t, QStringLiteral("^CL_NBR"));
    QCOMPARE(GetSortFields(*t).Fields, QStringLiteral("CL_NBR;NAME"));
    QCOMPARE(GetSortFields(*t).DescFields, QString());
    Click(*t, QStringLiteral("^NAME"));
    QCOMPARE(GetSortFields(*t).DescFields, QStringLiteral("NAME"));
    QCOMPARE(Names(*t), QStringList({"Okafor", "O'Neil", "Novak", "Lopez"}));
    // Ending the user's sort leaves the link fields.
    Click(*t, QStringLiteral("NAME"));
    QCOMPARE(GetSortFields(*t).Fields, QStringLiteral("CL_NBR"));
}

void TestDbCommon::blobNeverSorts() {
    auto t = Employees();
    Click(*t, QStringLiteral("NAME"));
    Click(*t, QStringLiteral("^PHOTO"));
    QCOMPARE(GetSortFields(*t).Fields, QStringLiteral("NAME"));
    QVERIFY(!IsSortableField(t->Field(4)));
    QVERIFY_THROWS_EXCEPTION(ETableError, ToggleFieldSort(*t, QStringLiteral("NOPE"), false));
}

void TestDbCommon::sortFieldsOfIndexes() {
    auto t = Employees();
    t->AddIndex({QStringLiteral("BYPAY"), QStringLiteral("PAY;NAME"), QString(), true, false});
    t->SetIndexName(QStringLiteral("BYPAY"));
    QCOMPARE(GetSortFields(*t).DescFields, QStringLiteral("PAY;NAME"));
    t->SetIndexFieldNames(QStringLiteral("NAME"));
    QCOMPARE(GetSortFields(*t).Fields, QStringLiteral("NAME"));
    QCOMPARE(GetSortFields(*t).DescFields, QString());
    // A click replaces whatever sorted the table.
    Click(*t, QStringLiteral("^PAY"));
    QCOMPARE(GetSortFields(*t).Fields, QStringLiteral("NAME;PAY"));
    QCOMPARE(t->IndexFieldNames(), QString());
}

void TestDbCommon::nameLists() {
    QVERIFY(FieldListContains(QStringLiteral("CL_NBR;NAME"), QStringLiteral("NAME")));
    QVERIFY(!FieldListContains(QStringLiteral("CL_NBR;NAMES"), QStringLiteral("NAME")));
    QVERIFY(!FieldListContains(QStringLiteral("CL_NBR;NAME"), QStringLiteral("name")));
    QCOMPARE(FieldListAdd(QString(), QStringLiteral("A")), QStringLiteral("A"));
    QCOMPARE(FieldListAdd(QStringLiteral("A;B"), QStringLiteral("A")), QStringLiteral("A;B"));
    QCOMPARE(FieldListRemove(QStringLiteral("A;B;C"), QStringLiteral("B")), QStringLiteral("A;C"));
    QCOMPARE(FieldListRemove(QStringLiteral("B"), QStringLiteral("B")), QString());
}

QTEST_GUILESS_MAIN(TestDbCommon)
#include "tst_vlxdbcommon.moc"
