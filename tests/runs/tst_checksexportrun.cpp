// The checks export run against a sandbox company: the file and direct
// sources, the kinds of the kind choice, the report text, the boxes, the
// log and the failure paths.
#include "ChecksTestSupport.h"
#include "RunTestSupport.h"
#include "ScriptedUserDialogs.h"
#include "logging/vlxLogWriters.h"
#include "runs/ChecksExportRun.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

using namespace checkstest;
using namespace runtest;
using namespace Qt::StringLiterals;

namespace {

const QString EmployeeReport = u"\"Maria\",A,\"Lopez\",\"Pay\",3/8/2024,1001,1250.10\r\n"
                               u"\"James\",T,\"Okafor\",\"Pay\",3/8/2024,1002,980.29\r\n"_s;
const QString AgencyReport = u"\"Internal Revenue Service\",\"FIT\",3/8/2024,2001,4520.33\r\n"_s;

class TFakeDirectSource : public IDirectReportSource {
public:
    TFetchedReport Employee;
    TFetchedReport Agency;
    QStringList Fetches;
    QStringList Cancelled; // the kinds whose fetch the user cancels
    TFetchedReport FetchChecksReport(TReportKind kind) override {
        Fetches << (kind == rkEmployeeChecks ? u"employee"_s : u"agency"_s);
        return kind == rkEmployeeChecks ? Employee : Agency;
    }
    TFetchedReport FetchGLReport(const TQBGLExportParam&) override { return std::nullopt; }
    bool LastFetchCancelled() const override {
        return !Fetches.isEmpty() && Cancelled.contains(Fetches.last());
    }
};

// The box of a run that added checks and found nothing else.
QString AddedBox(const QString& runName, int added) {
    return u"information: %1 successfully completed: %2 %3 added, 0 checks voided, 0 deposits "
           u"added, 0 checks already existed, 0 checks were already voided, 0 deposits already "
           u"existed"_s.arg(runName)
               .arg(added)
               .arg(added == 1 ? u"check"_s : u"checks"_s);
}

// What the page's controls would give the run.
struct TInputs {
    TReportSourceTab Tab = rstFile;
    QString File;
    int Choice = crcEmployeeChecks;
    TQBChecksExportParam Options = DemoOptions();
    IDirectReportSource* Direct = nullptr;

    TChecksRunOptions RunOptions() const {
        TChecksRunOptions options;
        options.Source = Source(Tab, File, Direct != nullptr);
        options.CheckKindChoice = TChecksReportChoice(Choice);
        options.Checks = Options;
        return options;
    }
};

struct TRunFixture {
    TDemoCompany Company;
    TRecordingLogger Log;
    TInputs Inputs;
    TScriptedUserDialogs Dialogs;
    std::shared_ptr<TRecordingProgress> Wait = std::make_shared<TRecordingProgress>();
    QTemporaryDir Dir;
    TRunContext Context = runtest::Context(Log.LoggerPtr(), Dialogs, Company.Factory(), Wait);

    QString WriteFile(const QString& name, const QByteArray& bytes) {
        QFile f(Dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write the fixture");
        return f.fileName();
    }
    TChecksExportRun Run() {
        if (Inputs.Direct)
            Context =
                runtest::Context(Log.LoggerPtr(), Dialogs, Company.Factory(), Wait, Inputs.Direct);
        return TChecksExportRun(Inputs.RunOptions());
    }
    QStringList Events() { return Messages(Log.Sink(), lmEvent); }
    QStringList Warnings() { return Messages(Log.Sink(), lmWarning); }
};

} // namespace

class TestChecksExportRun : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fileRunThenEverythingExists();
    void agencyFileRunsAsChecks();
    void singleFailureShowsErrorBox();
    void failedRecordsInTheBox_data();
    void failedRecordsInTheBox();
    void failures_data();
    void failures();
    void kindChoice_data();
    void kindChoice();
    void cancelledEmployeeFetchStillRunsAgency();
    void failedEmployeeRunEndsAllChecks();
    void agencyReportWithoutChecks_data();
    void agencyReportWithoutChecks();
    void directTabWithoutDirectSource();
    void cancelWhilePosting_data();
    void cancelWhilePosting();
    void adviceFollowsTheError();
};

