#include "table/MemTable.h"
#include "table/MemTableFilter.h"
#include "table/MemTableModel.h"

#include "base/RegionalSettings.h"

#include <QAbstractItemModelTester>

#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <numeric>

class TestMemTable : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cursorAndBookmarks();
    void requiredAndKinds();
    void masterDetail();
    void masterGoneFirst();
    void sortIndex();
    void sortTextsLikeCompare_data();
    void sortTextsLikeCompare();
    void filter_data();
    void filter();
    void filterValueIsData();
    void filterDatesAsShown();
    void filterRejects_data();
    void filterRejects();
    void controlsDisabled();
    void likeMatch_data();
    void likeMatch();
    void itemModel();
    void moneyColumn_data();
    void moneyColumn();
};

namespace {

// People: (CL_NBR, CO_NBR, NAME, PAY, HIRED)
std::unique_ptr<TMemTable> People() {
    auto t = std::make_unique<TMemTable>();
    t->AddField({QStringLiteral("CL_NBR"), fkInteger, 0, true, QString(), true});
    t->AddField({QStringLiteral("CO_NBR"), fkInteger, 0, false, QString(), true});
    t->AddField({QStringLiteral("NAME"), fkString, 40, false, QString(), true});
    t->AddField({QStringLiteral("PAY"), fkFloat, 0, false, QString(), true});
    t->AddField({QStringLiteral("HIRED"), fkDate, 0, false, QString(), true});
    t->Open();
    const struct {
        int Cl, Co;
        const char* Name;
        double Pay;
        QDate Hired;
    } rows[] = {{1, 12, "Smith", 10.5, QDate(2020, 1, 2)},
                {1, 13, "Goldsmith", 7, QDate(2021, 5, 6)},
                {2, 12, "adams", 12, QDate(2019, 3, 4)},
                {2, 12, "SMITHERS", 3, QDate()},
                {1, 12, "Baker", 20, QDate(2022, 7, 8)}};
    for (const auto& row : rows) {
        t->Append();
        t->SetInteger(0, row.Cl);
        t->SetInteger(1, row.Co);
        t->SetString(2, QString::fromLatin1(row.Name));
        t->SetFloat(3, row.Pay);
        if (row.Hired.isValid())
            t->SetDateTime(4, QDateTime(row.Hired, QTime(), Qt::UTC));
        t->Post();
    }
    t->First();
    return t;
}

QStringList Names(TMemTable& t) {
    QStringList names;
    for (int r = 0; r < t.RecordCount(); ++r)
        names << t.ValueAt(r, t.FieldByName(QStringLiteral("NAME"))).toString();
    return names;
}

} // namespace

void TestMemTable::cursorAndBookmarks() {
    auto t = People();
    QCOMPARE(t->RecordCount(), 5);
    QCOMPARE(t->RecNo(), 0);
    t->Next();
    const TBookmark goldsmith = t->Bookmark();
    QCOMPARE(t->Value(QStringLiteral("name")).toString(), QStringLiteral("Goldsmith"));
    t->Last();
    QVERIFY(t->Eof());
    t->Next();
    QVERIFY(t->Eof());
    QCOMPARE(t->Value(QStringLiteral("NAME")).toString(), QStringLiteral("Baker"));
    // Bookmarks survive re-sorting.
    t->SetIndexFieldNames(QStringLiteral("NAME"));
    QVERIFY(t->GotoBookmark(goldsmith));
    QCOMPARE(t->Value(QStringLiteral("NAME")).toString(), QStringLiteral("Goldsmith"));
    QVERIFY(t->IsNull(t->FieldByName(QStringLiteral("HIRED"))) == false);
    t->SetFilter(QStringLiteral("CO_NBR = 12"));
    t->SetFiltered(true);
    QVERIFY(!t->BookmarkValid(goldsmith));
    QVERIFY(!t->GotoBookmark(goldsmith));
    QVERIFY_THROWS_EXCEPTION(ETableError, t->Value(QStringLiteral("MISSING")));
}

