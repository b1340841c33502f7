// The client, company and payroll lists over a connection that answers from
// tables made here: loading, links, labels, the selection, the report
// parameters and the log items of the choice.
#include "RecordingLogSink.h"

#include "base/RegionalSettings.h"
#include "payroll/OrvDirectReportSource.h"
#include "payroll/OrvPayrollLists.h"
#include "settings/vlxPlatformPaths.h"

#include <QtTest>

namespace {

struct TColumn {
    QString Name;
    TMemFieldKind Kind;
};
using TRow = QVariantList;

std::unique_ptr<TMemTable> MakeTable(const std::vector<TColumn>& columns,
                                     const std::vector<TRow>& rows) {
    auto table = std::make_unique<TMemTable>();
    for (const TColumn& c : columns) {
        TMemFieldDef def;
        def.Name = c.Name;
        def.Kind = c.Kind;
        table->AddField(def);
    }
    table->Open();
    for (const TRow& row : rows) {
        table->Append();
        for (int i = 0; i < int(columns.size()); ++i) {
            if (columns[size_t(i)].Kind == fkInteger)
                table->SetInteger(i, row[i].toInt());
            else if (columns[size_t(i)].Kind == fkDate)
                table->SetDateTime(i, row[i].toDate().startOfDay());
            else
                table->SetString(i, row[i].toString());
        }
        table->Post();
    }
    return table;
}

// Answers the three stored queries from fixed tables; every other call fails.
class TListConnection : public IOrvAPIConnection {
public:
    QStringList Queries;
    IRpcStructPtr LastParams;
    QString FailOn; // a query file name that fails

    void OpenClient(qint32) override { Unexpected(); }
    std::unique_ptr<TMemTable> RunQuery(const QString& queryFile,
                                        const IRpcStructPtr& params) override {
        Queries << queryFile;
        LastParams = params;
        if (!FailOn.isEmpty() && queryFile.endsWith(FailOn))
            throw EztException(QStringLiteral("query refused"));
        if (queryFile.endsWith(QStringLiteral("qClList.rwq")))
            return MakeTable(
                {{"CL_NBR", fkInteger}, {"CUSTOM_CLIENT_NUMBER", fkString}, {"NAME", fkString}},
                {{12, "HLB", "Harbor Lane Bakery"}, {19, "SSD", "Second Street"}});
        if (queryFile.endsWith(QStringLiteral("qCoList.rwq")))
            return MakeTable(
                {{"CL_NBR", fkInteger},
                 {"CO_NBR", fkInteger},
                 {"CUSTOM_COMPANY_NUMBER", fkString},
                 {"NAME", fkString}},
                {{12, 34, "HLB1", "Bakery"}, {12, 35, "HLB2", "Cafe"}, {19, 51, "SSD1", "Deli"}});
        if (queryFile.endsWith(QStringLiteral("qPrList.rwq")))
            return MakeTable({{"CL_NBR", fkInteger},
                              {"CO_NBR", fkInteger},
                              {"PR_NBR", fkInteger},
                              {"CHECK_DATE", fkDate},
                              {"RUN_NUMBER", fkInteger},
                              {"PAYROLL_TYPE", fkString},
                              {"STATUS", fkString}},
                             {{12, 34, 501, QDate(2026, 1, 15), 1, "R", "Processed"},
                              {12, 35, 601, QDate(2026, 1, 15), 1, "R", "Processed"},
                              {12, 34, 502, QDate(2026, 1, 15), 2, "S", "Processed"},
                              {12, 34, 503, QDate(2026, 1, 22), 1, "R", "Processed"}});
        Unexpected();
    }
    QString RunReport(const TOrvReportDef&) override { Unexpected(); }
    bool IsTaskFinished(const QString&) override { Unexpected(); }
    void DeleteTask(const QString&) override { Unexpected(); }
    QString GetReport(const QString&) override { Unexpected(); }
    TTimeClockImportResult TCImport(const TOrvPayrollBatchDef&,
                                    const TTimeClockImportData&) override {
        Unexpected();
    }
    IRpcStructPtr PostTableChanges(qint32, const IRpcStructPtr&) override { Unexpected(); }
    QString OrvXImport(const TOrvXImportInputFiles&, const QString&) override { Unexpected(); }
    TOrvXImportResults GetOrvXImportResults(const QString&) override { Unexpected(); }

private:
    [[noreturn]] static void Unexpected() { throw EAssertionFailed(); }
};

class TRecordingProgress : public IProgressIndicator {
public:
    QStringList Steps;
    void StartProgress(const QString& caption, int maximum) override {
        Steps << QStringLiteral("start %1 %2").arg(caption).arg(maximum);
    }
    void SetProgress(int position) override { Steps << QStringLiteral("set %1").arg(position); }
    void EndProgress() override { Steps << QStringLiteral("end"); }
};

IRedirectionPtr QueriesIn(const QString& folder) {
    return std::make_shared<TGenericRedirection>(
        TRedirectionEntries{{QStringLiteral("Queries"), folder}}, TRedirectionEntries{},
        TRedirectionPlaces{}, QString());
}

// A query file as the lists name it: the folder, the platform's delimiter.
QString QueryFile(const char* folder, const char* name) {
    return QLatin1String(folder) + platform::PathDelimiter() + QLatin1String(name);
}

QStringList Labels(const TMemTable& table) {
    QStringList labels;
    for (int i = 0; i < table.FieldCount(); ++i)
        labels << (table.Field(i).Visible ? table.Field(i).Label() : QStringLiteral("-"));
    return labels;
}

// Moves the payroll table to the row of a payroll number and returns its bookmark.
TBookmark BookmarkOf(TMemTable& payrolls, int prNbr) {
    for (int i = 0; i < payrolls.RecordCount(); ++i) {
        payrolls.SetRecNo(i);
        if (payrolls.Value(QStringLiteral("PR_NBR")).toInt() == prNbr)
            return payrolls.Bookmark();
    }
    return kNoBookmark;
}

QList<int> PrNbrs(const TOrvPayrollsDef& def) {
    QList<int> numbers;
    for (const TPrDef& p : def.Payrolls)
        numbers << p.PrNbr;
    return numbers;
}

QStringList ContextOfLastBlock(TRecordingLogger& log) {
    log.Logger().LogDebug(QStringLiteral("probe"));
    return log.Sink().Messages.back().Context;
}

} // namespace