void TestChecksExportRun::fileRunThenEverythingExists() {
    TRunFixture f;
    f.Inputs.File = f.WriteFile(u"s1910.txt"_s, EmployeeReport.toUtf8());
    TChecksExportRun run = f.Run();
    run.RunChecksExport(f.Context);
    const QString summary =
        u"Orvane Checks Export successfully completed: 2 checks added, 0 checks voided, 0 "
        u"deposits added, 0 checks already existed, 0 checks were already voided, 0 deposits "
        u"already existed"_s;
    // The company is named before anything is posted, and the file's first
    // posting says where it went.
    const QString company = u"QuickBooks company: "_s +
                            TQBSandboxCompany(f.Company.FileName(), false).CompanyName() +
                            u" \u2014 "_s + QDir::toNativeSeparators(f.Company.FileName());
    QCOMPARE(f.Events(),
             QStringList({u"Orvane Checks Export started"_s,
                          u"Report recognized as S1910 Employee Checks Report"_s, company,
                          u"First posting of the report file s1910.txt: it goes into QuickBooks "
                          u"company '%1'; posting it into another company will ask first."_s.arg(
                              TQBSandboxCompany(f.Company.FileName(), false).CompanyName()),
                          summary}));
    // The box has the counts, so a re-run that adds nothing reads otherwise.
    QCOMPARE(f.Dialogs.Shown, QStringList(u"information: "_s + summary));
    QCOMPARE(PrintedReports(run.Results()), u"Orvane Checks report:\r\n"_s + EmployeeReport);
    QCOMPARE(run.Results().size(), qsizetype(1));
    QCOMPARE(run.Results()[0].Summary, summary);
    QCOMPARE(f.Wait->Stages(),
             QStringList({u"start Creating QuickBooks Transactions"_s, u"end"_s}));
    // The file's text is in the developer log of the run's block.
    const auto debug = f.Log.Sink().OfKind(lmDebug);
    QVERIFY(std::any_of(debug.begin(), debug.end(), [](const TRecordedMessage& m) {
        return m.Message == u"Orvane Checks file" && m.Block == u"Orvane Checks Export" &&
               m.Details == EmployeeReport;
    }));

    TRunFixture again;
    again.Inputs.File = f.Inputs.File;
    TRunContext context =
        runtest::Context(again.Log.LoggerPtr(), again.Dialogs, f.Company.Factory());
    TChecksExportRun second(again.Inputs.RunOptions());
    second.RunChecksExport(context);
    const QString existed =
        u"Orvane Checks Export successfully completed: 0 checks added, 0 checks voided, 0 "
        u"deposits added, 2 checks already existed, 0 checks were already voided, 0 deposits "
        u"already existed"_s;
    QCOMPARE(second.Results()[0].Summary, existed);
    QCOMPARE(again.Dialogs.Shown, QStringList(u"information: "_s + existed));
    QCOMPARE(f.Company.Txns().size(), size_t(2));
}

void TestChecksExportRun::agencyFileRunsAsChecks() {
    TRunFixture f;
    f.Inputs.File = f.WriteFile(u"s1911.txt"_s, AgencyReport.toUtf8());
    TChecksExportRun run = f.Run();
    run.RunChecksExport(f.Context);
    QVERIFY(f.Events().contains(u"Report recognized as S1911 Agency Checks Report"_s));
    QCOMPARE(f.Dialogs.Shown, QStringList(AddedBox(u"Orvane Checks Export"_s, 1)));
    QCOMPARE(f.Company.Summary(), QStringList(u"Check 2001 452033"_s));
}

