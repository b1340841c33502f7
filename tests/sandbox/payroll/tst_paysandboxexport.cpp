// The sandbox payroll service's reports exported into the sandbox QuickBooks
// company made from the same demo description: unmarked payrolls, those of
// generated client companies too, export without an error, the marked ones
// fail on exactly their deliberate fault.
#include "PaySandboxReport.h"
#include "RecordingLogSink.h"
#include "base/RegionalSettings.h"
#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "export/QBChecksExport.h"
#include "export/QBJournalExport.h"
#include "quickbooks/QBSessionManager.h"
#include "reports/OrvGLParser.h"
#include "reports/orvchecksparser.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QString DemoDir() {
    return qEnvironmentVariable("ORVQ_SOURCE_DIR") + QStringLiteral("/data/demo");
}

} // namespace

class TestPaySandboxExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void checksExport_data();
    void checksExport();
    void voidPayrollVoidsTheChecksOfTheWeekBefore();
    void journalExport_data();
    void journalExport();

private:
    QString Report(const QStringList& args);
    std::unique_ptr<TQBConnection> Connect();
    int JournalEntries();

    std::unique_ptr<QTemporaryDir> m_dir;
    TQBProcessorConfig m_config;
    std::unique_ptr<TRecordingLogger> m_log;
};

void TestPaySandboxExport::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_config.Factory = &CreateSandboxRequestProcessor;
    m_config.CompanyFile = m_dir->filePath(QStringLiteral("company.qbsb"));
    m_config.DemoDataDir = DemoDir();
    CreateSandboxCompany(m_config.CompanyFile, DemoDir());
    m_log = std::make_unique<TRecordingLogger>();
}

void TestPaySandboxExport::cleanup() {
    m_log.reset();
    m_dir.reset();
}

QString TestPaySandboxExport::Report(const QStringList& args) {
    QString error;
    const QString text = SandboxReport(args, &error);
    if (!error.isEmpty())
        qWarning("sandbox report %s failed: %s", qPrintable(args.join(u' ')), qPrintable(error));
    return text;
}

std::unique_ptr<TQBConnection> TestPaySandboxExport::Connect() {
    return std::make_unique<TQBConnection>(m_log->LoggerPtr(), CreateQBSessionManager(m_config),
                                           QString());
}

int TestPaySandboxExport::JournalEntries() {
    TQBSandboxCompany company(m_config.CompanyFile, false);
    TSbTxnFilter filter;
    filter.Type = QStringLiteral("JournalEntry");
    return int(company.Txns(filter).size());
}

void TestPaySandboxExport::checksExport_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("payrolls");
    QTest::addColumn<bool>("includeDD");
    QTest::addColumn<int>("added");
    QTest::addColumn<int>("errors");
    QTest::addColumn<QString>("failing");
    // 10091: six employees, two paid by direct deposit; 10031 holds a manual
    // check; 10121 the agency checks of March; 10062 pays an unknown employee.
    QTest::newRow("employee checks") << "1910"
                                     << "10091" << true << 6 << 0 << QString();
    QTest::newRow("without direct deposits") << "1910"
                                             << "10091" << false << 4 << 0 << QString();
    QTest::newRow("two payrolls") << "1910"
                                  << "10091,10101" << true << 12 << 0 << QString();
    QTest::newRow("manual check") << "1910"
                                  << "10031" << true << 6 << 0 << QString();
    QTest::newRow("agency checks") << "1911"
                                   << "10121" << true << 3 << 0 << QString();
    QTest::newRow("unknown employee") << "1910"
                                      << "10062" << true << 6 << 1 << "Whitfield";
    QTest::newRow("generated client company")
        << "1910"
        << "1010091 --companies 1" << true << 6 << 0 << QString();
}

