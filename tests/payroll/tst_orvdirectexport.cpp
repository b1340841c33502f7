// The direct tab end to end: the export runs fetch their reports from the
// sandbox payroll service through the direct report source and export them
// into a sandbox QuickBooks company made from the same demo data.
#include "OrvTestSupport.h"
#include "RecordingLogSink.h"
#include "ScriptedUserDialogs.h"

#include "base/RegionalSettings.h"
#include "base/vlxErrorDisplay.h"
#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "export/ChecksExportRun.h"
#include "export/GLExportRun.h"
#include "payroll/OrvDirectReportSource.h"
#include "payroll/OrvPayrollLists.h"

#include <QtTest>

using namespace orvtest;

namespace {

// The direct tab of a page.
class TDirectInputs : public IChecksRunInputs, public IGLRunInputs {
public:
    IDirectReportSource* Source = nullptr;
    int Choice = crcEmployeeChecks;
    TQBChecksExportParam ChecksOptions;
    TQBGLExportParam GLOptions;

    TReportSourceTab SourceTab() const override { return rstDirectConnection; }
    QString FileName() const override { return QString(); }
    IDirectReportSource* DirectSource() const override { return Source; }
    int CheckKindChoice() const override { return Choice; }
    TQBChecksExportParam ChecksExportParam() const override { return ChecksOptions; }
    TQBGLExportParam GLExportParam() const override { return GLOptions; }
};

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
    std::unique_ptr<TOrvDirectReportSource> Source(const TOrvPayrollsDef& selection);
    int Transactions(const QString& type);

    TSandboxService m_sandbox;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_companyFile;
    std::unique_ptr<TRecordingLogger> m_log;
    std::unique_ptr<TRegionalSettingsOverride> m_us;
    TScriptedUserDialogs m_dialogs;
    std::vector<std::unique_ptr<TScriptedWaitWindow>> m_windows;
    std::function<void(int)> m_onWindow; // called with the window's index
    QStringList m_displayed;
};

void TestOrvDirectExport::initTestCase() {
    SetQBRequestProcessorFactory(&CreateSandboxRequestProcessor);
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
    m_us = std::make_unique<TRegionalSettingsOverride>(TRegionalSettings());
    m_dialogs = TScriptedUserDialogs();
    m_windows.clear();
    m_onWindow = nullptr;
    m_displayed.clear();
    SetErrorDisplay([this](const QString& message) { m_displayed << message; });
}

void TestOrvDirectExport::cleanup() {
    QCoreApplication::processEvents();
    SetErrorDisplay(nullptr);
    m_windows.clear();
    m_us.reset();
    m_log.reset();
    m_dir.reset();
}

TOrvPayrollsDef TestOrvDirectExport::Select(qint32 coNbr, const QList<qint32>& prNbrs) {
    TOrvPayrollLists lists(m_sandbox.Environment().Redirection);
    TNoProgress progress;
    lists.LoadPayrollList(m_sandbox.Param(), m_log->LoggerPtr(), progress, QDate(2024, 1, 1),
                          QDate(2024, 12, 31), m_sandbox.Environment());
    const TOrvPayrollsDef selection = lists.SelectByNumbers(coNbr, prNbrs);
    m_sandbox.Control(QStringLiteral("sandbox.reset"));
    return selection;
}

std::unique_ptr<TOrvDirectReportSource>
TestOrvDirectExport::Source(const TOrvPayrollsDef& selection) {
    TOrvDirectReportSourceServices services;
    services.ConnectionParam = [this] { return m_sandbox.Param(); };
    services.SelectedPayrolls = [selection] { return selection; };
    services.CreateWaitWindow = [this] {
        m_windows.push_back(std::make_unique<TScriptedWaitWindow>());
        if (m_onWindow)
            m_onWindow(int(m_windows.size()) - 1);
        return std::make_unique<TWindowRef>(*m_windows.back());
    };
    services.Environment = m_sandbox.Environment();
    services.Timings.StartDelayMs = 0;
    services.Timings.PollIntervalMs = 5;
    return std::make_unique<TOrvDirectReportSource>(m_log->LoggerPtr(), services);
}

int TestOrvDirectExport::Transactions(const QString& type) {
    TQBSandboxCompany company(m_companyFile, false);
    TSbTxnFilter filter;
    filter.Type = type;
    return int(company.Txns(filter).size());
}