class TestOrvPayrollLists : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void loadCompaniesLinksAndLabels();
    void failedLoadLeavesNoTables_data();
    void failedLoadLeavesNoTables();
    void payrollPeriodInShortDateFormat_data();
    void payrollPeriodInShortDateFormat();
    void selectedPayrolls_data();
    void selectedPayrolls();
    void selectionFollowsCurrentCompany();
    void selectionRequiresReadiness();
    void selectByNumbers_data();
    void selectByNumbers();
    void listText();
    void reportParams();
    void reportDefinitions_data();
    void reportDefinitions();
    void logItems();

private:
    void Load(TOrvPayrollLists& lists, TListConnection& connection);
};

void TestOrvPayrollLists::Load(TOrvPayrollLists& lists, TListConnection& connection) {
    TRecordingProgress progress;
    lists.LoadPayrolls(connection, progress, QDate(2026, 1, 1), QDate(2026, 1, 31));
}

void TestOrvPayrollLists::loadCompaniesLinksAndLabels() {
    TOrvPayrollLists lists(QueriesIn(QStringLiteral("/opt/orvq/queries")));
    TListConnection connection;
    TRecordingProgress progress;
    QVERIFY(!lists.CompaniesReady());
    lists.LoadCompanies(connection, progress);
    QCOMPARE(progress.Steps,
             (QStringList{"start Getting company list 2", "set 1", "set 2", "end"}));
    QCOMPARE(connection.Queries, (QStringList{QueryFile("/opt/orvq/queries", "qClList.rwq"),
                                              QueryFile("/opt/orvq/queries", "qCoList.rwq")}));
    QVERIFY(!connection.LastParams);
    QVERIFY(lists.CompaniesReady());
    QVERIFY(!lists.Ready()); // no payroll list yet
    QCOMPARE(Labels(*lists.Clients()), (QStringList{"Internal Cl#", "Number", "Name"}));
    QCOMPARE(Labels(*lists.Companies()), (QStringList{"-", "Internal Co#", "Number", "Name"}));
    // The companies follow the current client.
    QCOMPARE(lists.Companies()->RecordCount(), 2);
    lists.Clients()->Next();
    QCOMPARE(lists.Companies()->RecordCount(), 1);
    QCOMPARE(lists.GetSelectedCompany().CoNbr, 51);
}

void TestOrvPayrollLists::failedLoadLeavesNoTables_data() {
    QTest::addColumn<QString>("failOn");
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("client query") << "qClList.rwq"
                                  << QStringList{"start Getting company list 2", "end"};
    QTest::newRow("company query")
        << "qCoList.rwq" << QStringList{"start Getting company list 2", "set 1", "end"};
    QTest::newRow("payroll query")
        << "qPrList.rwq" << QStringList{"start Getting company list 2", "set 1", "set 2", "end"};
}