void TestChecksExportRun::singleFailureShowsErrorBox() {
    TRunFixture f;
    f.Inputs.File = f.WriteFile(
        u"s1910.txt"_s,
        (EmployeeReport + u"\"John\",A,\"Smith\",\"Pay\",3/8/2024,1003,10.00\r\n"_s).toUtf8());
    TChecksExportRun run = f.Run();
    run.RunChecksExport(f.Context);
    const QString summary =
        u"Orvane Checks Export partially completed: 1 error occured, 2 checks added, 0 checks "
        u"voided, 0 deposits added, 0 checks already existed, 0 checks were already voided, 0 "
        u"deposits already existed"_s;
    QCOMPARE(f.Dialogs.Shown.size(), 1);
    QVERIFY2(f.Dialogs.Shown[0].startsWith(u"error: "_s + summary + u"\n\nFailed records"_s),
             qPrintable(f.Dialogs.Shown[0]));
    QCOMPARE(f.Warnings(), QStringList(summary));
    QCOMPARE(run.Results()[0].Counts.Checks.Errors, 1);
}

void TestChecksExportRun::failedRecordsInTheBox_data() {
    QTest::addColumn<int>("unknown"); // employees QuickBooks lacks
    QTest::addColumn<int>("listed");
    QTest::addColumn<QString>("last");
    QTest::newRow("one") << 1 << 1 << QString();
    QTest::newRow("ten") << 10 << 10 << QString();
    QTest::newRow("more than ten") << 12 << 10 << u"and 2 more"_s;
}

// The box of a partly failed run names each failed record, why and what to
// do, under the report it came from.
void TestChecksExportRun::failedRecordsInTheBox() {
    QFETCH(int, unknown);
    QFETCH(int, listed);
    QFETCH(QString, last);
    TRunFixture f;
    QString report = EmployeeReport;
    for (int i = 0; i < unknown; ++i)
        report += u"\"John\",A,\"Smith%1\",\"Pay\",3/8/2024,%2,10.00\r\n"_s.arg(i).arg(3000 + i);
    f.Inputs.File = f.WriteFile(u"s1910.txt"_s, report.toUtf8());
    TChecksExportRun run = f.Run();
    run.RunChecksExport(f.Context);
    QCOMPARE(f.Dialogs.Shown.size(), 1);
    const QStringList lines = f.Dialogs.Shown[0].section(u"\n\n"_s, 1).split(u'\n');
    QCOMPARE(lines.first(), u"Failed records of file s1910.txt:"_s);
    const QStringList problems = lines.filter(
        QRegularExpression(u"^check 30\\d\\d .*\\(failed\\): Cannot find QB employee record "_s));
    QCOMPARE(problems.size(), listed);
    QVERIFY2(problems[0].startsWith(u"check 3000 "_s), qPrintable(problems[0]));
    QCOMPARE(lines.filter(u"Check 3000 was not posted: add the employee to QuickBooks"_s).size(),
             1);
    QCOMPARE(lines.last() == last, !last.isEmpty());
}

void TestChecksExportRun::failures_data() {
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<bool>("notRunning");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("reportText");
    QTest::newRow("empty file") << QByteArray("") << false << u"Orvane Checks report is empty"_s
                                << u"Orvane Checks report is empty"_s;
    QTest::newRow("stored component stream is empty")
        << QByteArray("TPF0\x01\x02") << false << u"Orvane Checks report is empty"_s
        << u"Orvane Checks report is empty"_s;
    QTest::newRow("QuickBooks not running")
        << EmployeeReport.toUtf8() << true << u"QuickBooks is not running"_s
        << u"Orvane Checks report:\r\n"_s + EmployeeReport;
    QTest::newRow("QuickBooks is opened before the parse")
        << QByteArray("garbage") << true << u"QuickBooks is not running"_s
        << u"Orvane Checks report:\r\ngarbage"_s;
    QTest::newRow("missing file") << QByteArray() << false << u"missing.txt"_s << QString();
    // A file the user chose that holds only the service's placeholder is an
    // error, unlike the service's own agency report of the same text.
    QTest::newRow("agency placeholder file")
        << QByteArray(",\"Payroll Agency\",,,\r\n") << false
        << u"Orvane Agency Checks report is empty"_s
        << u"Orvane Checks report:\r\n,\"Payroll Agency\",,,\r\n"_s;
    const QByteArray badLine =
        "\"Wei\",,\"Chen\",\"Pay\",3/8/2024,1003,1.00\r\nJohn Smith,A,Doe,\tPay,"
        "3/8/2024,1004,1.00\r\n";
    QTest::newRow("a bad line is named with the file")
        << badLine << false
        << u"Invalid delimited text (line 2 of %1: <John Smith,A,Doe,\\x09Pay,3/8/2024,1004,1.00>)"_s
        << u"Orvane Checks report:\r\n"_s + QString::fromUtf8(badLine);
}

