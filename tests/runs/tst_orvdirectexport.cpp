// The direct tab end to end: the export runs fetch their reports from the
// sandbox payroll service through the direct report source and export them
// into a sandbox QuickBooks company made from the same demo data.
#include "OrvTestSupport.h"
#include "RecordingLogSink.h"
#include "RunTestSupport.h"
#include "ScriptedUserDialogs.h"

#include "base/RegionalSettings.h"
#include "base/vlxErrorDisplay.h"
#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "payroll/OrvPayrollLists.h"
#include "runs/ChecksExportRun.h"
#include "runs/GLExportRun.h"

#include <QtTest>

using namespace orvtest;

namespace {

TQBChecksExportParam DemoAccounts() {
    TQBChecksExportParam options;
    options.CashAccount = QStringLiteral("Payroll Checking");
    options.LiabilityAccount = QStringLiteral("Payroll Liabilities:Net Pay Clearing");
    return options;
}

} // namespace

class TestOrvDirectExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void employeeChecks();
    void allChecksWithEmployeeReportCancelled();
    void failedFetchPostsNothing();
    void journal();

private:
    // The payrolls chosen by number from the lists, as the page would.
    TOrvPayrollsDef Select(qint32 coNbr, const QList<qint32>& prNbrs);
    // The direct tab of a page with those payrolls.
    TReportSourceOptions Source(const TOrvPayrollsDef& selection);
    // A run's context on the sandbox company and service; its report waits
    // are the scripted ones.
    TRunContext Context();
    int Transactions(const QString& type);

    TSandboxService m_sandbox;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_companyFile;
    std::unique_ptr<TRecordingLogger> m_log;
    TScriptedUserDialogs m_dialogs;
    std::unique_ptr<TScriptedReportWait> m_waits;
    QStringList m_displayed;
};

void TestOrvDirectExport::initTestCase() {
    QString error;
    if (!m_sandbox.Start(&error))
        QSKIP(qPrintable(error));
}

void TestOrvDirectExport::init() {
    QVERIFY(!m_sandbox.Control(QStringLiteral("sandbox.reset"))->IsError());
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_companyFile = m_dir->filePath(QStringLiteral("company.qbsb"));
    CreateSandboxCompany(m_companyFile,
                         qEnvironmentVariable("ORVQ_SOURCE_DIR") + QStringLiteral("/data/demo"));
    m_log = std::make_unique<TRecordingLogger>();
    m_dialogs = TScriptedUserDialogs();
    m_waits = std::make_unique<TScriptedReportWait>();
    m_displayed.clear();
    InstallErrorDisplay(*QCoreApplication::instance(),
                        [this](const QString& message) { m_displayed << message; });
}

void TestOrvDirectExport::cleanup() {
    QCoreApplication::processEvents();
    m_waits.reset();
    m_log.reset();
    m_dir.reset();
}

TOrvPayrollsDef TestOrvDirectExport::Select(qint32 coNbr, const QList<qint32>& prNbrs) {
    TOrvPayrollLists lists(m_sandbox.Environment().Redirection);
    TNoRunProgress progress;
    lists.LoadPayrollList(m_sandbox.Param(), m_log->LoggerPtr(), progress, QDate(2024, 1, 1),
                          QDate(2024, 12, 31), m_sandbox.Environment());
    const TOrvPayrollsDef selection = lists.SelectByNumbers(coNbr, prNbrs);
    m_sandbox.Control(QStringLiteral("sandbox.reset"));
    return selection;
}

TReportSourceOptions TestOrvDirectExport::Source(const TOrvPayrollsDef& selection) {
    TReportSourceOptions source;
    source.Tab = rstDirectConnection;
    source.Direct = TDirectSourceOptions{m_sandbox.Param(), selection};
    return source;
}

TRunContext TestOrvDirectExport::Context() {
    TQBConnectionConfig config;
    config.Processor.Factory = &CreateSandboxRequestProcessor;
    config.Processor.CompanyFile = m_companyFile;
    TRunContext context = runtest::Context(
        m_log->LoggerPtr(), m_dialogs, QBConnectionFactory(config), runtest::Borrowed(*m_waits));
    context.Orvane = m_sandbox.Environment();
    context.ReportPollIntervalMs = 5;
    context.Cancel = m_waits->Cancel;
    context.PollWait = [this](int ms) { return m_waits->WaitBeforePoll(ms); };
    return context;
}

int TestOrvDirectExport::Transactions(const QString& type) {
    TQBSandboxCompany company(m_companyFile, false);
    TSbTxnFilter filter;
    filter.Type = type;
    return int(company.Txns(filter).size());
}