void TestOrvPayrollLists::failedLoadLeavesNoTables() {
    QFETCH(QString, failOn);
    QFETCH(QStringList, steps);
    TOrvPayrollLists lists(QueriesIn(QStringLiteral("/q")));
    TListConnection connection;
    Load(lists, connection);
    QVERIFY(lists.Ready());
    connection.FailOn = failOn;
    TRecordingProgress progress;
    QVERIFY_THROWS_EXCEPTION(
        EztException,
        lists.LoadPayrolls(connection, progress, QDate(2026, 1, 1), QDate(2026, 1, 31)));
    QCOMPARE(progress.Steps, steps);
    QVERIFY(!lists.Ready());
    QVERIFY(!lists.Payrolls());
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, lists.GetSelectedPayrolls({}));
}

void TestOrvPayrollLists::payrollPeriodInShortDateFormat_data() {
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::newRow("month/day/year") << int(TDateOrder::MonthDayYear) << "3/1/2026"
                                    << "3/31/2026";
    QTest::newRow("day/month/year") << int(TDateOrder::DayMonthYear) << "1/3/2026"
                                    << "31/3/2026";
}

void TestOrvPayrollLists::payrollPeriodInShortDateFormat() {
    QFETCH(int, order);
    QFETCH(QString, from);
    QFETCH(QString, to);
    TRegionalSettings settings;
    settings.DateOrder = TDateOrder(order);
    TRegionalSettingsOverride regional(settings);
    TOrvPayrollLists lists(QueriesIn(QStringLiteral("/q")));
    TListConnection connection;
    TRecordingProgress progress;
    lists.LoadPayrolls(connection, progress, QDate(2026, 3, 1), QDate(2026, 3, 31));
    QCOMPARE(connection.Queries.last(), QueryFile("/q", "qPrList.rwq"));
    QVERIFY(connection.LastParams);
    QCOMPARE(connection.LastParams->KeyList(), (QStringList{"CHECK_DATE_FROM", "CHECK_DATE_TO"}));
    QCOMPARE(connection.LastParams->Key(QStringLiteral("CHECK_DATE_FROM"))->AsString(), from);
    QCOMPARE(connection.LastParams->Key(QStringLiteral("CHECK_DATE_TO"))->AsString(), to);
    QCOMPARE(Labels(*lists.Payrolls()),
             (QStringList{"-", "-", "Internal Pr#", "Check Date", "Run Number", "Type", "Status"}));
}

void TestOrvPayrollLists::selectedPayrolls_data() {
    QTest::addColumn<QList<int>>("selected"); // in the order the user picked them
    QTest::addColumn<int>("current");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("none selected: the current row") << QList<int>{} << 502 << QList<int>{502};
    QTest::newRow("picked third, first, second: table order")
        << QList<int>{503, 501, 502} << 501 << QList<int>{501, 502, 503};
    QTest::newRow("one selected, another current") << QList<int>{503} << 501 << QList<int>{503};
}

void TestOrvPayrollLists::selectedPayrolls() {
    QFETCH(QList<int>, selected);
    QFETCH(int, current);
    QFETCH(QList<int>, expected);
    TOrvPayrollLists lists(QueriesIn(QStringLiteral("/q")));
    TListConnection connection;
    Load(lists, connection);
    QVERIFY(lists.Ready());
    TMemTable& payrolls = *lists.Payrolls();
    QCOMPARE(payrolls.RecordCount(), 3); // company 34 of client 12
    QSet<TBookmark> marks;
    for (int prNbr : selected)
        marks.insert(BookmarkOf(payrolls, prNbr));
    const TBookmark currentMark = BookmarkOf(payrolls, current);
    const TOrvPayrollsDef def = lists.GetSelectedPayrolls(marks);
    QCOMPARE(PrNbrs(def), expected);
    QCOMPARE(def.Company.ClNbr, 12);
    QCOMPARE(def.Company.CoNbr, 34);
    QCOMPARE(def.Company.CompanyNumber, QStringLiteral("HLB1"));
    QCOMPARE(def.Company.CompanyName, QStringLiteral("Bakery"));
    QCOMPARE(def.Company.ClientNumber, QStringLiteral("<unavailable>"));
    QCOMPARE(def.Payrolls.front().CheckDate.date(),
             QDate(2026, 1, expected.front() == 503 ? 22 : 15));
    // Reading the selection leaves the current row where it was.
    QCOMPARE(payrolls.Bookmark(), currentMark);
    QVERIFY(!payrolls.ControlsDisabled());
}