void TestChecksExportRun::failures() {
    QFETCH(QByteArray, content);
    QFETCH(bool, notRunning);
    QFETCH(QString, error);
    QFETCH(QString, reportText);
    TRunFixture f;
    f.Inputs.File =
        content.isNull() ? f.Dir.filePath(u"missing.txt"_s) : f.WriteFile(u"report.txt"_s, content);
    error.replace(u"%1"_s, f.Inputs.File);
    if (notRunning) {
        TSbFaults faults;
        faults.NotRunning = true;
        f.Company.SetFaults(faults);
    }
    const int depth = f.Log.Depth();
    TChecksExportRun run = f.Run();
    try {
        RethrowPostFailure(run.RunChecksExport(f.Context));
        QFAIL("the run did not fail");
    } catch (const EztException& e) {
        QVERIFY2(e.Message().contains(error), qPrintable(e.Message()));
    }
    QCOMPARE(f.Warnings().last(), u"Orvane Checks Export failed"_s);
    QCOMPARE(f.Log.Sink().OfKind(lmException).size(), size_t(1));
    QCOMPARE(f.Dialogs.Shown, QStringList()); // the error display is the caller's
    QCOMPARE(PrintedReports(run.Results()), reportText);
    QCOMPARE(f.Log.Depth(), depth);
    QCOMPARE(f.Wait->Stages().count(u"end"_s),
             f.Wait->Stages().size() - f.Wait->Stages().count(u"end"_s));
    QCOMPARE(f.Company.Txns().size(), size_t(0));
}

void TestChecksExportRun::kindChoice_data() {
    QTest::addColumn<int>("choice");
    QTest::addColumn<QStringList>("fetches");
    QTest::addColumn<QStringList>("boxes");
    const QString employeeDone = AddedBox(u"Orvane Employee Checks Export"_s, 2);
    const QString agencyDone = AddedBox(u"Orvane Agency Checks Export"_s, 1);
    QTest::newRow("all checks") << int(crcAllChecks) << QStringList({u"employee"_s, u"agency"_s})
                                << QStringList({employeeDone, agencyDone});
    QTest::newRow("employee checks")
        << int(crcEmployeeChecks) << QStringList(u"employee"_s) << QStringList(employeeDone);
    QTest::newRow("agency checks")
        << int(crcAgencyChecks) << QStringList(u"agency"_s) << QStringList(agencyDone);
}

void TestChecksExportRun::kindChoice() {
    QFETCH(int, choice);
    QFETCH(QStringList, fetches);
    QFETCH(QStringList, boxes);
    TRunFixture f;
    TFakeDirectSource source;
    source.Employee = EmployeeReport;
    source.Agency = AgencyReport;
    f.Inputs.Tab = rstDirectConnection;
    f.Inputs.Direct = &source;
    f.Inputs.Choice = choice;
    TChecksExportRun run = f.Run();
    run.RunChecksExport(f.Context);
    QCOMPARE(source.Fetches, fetches);
    QCOMPARE(f.Dialogs.Shown, boxes);
    QCOMPARE(run.Results().size(), qsizetype(fetches.size()));
    if (choice == crcAllChecks) {
        QCOMPARE(PrintedReports(run.Results()),
                 u"Orvane Employee Checks report:\r\n"_s + EmployeeReport + QChar(12) +
                     u"Orvane Agency Checks report:\r\n"_s + AgencyReport);
        QCOMPARE(f.Log.Sink().Events.filter(u"enter Orvane "_s),
                 QStringList({u"enter Orvane Employee Checks Export"_s,
                              u"enter Orvane Agency Checks Export"_s}));
    }
}

