// What a report's road tells its reader: the state it ended in, its counts
// (a preview's as posting would count them), its ledger run, its problems,
// and with the answer-No policy the boxes and questions nobody watches.
#include "ChecksTestSupport.h"
#include "RunTestSupport.h"
#include "ScriptedUserDialogs.h"
#include "base/RegionalSettings.h"
#include "runs/ChecksExportRun.h"

#include <QFile>

using namespace checkstest;
using namespace runtest;
using namespace Qt::StringLiterals;

namespace {

// QuickBooks holds no such employee.
const QString Stranger = u"\"John\",A,\"Smith\",\"Pay\",3/8/2024,1003,10.00\r\n"_s;
const QString NoAgency = u",\"Payroll Agency\",,,\r\n"_s;

class TOneReport : public IDirectReportSource {
public:
    TFetchedReport Report;
    TFetchedReport FetchChecksReport(TReportKind) override { return Report; }
    TFetchedReport FetchGLReport(const TQBGLExportParam&) override { return std::nullopt; }
};

struct TFixture {
    TDemoCompany Company;
    TRecordingLogger Log;
    TScriptedUserDialogs Dialogs;
    TOneReport Direct;
    QTemporaryDir Dir;
    TRunContext Context =
        runtest::Context(Log.LoggerPtr(), Dialogs, Company.Factory(), nullptr, &Direct);

    TChecksRunOptions Options(const QString& report, bool direct) {
        TChecksRunOptions options;
        options.Checks = DemoOptions();
        if (direct) {
            Direct.Report = report.isNull() ? TFetchedReport() : TFetchedReport(report);
            options.Source = Source(rstDirectConnection, QString(), true);
            options.CheckKindChoice = report == NoAgency ? crcAgencyChecks : crcEmployeeChecks;
            return options;
        }
        QFile file(Dir.filePath(u"s1910.txt"_s));
        if (!file.open(QIODevice::WriteOnly) || file.write(report.toUtf8()) < 0)
            qFatal("cannot write the report");
        options.Source = Source(rstFile, file.fileName());
        return options;
    }
};

} // namespace

Q_DECLARE_METATYPE(TPostState)

class TestPostResult : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void endings_data();
    void endings();
    void questionAnsweredNoIsAProblem();
};

void TestPostResult::endings_data() {
    QTest::addColumn<QString>("report"); // null: the service's report does not come
    QTest::addColumn<bool>("direct");
    QTest::addColumn<bool>("preview");
    QTest::addColumn<bool>("answerNo");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<TPostState>("state");
    QTest::addColumn<int>("added");
    QTest::addColumn<int>("errors");
    QTest::addColumn<QString>("netPay");
    QTest::addColumn<QStringList>("problems"); // each a part of one problem, in order
    QTest::addColumn<int>("boxes");
    const QString two = u"2,230.39"_s;
    QTest::newRow("posted") << Maria + James << false << false << false << false << psPosted << 2
                            << 0 << two << QStringList() << 1;
    QTest::newRow("previewed, counted as posted")
        << Maria + James << false << true << false << false << psPreviewed << 2 << 0 << two
        << QStringList() << 0;
    QTest::newRow("a failed record is a problem")
        << Maria + James + Stranger << false << false << false << false << psPosted << 2 << 1 << two
        << QStringList(u"check 1003 John A Smith (failed)"_s) << 1;
    QTest::newRow("answer No: the error box is a problem too")
        << Maria + James + Stranger << false << false << true << false << psPosted << 2 << 1 << two
        << QStringList(
               {u"partially completed: 1 error occured"_s, u"check 1003 John A Smith (failed)"_s})
        << 0;
    QTest::newRow("a preview's invalid record is a problem")
        << Maria + Stranger << false << true << false << false << psPreviewed << 1 << 1
        << u"1,250.10"_s << QStringList(u"check 1003"_s) << 0;
    QTest::newRow("failed") << u"garbage"_s << false << false << false << false << psFailed << 0
                            << 0 << u"0.00"_s << QStringList(u"Wrong number of fields"_s) << 0;
    QTest::newRow("cancelled") << Maria << false << false << false << true << psCancelled << 0 << 0
                               << u"0.00"_s << QStringList() << 0;
    QTest::newRow("no report") << QString() << true << false << false << false << psNoReport << 0
                               << 0 << u"0.00"_s << QStringList() << 0;
    QTest::newRow("nothing to post")
        << NoAgency << true << false << false << false << psNothingToPost << 0 << 0 << u"0.00"_s
        << QStringList() << 1;
}

