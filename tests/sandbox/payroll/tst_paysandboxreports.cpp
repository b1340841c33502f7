// The reports of the sandbox payroll service read by the program's own
// parsers: what the service writes must be what the checks and GL runs accept.
#include "PaySandboxReport.h"
#include "RecordingLogSink.h"
#include "base/RegionalSettings.h"
#include "base/ztExceptions.h"
#include "reports/OrvGLParser.h"
#include "reports/orvchecksparser.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// PR_NBR 10091: run 1 of 3/8/2024 in company 34; 10101 the week after;
// 10121 the last Friday of March (agency checks); 10062 marked "Problem:
// unknown employee"; 10031 holds a manual check.

Currency Sum(const TCheckRecords& records) {
    Currency total;
    for (const TCheckRecord& r : records)
        total += r.Amount;
    return total;
}

} // namespace

class TestPaySandboxReports : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void employeeChecksParse_data();
    void employeeChecksParse();
    void namesWithSpacesCommasAndQuotesSurvive();
    void agencyChecksParseOrAreEmpty();
    void journalLayoutsParseToTheSameRecords_data();
    void journalLayoutsParseToTheSameRecords();
    void netPayOfTheChecksIsTheJournalsNetPayCredit_data();
    void netPayOfTheChecksIsTheJournalsNetPayCredit();

private:
    QString Report(const QStringList& args);
    std::unique_ptr<TRecordingLogger> m_log;
};

void TestPaySandboxReports::init() {
    m_log = std::make_unique<TRecordingLogger>();
}

void TestPaySandboxReports::cleanup() {
    m_log.reset();
}

QString TestPaySandboxReports::Report(const QStringList& args) {
    QString error;
    const QString text = SandboxReport(args, &error);
    if (!error.isEmpty())
        qWarning("sandbox report %s failed: %s", qPrintable(args.join(u' ')), qPrintable(error));
    return text;
}

void TestPaySandboxReports::employeeChecksParse_data() {
    QTest::addColumn<QString>("payrolls");
    QTest::addColumn<int>("checks");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("lastName");
    QTest::newRow("one payroll") << "10091" << 6 << QDate(2024, 3, 8) << QDate(2024, 3, 8)
                                 << "Novak";
    QTest::newRow("two payrolls") << "10091,10101" << 12 << QDate(2024, 3, 8) << QDate(2024, 3, 15)
                                  << "Novak";
    QTest::newRow("unknown employee")
        << "10062" << 7 << QDate(2024, 2, 16) << QDate(2024, 2, 16) << "Whitfield";
    QTest::newRow("manual check") << "10031" << 6 << QDate(2024, 1, 26) << QDate(2024, 1, 26)
                                  << "Novak";
}

void TestPaySandboxReports::employeeChecksParse() {
    QFETCH(QString, payrolls);
    QFETCH(int, checks);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QString, lastName);
    const QString text = Report({"1910", "--payrolls", payrolls});
    QVERIFY(!text.isEmpty());

    const TCheckRecords records = ParseChecksReport(m_log->Logger(), text, rkNone);
    QCOMPARE(int(records.size()), checks);
    const TCheckDateRange range = GetCheckDateRange(records);
    QCOMPARE(range.FromDate, from);
    QCOMPARE(range.ToDate, to);
    QCOMPARE(records.back().LastName, lastName);
    int directDeposits = 0;
    for (const TCheckRecord& r : records) {
        QVERIFY(r.IsEmployeeCheck);
        QVERIFY(r.Amount > Currency());
        directDeposits += r.CheckNumber.size() == 8 ? 1 : 0;
    }
    QVERIFY(directDeposits > 0);
}

void TestPaySandboxReports::namesWithSpacesCommasAndQuotesSurvive() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile description(dir.filePath(QStringLiteral("company.json")));
    QVERIFY(description.open(QIODevice::WriteOnly));
    description.write(R"({"company": "Names", "classes": [{"name": "Main"}], "employees": [
        {"firstName": "Mary Ann", "middleName": "B.", "lastName": "O'Neil, Jr."},
        {"firstName": "Li \"Lee\"", "lastName": "Wei"},
        {"firstName": "Jos\u00e9", "middleName": "\u00c9", "lastName": "Garc\u00eda"}]})");
    description.close();

    const TCheckRecords records = ParseChecksReport(
        m_log->Logger(), Report({"1910", "--payrolls", "10001", "--data", description.fileName()}),
        rkEmployeeChecks);
    QCOMPARE(int(records.size()), 3);
    QCOMPARE(records[0].FirstName, QString("Mary Ann"));
    QCOMPARE(records[0].MiddleInitial, QString("B"));
    QCOMPARE(records[0].LastName, QString("O'Neil, Jr."));
    QCOMPARE(records[1].FirstName, QString("Li \"Lee\""));
    QCOMPARE(records[1].MiddleInitial, QString());
    QCOMPARE(records[2].FirstName, QString::fromUtf8("Jos\u00e9"));
    QCOMPARE(records[2].MiddleInitial, QString::fromUtf8("\u00c9"));
    QCOMPARE(records[2].LastName, QString::fromUtf8("Garc\u00eda"));
    QCOMPARE(records[0].Memo, QString("Pay period 12/29/2023 - 01/04/2024"));
}