void TestChecksExportRun::cancelledEmployeeFetchStillRunsAgency() {
    TRunFixture f;
    TFakeDirectSource source;
    source.Agency = AgencyReport;
    source.Cancelled = QStringList{u"employee"_s};
    f.Inputs.Tab = rstDirectConnection;
    f.Inputs.Direct = &source;
    f.Inputs.Choice = crcAllChecks;
    TChecksExportRun run = f.Run();
    run.RunChecksExport(f.Context);
    QCOMPARE(f.Warnings(), QStringList(u"Orvane Employee Checks Export failed"_s));
    // The user is told that the cancelled run posted nothing.
    QCOMPARE(f.Dialogs.Shown,
             QStringList({u"information: Orvane Employee Checks Export was cancelled: nothing "
                          u"was posted"_s,
                          AddedBox(u"Orvane Agency Checks Export"_s, 1)}));
    QCOMPARE(PrintedReports(run.Results()), u"Orvane Employee Checks report is empty"_s +
                                                QChar(12) + u"Orvane Agency Checks report:\r\n"_s +
                                                AgencyReport);
    QCOMPARE(f.Company.Summary(), QStringList(u"Check 2001 452033"_s));
}

void TestChecksExportRun::failedEmployeeRunEndsAllChecks() {
    TRunFixture f;
    TFakeDirectSource source;
    source.Employee = u"not a report"_s;
    source.Agency = AgencyReport;
    f.Inputs.Tab = rstDirectConnection;
    f.Inputs.Direct = &source;
    f.Inputs.Choice = crcAllChecks;
    TChecksExportRun run = f.Run();
    QVERIFY_THROWS_EXCEPTION(EztException, RethrowPostFailure(run.RunChecksExport(f.Context)));
    QCOMPARE(source.Fetches, QStringList(u"employee"_s));
    QCOMPARE(f.Warnings().last(), u"Orvane Employee Checks Export failed"_s);
    QCOMPARE(f.Company.Txns().size(), size_t(0));
}

void TestChecksExportRun::agencyReportWithoutChecks_data() {
    QTest::addColumn<int>("choice");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("all checks: a line of the summary")
        << int(crcAllChecks) << QStringList{AddedBox(u"Orvane Employee Checks Export"_s, 2)};
    QTest::newRow("agency checks: a box")
        << int(crcAgencyChecks) << QStringList{u"information: No agency checks in this payroll"_s};
}

void TestChecksExportRun::agencyReportWithoutChecks() {
    // The service's placeholder for payrolls that paid no agency is normal
    // (a file that holds only it is still refused by the parser).
    QFETCH(int, choice);
    QFETCH(QStringList, shown);
    TRunFixture f;
    TFakeDirectSource source;
    source.Employee = EmployeeReport;
    source.Agency = u",\"Payroll Agency\",,,\r\n"_s;
    f.Inputs.Choice = choice;
    f.Inputs.Tab = rstDirectConnection;
    f.Inputs.Direct = &source;
    TChecksExportRun run = f.Run();
    run.RunChecksExport(f.Context);
    QCOMPARE(f.Dialogs.Shown, shown);
    QCOMPARE(f.Warnings(), QStringList());
    QCOMPARE(run.Results().back().Summary,
             u"Orvane Agency Checks Export: No agency checks in this payroll"_s);
    QCOMPARE(run.Results().back().Counts.Checks, TChecksExportResult());
}

void TestChecksExportRun::directTabWithoutDirectSource() {
    TRunFixture f;
    f.Inputs.Tab = rstDirectConnection;
    TChecksExportRun run = f.Run();
    QVERIFY_THROWS_EXCEPTION(EztException, RethrowPostFailure(run.RunChecksExport(f.Context)));
    QCOMPARE(f.Warnings(), QStringList(u"Orvane Employee Checks Export failed"_s));
}