void TestOrvDirectExport::employeeChecks() {
    TChecksRunOptions options{Source(Select(34, {10091})), crcEmployeeChecks, DemoAccounts()};
    options.Checks.IncludeDD = true;
    TChecksExportRun run(options);
    TRunContext context = Context();
    run.RunChecksExport(context);
    QCOMPARE(int(run.Results().size()), 1);
    QCOMPARE(run.Results()[0].Counts.Checks.ChecksAdded, 6);
    QCOMPARE(run.Results()[0].Counts.Checks.Errors, 0);
    QCOMPARE(m_dialogs.Shown,
             QStringList{"information: Orvane Employee Checks Export successfully completed: 6 "
                         "checks added, 0 checks voided, 0 deposits added, 0 checks already "
                         "existed, 0 checks were already voided, 0 deposits already existed"});
    QCOMPARE(Transactions(QStringLiteral("Check")), 6);
    QCOMPARE(m_sandbox.LiveTasks(), 0);
    QCOMPARE(m_sandbox.Sessions(), 0);
}

void TestOrvDirectExport::allChecksWithEmployeeReportCancelled() {
    // 10121 holds the agency checks of March.
    const TReportSourceOptions source = Source(Select(34, {10121}));
    m_sandbox.Control(QStringLiteral("sandbox.setTaskDelay"),
                      [](IRpcFunction& f) { f.AddItem(3600); });
    QStringList messages;
    m_waits->OnReportWait = [&](int index) {
        messages << m_waits->Message;
        if (index == 0) {
            m_waits->Answers = {true};
            m_waits->PressCancelWhen = [this] {
                return m_sandbox.CalledMethods().contains(
                    QStringLiteral("orv.taskQueue.isTaskFinished"));
            };
        } else {
            // The agency report is not held up.
            m_sandbox.Control(QStringLiteral("sandbox.setTaskDelay"),
                              [](IRpcFunction& f) { f.AddItem(0); });
        }
    };
    TChecksExportRun run({source, crcAllChecks, DemoAccounts()});
    TRunContext context = Context();
    run.RunChecksExport(context);
    QCOMPARE(messages, (QStringList{"Please wait while Orvane generates Employee Checks report",
                                    "Please wait while Orvane generates Agency Checks report"}));
    // Only the agency kind reached QuickBooks; each fetch logged in anew.
    QCOMPARE(int(run.Results().size()), 2);
    QCOMPARE(run.Results()[0].State, psNoReport);
    QCOMPARE(run.Results()[1].RunName, QStringLiteral("Orvane Agency Checks Export"));
    QCOMPARE(run.Results()[1].Counts.Checks.ChecksAdded, 3);
    QCOMPARE(Transactions(QStringLiteral("Check")), 3);
    const QStringList methods = m_sandbox.CalledMethods();
    QCOMPARE(methods.count(QStringLiteral("orv.sb.connect")), 2);
    QCOMPARE(methods.count(QStringLiteral("orv.taskQueue.deleteTask")), 2);
    QCOMPARE(m_sandbox.LiveTasks(), 0);
    QStringList warnings;
    for (const TRecordedMessage& m : m_log->Sink().OfKind(lmWarning))
        warnings << m.Message;
    QCOMPARE(warnings,
             (QStringList{"User cancelled operation", "Orvane Employee Checks Export failed"}));
}

void TestOrvDirectExport::failedFetchPostsNothing() {
    const TReportSourceOptions source = Source(Select(34, {10091}));
    m_sandbox.Control(QStringLiteral("sandbox.setNextReport"), [](IRpcFunction& f) {
        f.AddItem(QStringLiteral("ERROR"));
        f.AddItem(QStringLiteral("Payroll 10091 is locked"));
    });
    TChecksExportRun run({source, crcEmployeeChecks, DemoAccounts()});
    TRunContext context = Context();
    run.RunChecksExport(context);
    QCoreApplication::processEvents();
    QCOMPARE(int(run.Results().size()), 1);
    QCOMPARE(run.Results()[0].State, psNoReport);
    QCOMPARE(Transactions(QStringLiteral("Check")), 0);
    QCOMPARE(m_displayed, QStringList{"Report finished with errors: Payroll 10091 is locked"});
    QCOMPARE(m_dialogs.Shown, QStringList{});
    QCOMPARE(m_sandbox.LiveTasks(), 0);
}

void TestOrvDirectExport::journal() {
    TGLExportRun run({Source(Select(34, {10091})), TQBGLExportParam()});
    TRunContext context = Context();
    QVERIFY(!run.RunGLExport(context).ReportText.isEmpty());
    QCOMPARE(Transactions(QStringLiteral("JournalEntry")), 1);
    QCOMPARE(m_dialogs.Shown, QStringList{"information: Orvane Journal Export completed: 1 journal "
                                          "entry added, 0 already existed"});
    QCOMPARE(m_waits->Message, QStringLiteral("Please wait while Orvane generates GL Report"));
    QCOMPARE(m_sandbox.LiveTasks(), 0);
    QCOMPARE(m_sandbox.Sessions(), 0);
}

QTEST_GUILESS_MAIN(TestOrvDirectExport)
#include "tst_orvdirectexport.moc"