void TestOrvDirectExport::employeeChecks() {
    auto source = Source(Select(34, {10091}));
    TDirectInputs inputs;
    inputs.Source = source.get();
    inputs.ChecksOptions.CashAccount = QStringLiteral("Payroll Checking");
    inputs.ChecksOptions.LiabilityAccount = QStringLiteral("Payroll Liabilities:Net Pay Clearing");
    inputs.ChecksOptions.IncludeDD = true;
    TChecksExportRun run(m_log->LoggerPtr(), inputs, m_dialogs, QBConnectionFactory([this] {
                             TQBConnectionConfig config;
                             config.Processor.CompanyFile = m_companyFile;
                             return config;
                         }()));
    run.RunChecksExport();
    QCOMPARE(int(run.Outcomes().size()), 1);
    QCOMPARE(run.Outcomes()[0].Result.ChecksAdded, 6);
    QCOMPARE(run.Outcomes()[0].Result.Errors, 0);
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
    auto source = Source(Select(34, {10121}));
    m_sandbox.Control(QStringLiteral("sandbox.setTaskDelay"),
                      [](IRpcFunction& f) { f.AddItem(3600); });
    m_onWindow = [this](int index) {
        if (index == 0) {
            TScriptedWaitWindow& window = *m_windows.back();
            window.Answers = {true};
            window.PressCancelWhen = [this] {
                return m_sandbox.CalledMethods().contains(
                    QStringLiteral("orv.taskQueue.isTaskFinished"));
            };
        } else {
            // The agency report is not held up.
            m_sandbox.Control(QStringLiteral("sandbox.setTaskDelay"),
                              [](IRpcFunction& f) { f.AddItem(0); });
        }
    };
    TDirectInputs inputs;
    inputs.Source = source.get();
    inputs.Choice = crcAllChecks;
    inputs.ChecksOptions.CashAccount = QStringLiteral("Payroll Checking");
    inputs.ChecksOptions.LiabilityAccount = QStringLiteral("Payroll Liabilities:Net Pay Clearing");
    TQBConnectionConfig config;
    config.Processor.CompanyFile = m_companyFile;
    TChecksExportRun run(m_log->LoggerPtr(), inputs, m_dialogs, QBConnectionFactory(config));
    run.RunChecksExport();
    QCOMPARE(int(m_windows.size()), 2);
    QCOMPARE(m_windows[0]->Message,
             QStringLiteral("Please wait while Orvane generates Employee Checks report"));
    QCOMPARE(m_windows[1]->Message,
             QStringLiteral("Please wait while Orvane generates Agency Checks report"));
    // Only the agency kind reached QuickBooks; each fetch logged in anew.
    QCOMPARE(int(run.Outcomes().size()), 1);
    QCOMPARE(run.Outcomes()[0].RunName, QStringLiteral("Orvane Agency Checks Export"));
    QCOMPARE(run.Outcomes()[0].Result.ChecksAdded, 3);
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
    auto source = Source(Select(34, {10091}));
    m_sandbox.Control(QStringLiteral("sandbox.setNextReport"), [](IRpcFunction& f) {
        f.AddItem(QStringLiteral("ERROR"));
        f.AddItem(QStringLiteral("Payroll 10091 is locked"));
    });
    TDirectInputs inputs;
    inputs.Source = source.get();
    inputs.ChecksOptions.CashAccount = QStringLiteral("Payroll Checking");
    inputs.ChecksOptions.LiabilityAccount = QStringLiteral("Payroll Liabilities:Net Pay Clearing");
    TQBConnectionConfig config;
    config.Processor.CompanyFile = m_companyFile;
    TChecksExportRun run(m_log->LoggerPtr(), inputs, m_dialogs, QBConnectionFactory(config));
    run.RunChecksExport();
    QCoreApplication::processEvents();
    QCOMPARE(int(run.Outcomes().size()), 0);
    QCOMPARE(Transactions(QStringLiteral("Check")), 0);
    QCOMPARE(m_displayed, QStringList{"Report finished with errors: Payroll 10091 is locked"});
    QCOMPARE(m_dialogs.Shown, QStringList{});
    QCOMPARE(m_sandbox.LiveTasks(), 0);
}

void TestOrvDirectExport::journal() {
    auto source = Source(Select(34, {10091}));
    TDirectInputs inputs;
    inputs.Source = source.get();
    TQBConnectionConfig config;
    config.Processor.CompanyFile = m_companyFile;
    TGLExportRun run(m_log->LoggerPtr(), inputs, m_dialogs, QBConnectionFactory(config));
    run.RunGLExport();
    QVERIFY(!run.ReportText().isEmpty());
    QCOMPARE(Transactions(QStringLiteral("JournalEntry")), 1);
    QCOMPARE(m_dialogs.Shown, QStringList{"information: Orvane Journal Export completed"});
    QCOMPARE(m_windows.front()->Message,
             QStringLiteral("Please wait while Orvane generates GL Report"));
    QCOMPARE(m_sandbox.LiveTasks(), 0);
    QCOMPARE(m_sandbox.Sessions(), 0);
}

QTEST_GUILESS_MAIN(TestOrvDirectExport)
#include "tst_orvdirectexport.moc"