void TestChecksExportRun::cancelWhilePosting_data() {
    QTest::addColumn<bool>("direct");
    QTest::addColumn<bool>("stepOnly"); // the wait window's Cancel, not closing the window
    QTest::addColumn<QStringList>("fetches");
    QTest::newRow("file") << false << false << QStringList();
    QTest::newRow("all checks: the agency report is not fetched")
        << true << true << QStringList(u"employee"_s);
}

// Cancelled after the first of three request sets: the run stops there,
// says so with the counts, and nothing after it is posted.
void TestChecksExportRun::cancelWhilePosting() {
    QFETCH(bool, direct);
    QFETCH(bool, stepOnly);
    QFETCH(QStringList, fetches);
    TRunFixture f;
    const QString report = EmployeeReport + u"\"John\",A,\"Doe\",\"Pay\",3/8/2024,1003,10.00\r\n"_s;
    TFakeDirectSource source;
    if (direct) {
        source.Employee = report;
        source.Agency = AgencyReport;
        f.Inputs.Tab = rstDirectConnection;
        f.Inputs.Direct = &source;
        f.Inputs.Choice = crcAllChecks;
    } else {
        f.Inputs.File = f.WriteFile(u"s1910.txt"_s, report.toUtf8());
    }
    f.Inputs.Options.IncludeEENames = false;
    f.Inputs.Options.BatchSize = 1;
    TChecksExportRun run = f.Run();
    f.Wait->OnProgress = [&](int done, int) {
        if (done == 1)
            stepOnly ? f.Context.Cancel->CancelStep() : f.Context.Cancel->Cancel();
    };
    run.RunChecksExport(f.Context);
    const QString kind = direct ? u"Employee Checks"_s : u"Checks"_s;
    const QString summary = u"Orvane "_s + kind +
                            u" Export cancelled, 2 records not exported: 1 check added, 0 checks "
                            u"voided, 0 deposits added, 0 checks already existed, 0 checks were "
                            u"already voided, 0 deposits already existed"_s;
    QCOMPARE(f.Company.Summary(), QStringList(u"Check 1001 125010"_s));
    QCOMPARE(run.Results().size(), qsizetype(1));
    QCOMPARE(run.Results()[0].Summary, summary);
    QCOMPARE(f.Warnings(), QStringList({u"User cancelled operation"_s, summary}));
    QCOMPARE(f.Dialogs.Shown, QStringList(u"information: "_s + summary));
    QCOMPARE(source.Fetches, fetches);
    QVERIFY(f.Wait->Marks.contains(u"1/3"_s));
    QVERIFY(!f.Wait->Marks.contains(u"2/3"_s));
}

void TestChecksExportRun::adviceFollowsTheError() {
    // What to do is the error's last line: in the box and in both logs,
    // which keep a message on one line.
    TRunFixture f;
    QStringList userLog;
    QStringList devLog;
    TScopedSink user(f.Log.Stateful(), std::make_shared<TPlainTextUserLogWriter>(
                                           std::make_shared<TStringsLogOutput>(&userLog)));
    TScopedSink dev(f.Log.Stateful(), std::make_shared<TPlainTextDevLogWriter>(
                                          std::make_shared<TStringsLogOutput>(&devLog)));
    TSbFaults denied;
    denied.AccessDenied = true;
    f.Company.SetFaults(denied);
    f.Inputs.File = f.WriteFile(u"s1910.txt"_s, EmployeeReport.toUtf8());
    TChecksExportRun run = f.Run();
    const QString advice = u"In QuickBooks, allow \"Orvane QB Export\" under Edit > "
                           u"Preferences > Integrated Applications"_s;
    try {
        RethrowPostFailure(run.RunChecksExport(f.Context));
        QFAIL("the run did not fail");
    } catch (const EztException& e) {
        QVERIFY2(e.Message().section(u"\r\n"_s, 1).startsWith(advice), qPrintable(e.Message()));
    }
    QCOMPARE(userLog.filter(advice).size(), 1);
    QCOMPARE(devLog.filter(advice).size(), 1);
}

QTEST_GUILESS_MAIN(TestChecksExportRun)
#include "tst_checksexportrun.moc"