void TestPostResult::endings() {
    QFETCH(QString, report);
    QFETCH(bool, direct);
    QFETCH(bool, preview);
    QFETCH(bool, answerNo);
    QFETCH(bool, cancel);
    QFETCH(TPostState, state);
    QFETCH(int, added);
    QFETCH(int, errors);
    QFETCH(QString, netPay);
    QFETCH(QStringList, problems);
    QFETCH(int, boxes);
    TFixture f;
    TChecksRunOptions options = f.Options(report, direct);
    options.Posting.Preview = preview;
    options.Posting.Questions = answerNo ? qpAnswerNo : qpAsk;
    options.Posting.RecordNothingToPostInto = f.Dir.filePath(u"books.qbw"_s);
    if (cancel)
        f.Context.Cancel->Cancel();
    const QList<TPostResult> results = TChecksExportRun(options).RunChecksExport(f.Context);
    QCOMPARE(results.size(), 1);
    const TPostResult& r = results[0];
    QCOMPARE(r.State, state);
    QCOMPARE(r.Counts.Checks.ChecksAdded, added);
    QCOMPARE(r.Counts.Checks.Errors, errors);
    QCOMPARE(MoneyToStr(r.Counts.NetPay), netPay);
    QCOMPARE(r.Preview.has_value(), state == psPreviewed);
    QCOMPARE(bool(r.Failure), state == psFailed);
    const bool begun = state == psPosted || state == psPreviewed;
    QCOMPARE(!r.LedgerRunId.isEmpty(), begun);
    QCOMPARE(!r.Company.CompanyName.isEmpty(), begun);
    const int failure = state == psFailed ? 1 : 0;
    QCOMPARE(r.Problems.size(), problems.size());
    for (int i = 0; i < problems.size(); ++i)
        QVERIFY2(r.Problems[i].contains(problems[i]), qPrintable(r.Problems[i]));
    QCOMPARE(f.Dialogs.Shown.size(), boxes);
    QCOMPARE(f.Company.Txns().size(), size_t(preview || failure ? 0 : added));
    // A report with nothing to post is recorded where it is asked for.
    QCOMPARE(int(f.Context.OpenLedger()->Runs().size()), begun || state == psNothingToPost ? 1 : 0);
}

// Nobody watches: the company guard's question is answered No and kept,
// before the refusal it led to, and no box opens.
void TestPostResult::questionAnsweredNoIsAProblem() {
    TFixture f;
    TDemoCompany other;
    TChecksRunOptions options = f.Options(Maria, false);
    QCOMPARE(TChecksExportRun(options).RunChecksExport(f.Context)[0].State, psPosted);
    f.Context.ConnectQB = other.Factory();
    options.Posting.Questions = qpAnswerNo;
    const TPostResult r = TChecksExportRun(options).RunChecksExport(f.Context).value(0);
    QCOMPARE(r.State, psFailed);
    QCOMPARE(r.Problems.size(), 2);
    QVERIFY2(r.Problems[0].startsWith(u"Answered No: The report file s1910.txt was posted"_s),
             qPrintable(r.Problems[0]));
    QVERIFY2(r.Problems[1].endsWith(u"Nothing was posted."_s), qPrintable(r.Problems[1]));
    QCOMPARE(f.Dialogs.Shown.size(), 1); // the first run's box
    QCOMPARE(other.Txns().size(), size_t(0));
}

QTEST_GUILESS_MAIN(TestPostResult)
#include "tst_postresult.moc"