void TestMemTable::requiredAndKinds() {
    auto t = People();
    t->Append();
    t->SetString(2, QStringLiteral("No client"));
    try {
        t->Post();
        QFAIL("no error");
    } catch (const ETableError& e) {
        QCOMPARE(e.Message(), QStringLiteral("Field 'CL_NBR' must have a value"));
    }
    QVERIFY_THROWS_EXCEPTION(ETableError, t->SetString(0, QStringLiteral("1")));
    t->Cancel();
    QCOMPARE(t->RecordCount(), 5);

    TMemTable unknown;
    unknown.AddField({QStringLiteral("X"), fkUnknown, 0, false, QString(), true});
    QVERIFY_THROWS_EXCEPTION(ETableError, unknown.Open());
    QVERIFY(!unknown.Active());
    TMemTable duplicate;
    duplicate.AddField({QStringLiteral("X"), fkString, 0, false, QString(), true});
    QVERIFY_THROWS_EXCEPTION(ETableError, duplicate.AddField({QStringLiteral("x"), fkInteger, 0,
                                                              false, QString(), true}));
}

void TestMemTable::masterDetail() {
    TMemTable companies;
    companies.AddField({QStringLiteral("CL_NBR"), fkInteger, 0, false, QString(), true});
    companies.AddField({QStringLiteral("CO_NBR"), fkInteger, 0, false, QString(), true});
    companies.Open();
    for (auto [cl, co] : {std::pair{1, 12}, {2, 12}, {3, 1}}) {
        companies.Append();
        companies.SetInteger(0, cl);
        companies.SetInteger(1, co);
        companies.Post();
    }
    companies.First();
    auto people = People();
    people->SetMasterLink(&companies, QStringLiteral("CL_NBR;CO_NBR"),
                          QStringLiteral("CL_NBR;CO_NBR"));
    QCOMPARE(Names(*people), QStringList({"Smith", "Baker"}));
    companies.Next();
    QCOMPARE(Names(*people), QStringList({"adams", "SMITHERS"}));
    QCOMPARE(people->RecNo(), 0);
    companies.Next();
    QVERIFY(people->IsEmpty());
    people->SetMasterLink(nullptr, QString(), QString());
    QCOMPARE(people->RecordCount(), 5);
    QVERIFY_THROWS_EXCEPTION(ETableError,
                             people->SetMasterLink(&companies, QStringLiteral("CL_NBR"),
                                                   QStringLiteral("CL_NBR;CO_NBR")));
}

void TestMemTable::masterGoneFirst() {
    auto master = People();
    auto detail = People();
    detail->SetMasterLink(master.get(), QStringLiteral("CL_NBR"), QStringLiteral("CL_NBR"));
    QCOMPARE(detail->RecordCount(), 3);
    master.reset();
    QVERIFY(detail->IsEmpty());
    QCOMPARE(detail->Master(), nullptr);
}

void TestMemTable::sortIndex() {
    auto t = People();
    t->AddIndex({QStringLiteral("SORT"), QStringLiteral("NAME"), QString(), false, true});
    t->SetIndexName(QStringLiteral("SORT"));
    QCOMPARE(Names(*t), QStringList({"adams", "Baker", "Goldsmith", "Smith", "SMITHERS"}));
    t->DeleteIndex(QStringLiteral("SORT"));
    t->AddIndex({QStringLiteral("SORT"), QStringLiteral("CL_NBR;PAY"), QStringLiteral("PAY"), false,
                 false});
    t->SetIndexName(QStringLiteral("SORT"));
    QCOMPARE(Names(*t), QStringList({"Baker", "Smith", "Goldsmith", "adams", "SMITHERS"}));
    // Nulls first; case-sensitive order puts upper case first.
    t->DeleteIndex(QStringLiteral("SORT"));
    QCOMPARE(t->IndexName(), QString());
    QCOMPARE(Names(*t), QStringList({"Smith", "Goldsmith", "adams", "SMITHERS", "Baker"}));
    t->SetIndexFieldNames(QStringLiteral("HIRED"));
    QCOMPARE(Names(*t).first(), QStringLiteral("SMITHERS"));
    QVERIFY_THROWS_EXCEPTION(ETableError, t->SetIndexName(QStringLiteral("NOPE")));
    QVERIFY_THROWS_EXCEPTION(
        ETableError,
        t->AddIndex({QStringLiteral("X"), QStringLiteral("MISSING"), QString(), false, false}));
}

void TestMemTable::sortTextsLikeCompare_data() {
    QTest::addColumn<bool>("caseInsensitive");
    QTest::newRow("case-insensitive") << true;
    QTest::newRow("case-sensitive") << false;
}