void TestOrvPayrollLists::selectionFollowsCurrentCompany() {
    TOrvPayrollLists lists(QueriesIn(QStringLiteral("/q")));
    TListConnection connection;
    Load(lists, connection);
    TMemTable& payrolls = *lists.Payrolls();
    const QSet<TBookmark> marks{BookmarkOf(payrolls, 501), BookmarkOf(payrolls, 503)};
    lists.Companies()->Next(); // company 35
    QCOMPARE(payrolls.RecordCount(), 1);
    // Rows selected under company 34 are not company 35's payrolls.
    const TOrvPayrollsDef def = lists.GetSelectedPayrolls(marks);
    QCOMPARE(def.Company.CoNbr, 35);
    QCOMPARE(PrNbrs(def), QList<int>{601});
}

void TestOrvPayrollLists::selectionRequiresReadiness() {
    TOrvPayrollLists lists(QueriesIn(QStringLiteral("/q")));
    QVERIFY(!lists.Ready());
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, lists.GetSelectedCompany());
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, lists.GetSelectedPayrolls({}));
    TListConnection connection;
    Load(lists, connection);
    lists.Clients()->Next(); // client 19: company 51 has no payrolls
    QVERIFY(lists.CompaniesReady());
    QVERIFY(!lists.Ready());
}

void TestOrvPayrollLists::selectByNumbers_data() {
    QTest::addColumn<int>("coNbr");
    QTest::addColumn<QList<int>>("prNbrs");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<QString>("error");
    QTest::newRow("two payrolls in table order")
        << 34 << QList<int>{503, 501} << QList<int>{501, 503} << "";
    QTest::newRow("company of the current client")
        << 35 << QList<int>{601} << QList<int>{601} << "";
    QTest::newRow("unknown company")
        << 99 << QList<int>{501} << QList<int>{} << "Company 99 is not in the Orvane company list";
    QTest::newRow("payroll of another company")
        << 34 << QList<int>{501, 601} << QList<int>{}
        << "Payroll 601 is not among the payrolls of company 34 in the period";
    QTest::newRow("company without payrolls")
        << 51 << QList<int>{501} << QList<int>{}
        << "Payroll 501 is not among the payrolls of company 51 in the period";
    QTest::newRow("no payroll") << 34 << QList<int>{} << QList<int>{} << "No payroll was chosen";
}

void TestOrvPayrollLists::selectByNumbers() {
    QFETCH(int, coNbr);
    QFETCH(QList<int>, prNbrs);
    QFETCH(QList<int>, expected);
    QFETCH(QString, error);
    TOrvPayrollLists lists(QueriesIn(QStringLiteral("/q")));
    TListConnection connection;
    Load(lists, connection);
    try {
        const TOrvPayrollsDef def = lists.SelectByNumbers(coNbr, prNbrs);
        QVERIFY2(error.isEmpty(), "the choice was accepted");
        QCOMPARE(def.Company.CoNbr, coNbr);
        QCOMPARE(PrNbrs(def), expected);
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), error);
    }
}

void TestOrvPayrollLists::listText() {
    TOrvPayrollLists lists(QueriesIn(QStringLiteral("/q")));
    TListConnection connection;
    Load(lists, connection);
    lists.Companies()->Next();
    lists.Companies()->Prior();
    const TBookmark current = BookmarkOf(*lists.Payrolls(), 502);
    QCOMPARE(lists.ListText(),
             (QStringList{"Client 12 HLB Harbor Lane Bakery", "  Company 34 HLB1 Bakery",
                          "    Payroll 501 1/15/2026 run 1 R Processed",
                          "    Payroll 502 1/15/2026 run 2 S Processed",
                          "    Payroll 503 1/22/2026 run 1 R Processed", "  Company 35 HLB2 Cafe",
                          "    Payroll 601 1/15/2026 run 1 R Processed",
                          "Client 19 SSD Second Street", "  Company 51 SSD1 Deli"}));
    // The user's place in the lists is kept.
    QCOMPARE(lists.GetSelectedCompany().CoNbr, 34);
    QCOMPARE(lists.Payrolls()->Bookmark(), current);
}

void TestOrvPayrollLists::reportParams() {
    TOrvPayrollsDef def;
    def.Company.ClNbr = 12;
    def.Company.CoNbr = 34;
    def.Payrolls = {{QDateTime(), 1, 501}, {QDateTime(), 2, 502}};
    const IRpcStructPtr params = ReportParamsFromPayrolls(def);
    QCOMPARE(params->KeyList(), (QStringList{"Clients", "Companies", "Company", "Payrolls"}));
    const auto ints = [](const IRpcArrayPtr& array) {
        QList<int> values;
        for (int i = 0; i < array->Count(); ++i)
            values << array->Item(i)->AsInteger();
        return values;
    };
    QCOMPARE(ints(params->Key(QStringLiteral("Clients"))->AsArray()), QList<int>{12});
    QCOMPARE(ints(params->Key(QStringLiteral("Companies"))->AsArray()), QList<int>{34});
    QCOMPARE(params->Key(QStringLiteral("Company"))->AsInteger(), 34);
    QCOMPARE(ints(params->Key(QStringLiteral("Payrolls"))->AsArray()), (QList<int>{501, 502}));
}