void TestPaySandboxExport::checksExport() {
    QFETCH(QString, report);
    QFETCH(QString, payrolls);
    QFETCH(bool, includeDD);
    QFETCH(int, added);
    QFETCH(int, errors);
    QFETCH(QString, failing);
    const TCheckRecords records = ParseChecksReport(
        m_log->Logger(), Report(QStringList{report, "--payrolls"} + payrolls.split(u' ')),
        rkNone);
    TQBChecksExportParam options;
    options.CashAccount = QStringLiteral("Payroll Checking");
    options.LiabilityAccount = QStringLiteral("Payroll Liabilities:Net Pay Clearing");
    options.IncludeDD = includeDD;

    const TChecksExportResult first = ExportChecks(*Connect(), records, options);
    QCOMPARE(first.ChecksAdded, added);
    QCOMPARE(first.Errors, errors);
    QCOMPARE(first.DepositsAdded + first.ChecksVoided, 0);
    const auto logged = m_log->Sink().OfKind(lmException);
    QCOMPARE(int(logged.size()), errors);
    if (errors > 0)
        QVERIFY2(logged[0].Message.contains(failing), qPrintable(logged[0].Message));

    // Exported again, every check is recognised: numbers are unique and the
    // payees, dates and amounts match what QuickBooks holds.
    const TChecksExportResult again = ExportChecks(*Connect(), records, options);
    QCOMPARE(again.ChecksAdded, 0);
    QCOMPARE(again.ChecksExisted, added);
    QCOMPARE(again.Errors, errors);
}

void TestPaySandboxExport::voidPayrollVoidsTheChecksOfTheWeekBefore() {
    TQBChecksExportParam options;
    options.CashAccount = QStringLiteral("Payroll Checking");
    options.LiabilityAccount = QStringLiteral("Payroll Liabilities:Net Pay Clearing");
    options.IncludeDD = true;
    auto exportPayroll = [&](const char* payroll) {
        return ExportChecks(*Connect(),
                            ParseChecksReport(m_log->Logger(),
                                              Report({"1910", "--payrolls", payroll}), rkEmployeeChecks),
                            options);
    };
    // 10032, marked "Void", takes back a paper check and a direct deposit of 10021.
    QCOMPARE(exportPayroll("10021").ChecksAdded, 6);
    const TChecksExportResult voided = exportPayroll("10032");
    QCOMPARE(voided.ChecksVoided, 2);
    QCOMPARE(voided.Errors + voided.DepositsAdded, 0);
    QCOMPARE(exportPayroll("10032").ChecksAlreadyVoided, 2);
}

void TestPaySandboxExport::journalExport_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("classes");
    QTest::addColumn<QString>("missing");
    QTest::newRow("plain journal") << QStringList{"--payrolls", "10091"} << false << QString();
    QTest::newRow("fixed width") << QStringList{"--payrolls", "10091", "--format", "2"} << false
                                 << QString();
    QTest::newRow("void payroll") << QStringList{"--payrolls", "10032"} << false << QString();
    QTest::newRow("manual checks excluded")
        << QStringList{"--payrolls", "10031", "--exclude-manual-checks"} << false << QString();
    QTest::newRow("billing split into classes")
        << QStringList{"--payrolls", "10091", "--billing-by-dbdt"} << true << QString();
    QTest::newRow("generated client company")
        << QStringList{"--payrolls", "1010091", "--companies", "1", "--billing-by-dbdt"} << true
        << QString();
    QTest::newRow("marked payroll, billing not split")
        << QStringList{"--payrolls", "10122"} << false << QString();
    QTest::newRow("marked payroll, missing class")
        << QStringList{"--payrolls", "10122", "--billing-by-dbdt"} << true << "Catering";
}

void TestPaySandboxExport::journalExport() {
    QFETCH(QStringList, options);
    QFETCH(bool, classes);
    QFETCH(QString, missing);
    TQBGLExportParam param;
    if (classes) {
        param.GLTagParsing = gtpAssignClass;
        param.DelimiterInGLTag = QStringLiteral("-");
    }
    const TGLRecordArray records =
        ParseGLJournal(m_log->Logger(), Report(QStringList{"348"} + options), param);
    QVERIFY(!records.empty());

    auto qb = Connect();
    const bool valid = ValidateJournal(*qb, records, param);
    QCOMPARE(valid, missing.isEmpty());
    if (!valid) {
        const auto errors = m_log->Sink().OfKind(lmError);
        QVERIFY(!errors.empty());
        QVERIFY2(errors[0].Message.contains(missing), qPrintable(errors[0].Message));
        return;
    }
    ExportJournal(*qb, records, param);
    qb.reset();
    QCOMPARE(JournalEntries(), 1);
}

QTEST_GUILESS_MAIN(TestPaySandboxExport)
#include "tst_paysandboxexport.moc"