// Texts with long common beginnings, repeats, case variants, nulls and empty
// ones sort as QString::compare orders them, equal ones by the second key.
void TestMemTable::sortTextsLikeCompare() {
    QFETCH(bool, caseInsensitive);
    const Qt::CaseSensitivity cs = caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    TMemTable t;
    t.AddField({QStringLiteral("TEXT"), fkString, 0, false, QString(), true});
    t.AddField({QStringLiteral("N"), fkInteger, 0, false, QString(), true});
    t.Open();
    QList<QPair<QString, int>> rows;
    quint32 seed = 7;
    for (int i = 0; i < 600; ++i) {
        seed = seed * 1103515245u + 12345u;
        QString text = QStringLiteral("Harbor Lane Bakery ").left(int(seed >> 8) % 20);
        for (int c = int(seed >> 16) % 14; c > 0; --c)
            text += QChar(u"aAbB \u00e9\u00c9"[(seed >> (c % 24)) % 7]);
        t.Append();
        if (i % 50 != 0)
            t.SetString(0, text);
        t.SetInteger(1, int(seed >> 20) % 3);
        t.Post();
        rows.append({i % 50 != 0 ? text : QString(), int(seed >> 20) % 3});
    }
    t.AddIndex({QStringLiteral("SORT"), QStringLiteral("TEXT;N"), QStringLiteral("N"), false,
                caseInsensitive});
    t.SetIndexName(QStringLiteral("SORT"));
    QList<int> expected(rows.size());
    std::iota(expected.begin(), expected.end(), 0);
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
        const bool nullA = a % 50 == 0, nullB = b % 50 == 0;
        if (nullA != nullB)
            return nullA;
        const int c = nullA ? 0 : QString::compare(rows[a].first, rows[b].first, cs);
        return c != 0 ? c < 0 : rows[a].second > rows[b].second;
    });
    QList<int> order;
    for (int p = 0; p < t.RecordCount(); ++p)
        order << int(t.BookmarkAt(p));
    QCOMPARE(order, expected);
}

void TestMemTable::filter_data() {
    QTest::addColumn<QString>("expression");
    QTest::addColumn<bool>("caseInsensitive");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("dialog form") << "0=0 AND NAME like '*SMITH*' AND CO_NBR = '12'" << true
                                 << QStringList{"Smith", "SMITHERS"};
    QTest::newRow("case-sensitive like")
        << "0=0 AND NAME like '*SMITH*' AND CO_NBR = '12'" << false << QStringList{"SMITHERS"};
    QTest::newRow("exact match form")
        << "1=1 AND NAME like 'smith'" << true << QStringList{"Smith"};
    QTest::newRow("percent wildcard") << "NAME like '%smith%'" << false << QStringList{"Goldsmith"};
    QTest::newRow("not") << "not NAME like '*smith*'" << true << QStringList{"adams", "Baker"};
    QTest::newRow("Upper") << "Upper(NAME) = 'ADAMS'" << false << QStringList{"adams"};
    QTest::newRow("or and parentheses") << "(CL_NBR = 2 OR PAY > 15) AND NOT NAME = 'adams'"
                                        << false << QStringList{"SMITHERS", "Baker"};
    QTest::newRow("float compare")
        << "PAY >= '10.5'" << false << QStringList{"Smith", "adams", "Baker"};
    QTest::newRow("date compare") << "HIRED < '01/01/2021'" << false
                                  << QStringList{"Smith", "adams"};
    QTest::newRow("null matches nothing")
        << "HIRED <> '01/01/2000'" << false << QStringList{"Smith", "Goldsmith", "adams", "Baker"};
    QTest::newRow("empty filter") << "" << false
                                  << QStringList{"Smith", "Goldsmith", "adams", "SMITHERS",
                                                 "Baker"};
}

void TestMemTable::filter() {
    QFETCH(QString, expression);
    QFETCH(bool, caseInsensitive);
    QFETCH(QStringList, names);
    auto t = People();
    t->SetFilterCaseInsensitive(caseInsensitive);
    t->SetFilter(expression);
    t->SetFiltered(true);
    QCOMPARE(Names(*t), names);
    t->SetFiltered(false);
    QCOMPARE(t->RecordCount(), 5);
}

void TestMemTable::filterValueIsData() {
    auto t = People();
    t->Append();
    t->SetInteger(0, 9);
    t->SetString(2, QStringLiteral("x' OR '1'='1"));
    t->Post();
    // The quote-doubled value is one literal; it matches only itself.
    t->SetFilter(QStringLiteral("NAME = 'x'' OR ''1''=''1'"));
    t->SetFiltered(true);
    QCOMPARE(Names(*t), QStringList{QStringLiteral("x' OR '1'='1")});
}