void TestOrvPayrollLists::reportDefinitions_data() {
    QTest::addColumn<int>("fetch"); // 0 employee, 1 agency, 2 journal
    QTest::addColumn<bool>("exclude");
    QTest::addColumn<bool>("byDbdt");
    QTest::addColumn<int>("number");
    QTest::addColumn<QStringList>("keys");
    const QStringList common{"Clients", "Companies", "Company", "Payrolls"};
    QTest::newRow("employee checks") << 0 << false << false << 1910 << common;
    QTest::newRow("agency checks") << 1 << false << false << 1911 << common;
    QTest::newRow("journal, options off")
        << 2 << false << false << 348
        << common + QStringList{"Format", "bExcludeManualChecks", "bBillingByDBDT"};
    QTest::newRow("journal, options on")
        << 2 << true << true << 348
        << common + QStringList{"Format", "bExcludeManualChecks", "bBillingByDBDT"};
}

void TestOrvPayrollLists::reportDefinitions() {
    QFETCH(int, fetch);
    QFETCH(bool, exclude);
    QFETCH(bool, byDbdt);
    QFETCH(int, number);
    QFETCH(QStringList, keys);
    TOrvPayrollsDef def;
    def.Company.ClNbr = 12;
    def.Company.CoNbr = 34;
    def.Payrolls = {{QDateTime(), 1, 501}};
    TQBGLExportParam options;
    options.ExcludeManualChecks = exclude;
    options.SplitBillingByDBDT = byDbdt;
    const TOrvReportDef report = fetch == 2   ? GLReportDef(def, options)
                                 : fetch == 1 ? ChecksReportDef(def, rkAgencyChecks)
                                              : ChecksReportDef(def, rkEmployeeChecks);
    QCOMPARE(report.ReportType, QStringLiteral("S"));
    QCOMPARE(report.ReportNumber, number);
    QCOMPARE(report.Params->KeyList(), keys);
    if (fetch == 2) {
        QCOMPARE(report.Params->Key(QStringLiteral("Format"))->AsInteger(), 1);
        QCOMPARE(report.Params->Key(QStringLiteral("bExcludeManualChecks"))->AsBoolean(), exclude);
        QCOMPARE(report.Params->Key(QStringLiteral("bBillingByDBDT"))->AsBoolean(), byDbdt);
    }
}

void TestOrvPayrollLists::logItems() {
    TRecordingLogger log;
    TOrvPayrollsDef def;
    def.Company.ClNbr = 12;
    def.Company.CoNbr = 34;
    def.Company.CompanyNumber = QStringLiteral("HLB1");
    def.Company.CompanyName = QStringLiteral("Bakery");
    def.Payrolls = {{QDate(2026, 1, 15).startOfDay(), 1, 501},
                    {QDate(2026, 1, 15).startOfDay(), 2, 502}};
    {
        TLogBlockGuard block(log.Logger(), QStringLiteral("Run"));
        LogPayrollsDef(log.Logger(), def);
        QCOMPARE(
            ContextOfLastBlock(log),
            (QStringList{"Client#=<unavailable>", "Client=<unavailable>", "Company#=HLB1",
                         "Company=Bakery", "Internal Client#=12", "Internal Company#=34",
                         "Pr=1/15/2026 (run #1), 1/15/2026 (run #2)", "Internal Pr#=501, 502"}));
    }
    {
        TLogBlockGuard block(log.Logger(), QStringLiteral("Batch"));
        TOrvPayrollBatchDef batch;
        batch.Company = def.Company;
        batch.CheckDate = QDate(2026, 2, 6).startOfDay();
        batch.RunNumber = 3;
        batch.PrNbr = 777;
        batch.BatchNbr = 9;
        LogPayrollBatchDef(log.Logger(), batch, false);
        QCOMPARE(ContextOfLastBlock(log),
                 (QStringList{"Pr=2/6/2026 (run #3)", "Internal Pr#=777", "Internal Batch#=9"}));
    }
}

QTEST_GUILESS_MAIN(TestOrvPayrollLists)
#include "tst_orvpayrolllists.moc"