void TestPaySandboxReports::agencyChecksParseOrAreEmpty() {
    const TCheckRecords records =
        ParseChecksReport(m_log->Logger(), Report({"1911", "--payrolls", "10121"}), rkAgencyChecks);
    QCOMPARE(int(records.size()), 3);
    QCOMPARE(records[0].Payee, QString("Internal Revenue Service"));
    QCOMPARE(records[0].CheckDate, QDate(2024, 3, 29));
    QVERIFY(records[0].Memo.contains(u','));

    const QString empty = Report({"1911", "--payrolls", "10091"});
    QVERIFY(!empty.isEmpty());
    try {
        ParseChecksReport(m_log->Logger(), empty, rkNone);
        QFAIL("an agency report without checks parsed");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), QString("Orvane Agency Checks report is empty"));
    }
}

void TestPaySandboxReports::journalLayoutsParseToTheSameRecords_data() {
    QTest::addColumn<QStringList>("options");
    QTest::newRow("plain") << QStringList();
    QTest::newRow("manual checks excluded") << QStringList{"--exclude-manual-checks"};
}

void TestPaySandboxReports::journalLayoutsParseToTheSameRecords() {
    QFETCH(QStringList, options);
    const QStringList base = QStringList{"348", "--payrolls", "10031"} + options;
    const TQBGLExportParam param;
    const TGLRecordArray csv = ParseGLJournal(m_log->Logger(), Report(base), param);
    const TGLRecordArray fixed =
        ParseGLJournal(m_log->Logger(), Report(base + QStringList{"--format", "2"}), param);
    QVERIFY(!csv.empty());
    QCOMPARE(fixed.size(), csv.size());
    Currency balance;
    for (size_t i = 0; i < csv.size(); ++i) {
        QCOMPARE(fixed[i].CompanyCode, QString("HLB1"));
        QCOMPARE(fixed[i].JournalDate, QDate(2024, 1, 26));
        QCOMPARE(fixed[i].AccountTag, csv[i].AccountTag);
        QCOMPARE(fixed[i].Debit, csv[i].Debit);
        QCOMPARE(fixed[i].Credit, csv[i].Credit);
        balance += csv[i].NetAmount;
    }
    QCOMPARE(balance, Currency());
}

void TestPaySandboxReports::netPayOfTheChecksIsTheJournalsNetPayCredit_data() {
    QTest::addColumn<QString>("payroll");
    QTest::newRow("regular") << "10091";
    QTest::newRow("manual check") << "10031";
    QTest::newRow("unknown employee") << "10062";
}

void TestPaySandboxReports::netPayOfTheChecksIsTheJournalsNetPayCredit() {
    QFETCH(QString, payroll);
    const TCheckRecords checks =
        ParseChecksReport(m_log->Logger(), Report({"1910", "--payrolls", payroll}), rkEmployeeChecks);

    // Split billing with class parsing: expense lines carry classes, the
    // net pay line (account 1010) does not.
    TQBGLExportParam param;
    param.GLTagParsing = gtpAssignClass;
    param.DelimiterInGLTag = QStringLiteral("-");
    const TGLRecordArray journal = ParseGLJournal(
        m_log->Logger(), Report({"348", "--payrolls", payroll, "--billing-by-dbdt"}), param);
    Currency netPay;
    int classLines = 0;
    for (const TGLRecord& r : journal) {
        if (r.AccountTag == QLatin1String("1010")) {
            QCOMPARE(r.ClassOrName, QString());
            netPay -= r.NetAmount;
        }
        classLines += r.ClassOrName.isEmpty() ? 0 : 1;
    }
    QCOMPARE(netPay, Sum(checks));
    QVERIFY(classLines > 0);
}

QTEST_GUILESS_MAIN(TestPaySandboxReports)
#include "tst_paysandboxreports.moc"