void TestMemTable::filterDatesAsShown() {
    TRegionalSettings settings;
    settings.DateOrder = TDateOrder::DayMonthYear;
    settings.DateSeparator = u'.';
    TRegionalSettingsOverride regional(settings);
    // The service's date-times are marked UTC; typed dates are local. Away
    // from UTC they must still meet on the date the grid shows.
    const bool zoneSet = qEnvironmentVariableIsSet("TZ");
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "America/New_York");
    tzset();
    TMemTable t;
    t.AddField({QStringLiteral("CHECK_DATE"), fkDateTime, 0, false, QString(), true});
    t.Open();
    for (const int day : {7, 8}) {
        t.Append();
        t.SetDateTime(0, QDateTime(QDate(2024, 3, day), QTime(0, 0), Qt::UTC));
        t.Post();
    }
    t.SetFilter(QStringLiteral("CHECK_DATE = '8.3.2024'"));
    t.SetFiltered(true);
    const int matches = t.RecordCount();
    const QDate date = t.IsEmpty() ? QDate() : t.Value(0).toDateTime().date();
    t.SetFilter(QStringLiteral("CHECK_DATE >= '03/08/2024 00:00:00'"));
    const int later = t.RecordCount();
    if (zoneSet)
        qputenv("TZ", zone);
    else
        qunsetenv("TZ");
    tzset();
    QCOMPARE(matches, 1);
    QCOMPARE(date, QDate(2024, 3, 8));
    QCOMPARE(later, 1);
}

void TestMemTable::filterRejects_data() {
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown field") << "NOPE = '1'"
                                   << "Field 'NOPE' not found";
    QTest::newRow("text in an integer field") << "CO_NBR = 'abc'"
                                              << "'abc' is not a valid value for field 'CO_NBR'";
    QTest::newRow("unterminated text") << "NAME = 'abc"
                                       << "";
    QTest::newRow("splice attempt") << "NAME = 'a' ; DROP"
                                    << "";
    QTest::newRow("missing operand") << "NAME like"
                                     << "";
    QTest::newRow("dangling and") << "NAME = 'a' AND"
                                  << "";
}

void TestMemTable::filterRejects() {
    QFETCH(QString, expression);
    QFETCH(QString, message);
    auto t = People();
    t->SetFilter(QStringLiteral("CL_NBR = 1"));
    t->SetFiltered(true);
    try {
        t->SetFilter(expression);
        QFAIL("no error");
    } catch (const ETableError& e) {
        if (message.isEmpty())
            QVERIFY2(e.Message().startsWith(QStringLiteral("Invalid filter expression")),
                     qPrintable(e.Message()));
        else
            QCOMPARE(e.Message(), message);
    }
    // The previous filter stays in force.
    QCOMPARE(t->Filter(), QStringLiteral("CL_NBR = 1"));
    QCOMPARE(t->RecordCount(), 3);
}

void TestMemTable::controlsDisabled() {
    auto t = People();
    QSignalSpy aboutToChange(t.get(), &TMemTable::ViewAboutToChange);
    QSignalSpy view(t.get(), &TMemTable::ViewChanged);
    QSignalSpy current(t.get(), &TMemTable::CurrentChanged);
    // Views hear of a change before it happens, while rows still name their
    // old records.
    int countBefore = -1;
    connect(t.get(), &TMemTable::ViewAboutToChange, [&] { countBefore = t->RecordCount(); });
    t->DisableControls();
    t->SetFilter(QStringLiteral("CL_NBR = 1"));
    t->SetFiltered(true);
    t->SetIndexFieldNames(QStringLiteral("NAME"));
    t->Last();
    QCOMPARE(aboutToChange.count(), 1);
    QCOMPARE(countBefore, 5);
    QCOMPARE(view.count(), 0);
    QCOMPARE(current.count(), 0);
    t->EnableControls();
    QCOMPARE(view.count(), 1);
    QCOMPARE(current.count(), 1);
    // Only the cursor moved: no view change.
    t->DisableControls();
    t->First();
    t->EnableControls();
    QCOMPARE(view.count(), 1);
    QCOMPARE(current.count(), 2);
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, t->EnableControls());
}

void TestMemTable::likeMatch_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    QTest::newRow("exact") << "abc"
                           << "abc" << true;
    QTest::newRow("prefix star") << "abc"
                                 << "*c" << true;
    QTest::newRow("inner stars") << "aXbYc"
                                 << "a*b*c" << true;
    QTest::newRow("backtrack") << "aab"
                               << "*ab" << true;
    QTest::newRow("no match") << "abc"
                              << "a*d" << false;
    QTest::newRow("only stars") << ""
                                << "**" << true;
    QTest::newRow("underscore is literal") << "a_c"
                                           << "a_c" << true;
    QTest::newRow("underscore not a wildcard") << "abc"
                                               << "a_c" << false;
    QTest::newRow("pathological") << QString(2000, u'a') << QString(50, u'*') + u'b' << false;
}

void TestMemTable::likeMatch() {
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(LikeMatch(text, pattern, Qt::CaseSensitive), matches);
}

void TestMemTable::itemModel() {
    TRegionalSettings settings;
    settings.DateOrder = TDateOrder::DayMonthYear;
    settings.DateSeparator = u'.';
    settings.DecimalSeparator = u',';
    TRegionalSettingsOverride regional(settings);
    auto t = People();
    TMemTableModel model(t.get());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(model.columnCount(), 5);
    t->SetVisible(QStringLiteral("CO_NBR"), false);
    t->SetDisplayLabel(QStringLiteral("NAME"), QStringLiteral("Name"));
    QCOMPARE(model.columnCount(), 4);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Name"));
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("CL_NBR"));
    QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("10,5"));
    QCOMPARE(model.data(model.index(0, 3)).toString(), QStringLiteral("2.1.2020"));
    QCOMPARE(model.data(model.index(3, 3)).toString(), QString());
    QVERIFY(!model.data(model.index(3, 3), Qt::EditRole).isValid());
    t->SetFilter(QStringLiteral("CL_NBR = 2"));
    t->SetFiltered(true);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("adams"));
    // Configured columns: in their order, under their titles; unknown
    // fields left out.
    model.SetColumns({{QStringLiteral("name"), QStringLiteral("Employee")},
                      {QStringLiteral("MISSING"), QStringLiteral("x")},
                      {QStringLiteral("CO_NBR"), QString()}});
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Employee"));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("CO_NBR"));
    QCOMPARE(model.data(model.index(1, 1), Qt::TextAlignmentRole).toInt(),
             int(Qt::AlignRight | Qt::AlignVCenter));
    t.reset();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
}

void TestMemTable::moneyColumn_data() {
    QTest::addColumn<QChar>("decimal");
    QTest::addColumn<QChar>("thousands");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("shown"); // sorted by amount, filtered
    QTest::newRow("US, number literal") << QChar(u'.') << QChar(u',') << "AMOUNT >= 1068.9"
                                        << QStringList{"1,068.90", "1,234,567.89"};
    QTest::newRow("decimal comma, number literal")
        << QChar(u',') << QChar(u'.') << "AMOUNT > 0.5" << QStringList{"1.068,90", "1.234.567,89"};
    QTest::newRow("decimal comma, amount as shown")
        << QChar(u',') << QChar(u'.') << "AMOUNT = '1.068,90'" << QStringList{"1.068,90"};
    QTest::newRow("negative amounts sort first")
        << QChar(u'.') << QChar(u',') << "AMOUNT < 1000" << QStringList{"-25.00", "0.01"};
}

// Amounts are money in the grid: two decimals, grouped, right-aligned,
// sorted and filtered by value, never through a double.
void TestMemTable::moneyColumn() {
    QFETCH(QChar, decimal);
    QFETCH(QChar, thousands);
    QFETCH(QString, filter);
    QFETCH(QStringList, shown);
    TRegionalSettings settings;
    settings.DecimalSeparator = decimal;
    settings.ThousandSeparator = thousands;
    TRegionalSettingsOverride regional(settings);
    TMemTable t;
    t.AddField({QStringLiteral("AMOUNT"), fkCurrency, 0, false, QString(), true});
    t.Open();
    for (const qint64 raw : {qint64(10689000), qint64(12345678900), qint64(-250000), qint64(100)}) {
        t.Append();
        t.SetCurrency(0, Currency::FromRaw(raw));
        t.Post();
    }
    QVERIFY_THROWS_EXCEPTION(ETableError, [&] {
        t.Append();
        t.SetFloat(0, 1.5);
    }());
    t.Cancel();
    t.SetIndexFieldNames(QStringLiteral("AMOUNT"));
    t.SetFilter(filter);
    t.SetFiltered(true);
    TMemTableModel model(&t);
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.data(model.index(row, 0)).toString();
    QCOMPARE(texts, shown);
    QCOMPARE(model.data(model.index(0, 0), Qt::TextAlignmentRole).toInt(),
             int(Qt::AlignRight | Qt::AlignVCenter));
}

QTEST_GUILESS_MAIN(TestMemTable)
#include "tst_memtable.moc"
