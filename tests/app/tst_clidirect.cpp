// orvq-cli with the direct source: the commands in process against the
// sandbox payroll service over real HTTPS, exporting into a temp sandbox
// company; and the built program once, as a user runs it after set-up.
#include "CliDirect.h"
#include "OrvTestSupport.h"
#include "PaySandboxServer.h"
#include "RecordingLogSink.h"
#include "TestSupport.h"

#include "base/RegionalSettings.h"
#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "settings/QBDecl.h"
#include "settings/vlxPlatformPaths.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using orvtest::TSandboxService;

namespace {

const QStringList DemoAccounts{u"--cash-account"_s, u"Payroll Checking"_s, u"--liability-account"_s,
                               u"Payroll Liabilities:Net Pay Clearing"_s};

const QString DuplicateQuestion =
    u"Journal Entry with Date = 3/8/2024 already exists. You may be creating a duplicate "
    u"entry.Continue?"_s;

QString Summary(const QString& kind, int added, int existed) {
    return Format(u"Orvane %s Checks Export successfully completed: %d checks added, 0 checks "
                  u"voided, 0 deposits added, %d checks already existed, 0 checks were already "
                  u"voided, 0 deposits already existed"_s,
                  {kind, added, existed});
}

// The service's redirection with a user log file and a run ledger of the
// test's own.
class TTestRedirection : public IRedirection {
public:
    TTestRedirection(IRedirectionPtr inner, QString logFile)
        : m_inner(std::move(inner)), m_logFile(std::move(logFile)) {}
    QString GetDirectory(const QString& alias) const override {
        return m_inner->GetDirectory(alias);
    }
    QString GetFileName(const QString& alias) const override {
        if (alias == u"Ledger")
            return QFileInfo(m_logFile).absolutePath() + u"/ledger.sqlite"_s;
        return alias == u"Log" ? m_logFile : m_inner->GetFileName(alias);
    }

private:
    IRedirectionPtr m_inner;
    QString m_logFile;
};

// One orvq-cli in process with its own settings, a sandbox company and the
// sandbox service's certificates as the program's redirection.
struct TCli {
    QTemporaryDir Dir;
    QString OutText;
    QString ErrText;
    QTextStream Out{&OutText};
    QTextStream Err{&ErrText};
    IztSettingsPtr Settings;
    QString Company;
    const TSandboxService& Service;
    std::optional<QString> Password = u"demo"_s;
    std::function<std::optional<QString>(const QString&)> AskPassword;
    std::function<std::shared_ptr<void>(std::function<void()>)> WatchInterrupt;
    bool RedirectionMissing = false;

    std::unique_ptr<TAppCore> Core;

    explicit TCli(const TSandboxService& service) : Service(service) {
        Settings = std::make_shared<TztSettingsRegistry>(
            TztSettingsHive::File(Dir.filePath(u"orvq.ini"_s)), QString());
        Company = Dir.filePath(u"company.sqlite"_s);
        TAppCoreOptions options;
        options.Settings = Settings;
        options.QBProcessor = &CreateSandboxRequestProcessor;
        options.Redirection = [this]() -> IRedirectionPtr {
            if (RedirectionMissing)
                throw ERedirectionFileNotFound(u"Cannot find redirection file for orvq"_s);
            return std::make_shared<TTestRedirection>(Service.Environment().Redirection,
                                                      Dir.filePath(u"OrvQ.log"_s));
        };
        Core = std::make_unique<TAppCore>(options);
    }
    // Made when a command or a check needs it: most usage errors never do.
    void EnsureCompany() const {
        if (!QFile::exists(Company))
            CreateSandboxCompany(Company,
                                 qEnvironmentVariable("ORVQ_SOURCE_DIR") + u"/data/demo"_s);
    }

    // The service's address and the user demo, as flags.
    QStringList Connection() const {
        return {u"--server"_s, u"127.0.0.1"_s,
                u"--port"_s,   QString::number(Service.Param().APIServerPort),
                u"--user"_s,   u"demo"_s};
    }

    int Run(const QStringList& args) {
        OutText.clear();
        ErrText.clear();
        TCliEnvironment env{Out, Err, nullptr, *Core};
        env.PasswordVariable = Password;
        env.AskPassword = AskPassword;
        env.WatchInterrupt = WatchInterrupt;
        env.ReportPollIntervalMs = 5;
        const int code = RunOrvqCli(args, env);
        Out.flush();
        Err.flush();
        return code;
    }
    // checks or gl --direct on the sandbox service and company; the demo
    // company 34 unless the args name another.
    int Direct(const QString& command, const QStringList& args) {
        EnsureCompany();
        QStringList all{command, u"--direct"_s, u"--company-file"_s, Company};
        all += Connection() + args;
        if (!args.contains(u"--company"_s))
            all << u"--company"_s << u"34"_s;
        if (command == u"checks")
            all += DemoAccounts;
        return Run(all);
    }
    QStringList OutLines() const { return OutText.split(u'\n', Qt::SkipEmptyParts); }
    int Transactions(const QString& type) const {
        EnsureCompany();
        TQBSandboxCompany company(Company, false);
        TSbTxnFilter filter;
        filter.Type = type;
        return int(company.Txns(filter).size());
    }
};

} // namespace

class TestCliDirect : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void checksThenEveryCheckExists();
    void journalThenDuplicateQuestion();
    void periodTakesEveryPayrollOfTheCompany();
    void problemPayrollsFail_data();
    void problemPayrollsFail();
    void serviceFailures_data();
    void serviceFailures();
    void cancelDeletesTheTask();
    void missingRedirection();
    void password_data();
    void password();
    void usageErrors_data();
    void usageErrors();
    void payrollList();
    void bureauOverTheMap();
    void bureauReportCheckedFirst();
    void help_data();
    void help();
    void builtProgramAfterSetUp();
    void builtProgramCancelsOnCtrlC();

private:
    TSandboxService m_service;
};

void TestCliDirect::initTestCase() {
    umask(022);
    QString error;
    if (!m_service.Start(&error))
        QSKIP(qPrintable(error));
}

void TestCliDirect::init() {
    QVERIFY(!m_service.Control(u"sandbox.reset"_s)->IsError());
}

void TestCliDirect::cleanup() {
    // Whatever happened, the commands leave nothing behind on the service.
    QCOMPARE(m_service.LiveTasks(), 0);
    QCOMPARE(m_service.Sessions(), 0);
}

void TestCliDirect::checksThenEveryCheckExists() {
    TCli cli(m_service);
    // 10121 is the last Friday of March: employee and agency checks.
    QCOMPARE(cli.Direct(u"checks"_s, {u"--payrolls"_s, u"10121"_s}), int(cecSuccess));
    QCOMPARE(cli.ErrText, QString());
    QVERIFY(cli.OutText.contains(u"Please wait while Orvane generates Employee Checks report\n"_s));
    QVERIFY(cli.OutText.contains(u"Internal Pr#: 10121\n"_s));
    QCOMPARE(cli.OutLines().mid(cli.OutLines().size() - 2),
             QStringList({Summary(u"Employee"_s, 4, 0), Summary(u"Agency"_s, 3, 0)}));
    QCOMPARE(cli.Transactions(u"Check"_s), 7);

    QCOMPARE(cli.Direct(u"checks"_s, {u"--payrolls"_s, u"10121"_s, u"--kind"_s, u"agency"_s}),
             int(cecSuccess));
    QCOMPARE(cli.OutLines().last(), Summary(u"Agency"_s, 0, 3));
    QVERIFY(!cli.OutText.contains(u"Employee Checks"_s));
    QCOMPARE(cli.Direct(u"checks"_s, {u"--payrolls"_s, u"10121"_s, u"--kind"_s, u"employee"_s}),
             int(cecSuccess));
    QCOMPARE(cli.OutLines().last(), Summary(u"Employee"_s, 0, 4));
    QCOMPARE(cli.Transactions(u"Check"_s), 7);
}

void TestCliDirect::journalThenDuplicateQuestion() {
    TCli cli(m_service);
    const QStringList payroll{u"--payrolls"_s, u"10091"_s};
    QCOMPARE(cli.Direct(u"gl"_s, payroll), int(cecSuccess));
    QVERIFY2(cli.OutText.endsWith(u"\nOrvane Journal Export completed: 1 journal entry added, 0 already existed\n"_s),
             qPrintable(cli.OutText));
    QCOMPARE(cli.ErrText, QString());
    QCOMPARE(cli.Transactions(u"JournalEntry"_s), 1);

    // Nobody to answer: No, and the run fails.
    QCOMPARE(cli.Direct(u"gl"_s, payroll), int(cecFailed));
    QVERIFY2(cli.OutText.contains(DuplicateQuestion + u" [y/N] (no input: No)\n"_s),
             qPrintable(cli.OutText));
    QCOMPARE(cli.ErrText, u"Error: Operation was aborted by user\n"_s);
    QCOMPARE(cli.Direct(u"gl"_s, payroll + QStringList{u"--yes"_s}), int(cecSuccess));
    QCOMPARE(cli.Transactions(u"JournalEntry"_s), 2);
}

void TestCliDirect::periodTakesEveryPayrollOfTheCompany() {
    TCli cli(m_service);
    // The week of 3/8/2024: the regular run 10091 and the supplemental 10092.
    QCOMPARE(cli.Direct(u"gl"_s, {u"--from"_s, u"2024-03-04"_s, u"--to"_s, u"3/10/2024"_s}),
             int(cecSuccess));
    QVERIFY2(cli.OutText.contains(u"Internal Pr#: 10091, 10092\n"_s), qPrintable(cli.OutText));
    QCOMPARE(cli.Transactions(u"JournalEntry"_s), 1);

    // Numbers outside the period given are not taken.
    QCOMPARE(cli.Direct(u"gl"_s, {u"--payrolls"_s, u"10101"_s, u"--from"_s, u"2024-03-04"_s,
                                  u"--to"_s, u"2024-03-10"_s}),
             int(cecFailed));
    QCOMPARE(cli.ErrText,
             u"Error: Payroll 10101 is not among the payrolls of company 34 in the period\n"_s);
    QCOMPARE(cli.Direct(u"gl"_s, {u"--from"_s, u"2023-03-04"_s, u"--to"_s, u"2023-03-10"_s}),
             int(cecFailed));
    QCOMPARE(cli.ErrText,
             u"Error: Company 34 has no payroll with a check date from 3/4/2023 to 3/10/2023\n"_s);
    QCOMPARE(cli.Transactions(u"JournalEntry"_s), 1);
}

void TestCliDirect::problemPayrollsFail_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown employee")
        << u"checks"_s << QStringList{u"--payrolls"_s, u"10062"_s, u"--kind"_s, u"employee"_s}
        << u"Whitfield"_s
        << u"Error: Orvane Employee Checks Export partially completed: 1 error occured"_s;
    QTest::newRow("missing class") << u"gl"_s << QStringList{u"--payrolls"_s,
                                                             u"10122"_s,
                                                             u"--split-billing"_s,
                                                             u"--tag-parsing"_s,
                                                             u"class"_s,
                                                             u"--delimiter"_s,
                                                             u"-"_s}
                                   << u"Catering"_s << u"Error: Orvane Journal validation failed"_s;
}

void TestCliDirect::problemPayrollsFail() {
    QFETCH(QString, command);
    QFETCH(QStringList, args);
    QFETCH(QString, logged);
    QFETCH(QString, error);
    TCli cli(m_service);
    QCOMPARE(cli.Direct(command, args), int(cecFailed));
    QVERIFY2(cli.OutText.contains(logged), qPrintable(cli.OutText));
    QVERIFY2(cli.ErrText.startsWith(error), qPrintable(cli.ErrText));
    QCOMPARE(cli.Transactions(u"JournalEntry"_s), 0);
}

void TestCliDirect::serviceFailures_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("failReport");
    QTest::addColumn<QString>("error");
    const QStringList payroll{u"--payrolls"_s, u"10091"_s};
    const QString wrongPassword =
        u"Error: Orvane server returned error: (800) Invalid user name, domain or password. \n"_s;
    QTest::newRow("wrong password, checks")
        << u"checks"_s << payroll << u"demo2"_s << false << wrongPassword;
    QTest::newRow("wrong password, gl") << u"gl"_s << payroll << u"x"_s << false << wrongPassword;
    QTest::newRow("unknown company")
        << u"gl"_s << QStringList{u"--payrolls"_s, u"10091"_s, u"--company"_s, u"99"_s} << u"demo"_s
        << false << u"Error: Company 99 is not in the Orvane company list\n"_s;
    QTest::newRow("company of another client")
        << u"gl"_s << QStringList{u"--payrolls"_s, u"10091"_s, u"--company"_s, u"51"_s} << u"demo"_s
        << false
        << u"Error: Payroll 10091 is not among the payrolls of company 51 in the period\n"_s;
    QTest::newRow("report task failed, checks")
        << u"checks"_s << payroll + QStringList{u"--kind"_s, u"employee"_s} << u"demo"_s << true
        << u"Error: Report finished with errors: Payroll 10091 is locked\n"_s;
    QTest::newRow("report task failed, gl")
        << u"gl"_s << payroll << u"demo"_s << true
        << u"Error: Report finished with errors: Payroll 10091 is locked\n"_s;
}

void TestCliDirect::serviceFailures() {
    QFETCH(QString, command);
    QFETCH(QStringList, args);
    QFETCH(QString, password);
    QFETCH(bool, failReport);
    QFETCH(QString, error);
    TCli cli(m_service);
    cli.Password = password;
    if (failReport)
        m_service.Control(u"sandbox.setNextReport"_s, [](IRpcFunction& f) {
            f.AddItem(u"ERROR"_s);
            f.AddItem(u"Payroll 10091 is locked"_s);
        });
    QCOMPARE(cli.Direct(command, args), int(cecFailed));
    QCOMPARE(cli.ErrText, error);
    QCOMPARE(cli.Transactions(u"Check"_s), 0);
    QCOMPARE(cli.Transactions(u"JournalEntry"_s), 0);
}

void TestCliDirect::cancelDeletesTheTask() {
    TCli cli(m_service);
    m_service.Control(u"sandbox.setTaskDelay"_s, [](IRpcFunction& f) { f.AddItem(3600); });
    int watched = 0;
    // Ctrl+C as soon as the wait runs.
    cli.WatchInterrupt = [&watched](std::function<void()> cancel) -> std::shared_ptr<void> {
        ++watched;
        QTimer::singleShot(20, cancel);
        return nullptr;
    };
    QCOMPARE(cli.Direct(u"gl"_s, {u"--payrolls"_s, u"10091"_s}), int(cecFailed));
    QCOMPARE(watched, 1);
    QVERIFY(
        cli.OutText.contains(u"Please wait while Orvane generates GL Report (Ctrl+C cancels)\n"_s));
    QVERIFY2(cli.OutText.contains(u"Warning: User cancelled operation\n"_s),
             qPrintable(cli.OutText));
    QCOMPARE(cli.ErrText, u"Error: The Orvane journal was not fetched\n"_s);
    QVERIFY(m_service.CalledMethods().contains(u"orv.taskQueue.deleteTask"_s));
    QCOMPARE(cli.Transactions(u"JournalEntry"_s), 0);
}

void TestCliDirect::missingRedirection() {
    TCli cli(m_service);
    cli.RedirectionMissing = true;
    QCOMPARE(cli.Direct(u"gl"_s, {u"--payrolls"_s, u"10091"_s}), int(cecFailed));
    QCOMPARE(cli.ErrText, u"Error: Cannot find redirection file for orvq\n"_s);
    // Logged in the steps that needed it: the user log file at the start,
    // then the payroll lists.
    QCOMPARE(cli.OutText.count(u"Cannot find redirection file"_s), 2);
    QVERIFY(cli.OutText.contains(u"Choosing Orvane payrolls"_s));
    QVERIFY(!m_service.CalledMethods().contains(u"orv.sb.connect"_s));
}

void TestCliDirect::password_data() {
    QTest::addColumn<bool>("saved");       // demo's password saved with the connection
    QTest::addColumn<QString>("variable"); // ORVQ_PASSWORD; null: not set
    QTest::addColumn<QString>("asked");    // the terminal's answer; null: no terminal
    QTest::addColumn<QStringList>("flags");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("prompt"); // the question asked, if any
    QTest::newRow("saved") << true << QString() << QString() << QStringList() << int(cecSuccess)
                           << QString();
    QTest::newRow("variable before saved")
        << true << u"wrong"_s << QString() << QStringList() << int(cecFailed) << QString();
    QTest::newRow("asked at the terminal") << false << QString() << u"demo"_s << QStringList()
                                           << int(cecSuccess) << u"Orvane password of demo: "_s;
    QTest::newRow("saved one not for another user")
        << true << QString() << u"clerk"_s << QStringList{u"--user"_s, u"clerk@harbor"_s}
        << int(cecSuccess) << u"Orvane password of clerk@harbor: "_s;
    QTest::newRow("none and no terminal")
        << false << QString() << QString() << QStringList() << int(cecUsage) << QString();
}

void TestCliDirect::password() {
    QFETCH(bool, saved);
    QFETCH(QString, variable);
    QFETCH(QString, asked);
    QFETCH(QStringList, flags);
    QFETCH(int, exitCode);
    QFETCH(QString, prompt);
    TCli cli(m_service);
    TOrvAPIConnectionParam param = m_service.Param();
    param.Password = saved ? u"demo"_s : QString();
    param.SavePassword = saved;
    SaveConnectionParam(param, *cli.Settings, QString());
    cli.Password = variable.isNull() ? std::nullopt : std::optional<QString>(variable);
    cli.EnsureCompany();
    QStringList prompts;
    if (!asked.isNull())
        cli.AskPassword = [&](const QString& question) -> std::optional<QString> {
            prompts << question;
            return asked;
        };
    QCOMPARE(cli.Run(QStringList{u"gl"_s, u"--direct"_s, u"--company-file"_s, cli.Company,
                                 u"--company"_s, u"34"_s, u"--payrolls"_s, u"10091"_s} +
                     flags),
             exitCode);
    QCOMPARE(prompts, prompt.isNull() ? QStringList() : QStringList{prompt});
    if (exitCode == cecUsage)
        QVERIFY2(cli.ErrText.contains(u"set the environment variable ORVQ_PASSWORD"_s),
                 qPrintable(cli.ErrText));
    // The flags and the answers never change the saved connection.
    TOrvAPIConnectionParam after;
    TRecordingLogger log;
    LoadConnectionParam(log.Logger(), *cli.Settings, QString(), after);
    QCOMPARE(after, param);
}

void TestCliDirect::bureauOverTheMap() {
    TCli cli(m_service);
    cli.EnsureCompany();
    const QStringList add{
        u"map"_s,    u"add"_s,    u"--company"_s, u"34"_s,          u"--company-file"_s,
        cli.Company, u"--kind"_s, u"employee"_s,  u"--include-dd"_s};
    QCOMPARE(cli.Run(add + QStringList{u"--cash-account"_s, u"Petty Cash Box"_s,
                                       u"--liability-account"_s, u"Payroll Liabilities"_s}),
             int(cecFailed));
    QVERIFY2(cli.ErrText.contains(u"the cash account \"Petty Cash Box\" is not in the company "
                                  u"file"_s),
             qPrintable(cli.ErrText));
    QCOMPARE(cli.Run(add + DemoAccounts), int(cecSuccess));
    QCOMPARE(cli.Run({u"map"_s, u"list"_s}), int(cecSuccess));
    QVERIFY2(cli.OutText.startsWith(u"34  "_s + cli.Company +
                                    u"  company: Harbor Lane Bakery (demo)  cash: Payroll "
                                    u"Checking"_s) &&
                 cli.OutText.contains(u"  changed: "_s) && cli.OutText.contains(u" by "_s),
             qPrintable(cli.OutText));

    // 3/8/2024: the regular payroll and a supplemental one.
    const QString report = cli.Dir.filePath(u"bureau.html"_s);
    const QStringList bureau = QStringList{u"bureau"_s, u"--report"_s, report} + cli.Connection();
    const QByteArray before = testsupport::ReadFile(cli.Company);
    QCOMPARE(cli.Run(bureau + QStringList{u"--preview"_s, u"--from"_s, u"2024-03-08"_s, u"--to"_s,
                                          u"2024-03-08"_s}),
             int(cecSuccess));
    QVERIFY2(
        cli.OutText.contains(u"Preview, nothing was posted: 1 company, 2 payrolls to export, "_s),
        qPrintable(cli.OutText));
    QVERIFY(testsupport::ReadFile(cli.Company) == before);
    QVERIFY(testsupport::ReadFile(report).contains("<h1>Preview of the Orvane bureau run"));
    QCOMPARE(
        cli.Run(bureau + QStringList{u"--from"_s, u"2024-03-08"_s, u"--to"_s, u"2024-03-08"_s}),
        int(cecSuccess));
    QVERIFY2(cli.OutText.contains(u"1 company, 2 payrolls exported, "_s),
             qPrintable(cli.OutText));
    QVERIFY(cli.OutText.contains(u"; nothing needs attention\nReport: "_s));
    QCOMPARE(testsupport::OthersAccess(report), u"0"_s);
    QFile html(report);
    QVERIFY(html.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(html.readAll()).contains(u"nothing needs attention"_s));

    // A company file QuickBooks cannot open fails the company and the command.
    QVERIFY(QFile::remove(cli.Company));
    QCOMPARE(
        cli.Run(bureau + QStringList{u"--from"_s, u"2024-03-15"_s, u"--to"_s, u"2024-03-15"_s}),
        int(cecFailed));
    QVERIFY2(cli.OutText.contains(u"; needs attention: 34 "_s), qPrintable(cli.OutText));
    QCOMPARE(cli.Run({u"map"_s, u"remove"_s, u"--company"_s, u"34"_s}), int(cecSuccess));
    QCOMPARE(cli.Run({u"map"_s, u"remove"_s, u"--company"_s, u"34"_s}), int(cecFailed));
}

// The report's folder is made; a report that cannot be written stops the
// run before anything is posted; a run that failed as a whole says so.
void TestCliDirect::bureauReportCheckedFirst() {
    TCli cli(m_service);
    const QStringList period{u"--from"_s, u"2024-03-08"_s, u"--to"_s, u"2024-03-08"_s};
    const QString report = cli.Dir.filePath(u"reports/weekly/bureau.html"_s);
    QCOMPARE(cli.Run(QStringList{u"bureau"_s, u"--report"_s, report} + period + cli.Connection()),
             int(cecFailed));
    QVERIFY2(cli.OutText.contains(u"; the run failed: The company map is empty"_s) &&
                 !cli.OutText.contains(u"nothing needs attention"_s),
             qPrintable(cli.OutText));
    QVERIFY(testsupport::ReadFile(report).contains("the run failed: The company map is empty"));

    cli.EnsureCompany();
    QCOMPARE(cli.Run(QStringList{u"map"_s, u"add"_s, u"--company"_s, u"34"_s, u"--company-file"_s,
                                 cli.Company, u"--kind"_s, u"employee"_s} +
                     DemoAccounts),
             int(cecSuccess));
    const QByteArray before = testsupport::ReadFile(cli.Company);
    // A file where the report's folder would be.
    const QString unwritable = cli.Company + u"/bureau.html"_s;
    QCOMPARE(
        cli.Run(QStringList{u"bureau"_s, u"--report"_s, unwritable} + period + cli.Connection()),
        int(cecFailed));
    QVERIFY2(cli.ErrText.startsWith(u"Error: The report cannot be written to "_s + unwritable),
             qPrintable(cli.ErrText));
    QVERIFY2(!cli.OutText.contains(u"Company 1 of 1"_s), qPrintable(cli.OutText));
    QVERIFY(testsupport::ReadFile(cli.Company) == before);
}

void TestCliDirect::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    const QStringList gl{u"gl"_s, u"--direct"_s, u"--company"_s, u"34"_s};
    const QStringList checks =
        QStringList{u"checks"_s, u"--direct"_s, u"--company"_s, u"34"_s} + DemoAccounts;
    const QStringList payroll{u"--payrolls"_s, u"10091"_s};
    QTest::newRow("checks file and direct")
        << checks + payroll + QStringList{u"--file"_s, u"x.txt"_s}
        << u"--file and --direct exclude each other"_s;
    QTest::newRow("gl file and direct") << gl + payroll + QStringList{u"--file"_s, u"x.txt"_s}
                                        << u"--file and --direct exclude each other"_s;
    QTest::newRow("password on the command line")
        << gl + payroll + QStringList{u"--password"_s, u"demo"_s}
        << u"a password is not taken from the command line"_s;
    QTest::newRow("kind without direct")
        << QStringList{u"checks"_s, u"--file"_s, u"x.txt"_s, u"--kind"_s, u"agency"_s}
        << u"--kind goes with --direct only"_s;
    QTest::newRow("server without direct")
        << QStringList{u"gl"_s, u"--file"_s, u"x.txt"_s, u"--server"_s, u"h"_s}
        << u"--server goes with --direct only"_s;
    QTest::newRow("unknown kind") << checks + payroll + QStringList{u"--kind"_s, u"both"_s}
                                  << u"--kind takes all, employee or agency, not \"both\""_s;
    QTest::newRow("no company") << QStringList{u"gl"_s, u"--direct"_s} + payroll
                                << u"the company is missing: --company CO_NBR"_s;
    QTest::newRow("no payrolls") << gl << u"the payrolls are missing"_s;
    QTest::newRow("bad payroll number") << gl + QStringList{u"--payrolls"_s, u"10091,x"_s}
                                        << u"--payrolls takes a positive whole number, not \"x\""_s;
    QTest::newRow("from without to")
        << gl + QStringList{u"--from"_s, u"2024-03-01"_s} << u"--from and --to go together"_s;
    QTest::newRow("bad date")
        << gl + QStringList{u"--from"_s, u"2024-02-30"_s, u"--to"_s, u"2024-03-01"_s}
        << u"--from takes a date (yyyy-mm-dd or 3/8/2024), not \"2024-02-30\""_s;
    QTest::newRow("period backwards")
        << gl + QStringList{u"--from"_s, u"2024-03-02"_s, u"--to"_s, u"2024-03-01"_s}
        << u"the period ends before it begins"_s;
    QTest::newRow("bureau without period")
        << QStringList{u"bureau"_s} << u"the period is missing: --from DATE --to DATE"_s;
    QTest::newRow("map without company")
        << QStringList{u"map"_s, u"add"_s, u"--company-file"_s, u"f"_s}
        << u"the Orvane company is missing: --company"_s;
    QTest::newRow("map unknown action")
        << QStringList{u"map"_s, u"show"_s} << u"list, add or remove, not \"show\""_s;
    QTest::newRow("bad port") << gl + payroll + QStringList{u"--port"_s, u"99999"_s}
                              << u"--port takes a number from 1 to 65535, not \"99999\""_s;
    QTest::newRow("bad poll interval")
        << gl + payroll + QStringList{u"--poll-interval"_s, u"0"_s}
        << u"--poll-interval takes a number of seconds from 1 to 3600"_s;
    QTest::newRow("no server saved") << gl + payroll + QStringList{u"--user"_s, u"demo"_s}
                                     << u"no Orvane server is saved; give one with --server HOST"_s;
    QTest::newRow("no user saved") << gl + payroll + QStringList{u"--server"_s, u"h"_s}
                                   << u"no Orvane user is saved; give one with --user NAME"_s;
    QTest::newRow("payrolls without period") << QStringList{u"payrolls"_s, u"--company"_s, u"34"_s}
                                             << u"the period is missing: --from DATE --to DATE"_s;
}

void TestCliDirect::usageErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    TCli cli(m_service);
    const int code = cli.Run(args);
    QVERIFY2(cli.ErrText.contains(error), qPrintable(cli.ErrText));
    QCOMPARE(code, int(cecUsage));
    QVERIFY(cli.ErrText.contains(u"Try 'orvq-cli "_s));
    QVERIFY(!m_service.CalledMethods().contains(u"orv.sb.connect"_s));
}

void TestCliDirect::payrollList() {
    TCli cli(m_service);
    const QStringList period{u"--from"_s, u"2024-03-01"_s, u"--to"_s, u"2024-03-08"_s};
    QCOMPARE(
        cli.Run(QStringList{u"payrolls"_s, u"--company"_s, u"34"_s} + period + cli.Connection()),
        int(cecSuccess));
    QCOMPARE(cli.OutLines(), (QStringList{
                                 u"Client 12 HLB Harbor Lane Bakery"_s,
                                 u"  Company 34 HLB1 Harbor Lane Bakery (demo)"_s,
                                 u"    Payroll 10081 3/1/2024 run 1 Regular Processed"_s,
                                 u"    Payroll 10091 3/8/2024 run 1 Regular Processed"_s,
                                 u"    Payroll 10092 3/8/2024 run 2 Supplemental Processed"_s,
                             }));
    // Every client and company.
    QCOMPARE(cli.Run(QStringList{u"payrolls"_s} + period + cli.Connection()), int(cecSuccess));
    QVERIFY(cli.OutText.contains(u"\nClient 19 SSD "_s));
    QVERIFY(cli.OutText.contains(u"\n  Company 51 SSD1 "_s));
    QCOMPARE(
        cli.Run(QStringList{u"payrolls"_s, u"--company"_s, u"77"_s} + period + cli.Connection()),
        int(cecFailed));
    QCOMPARE(cli.OutText, QString());
    QCOMPARE(cli.ErrText, u"Error: Company 77 is not in the Orvane company list\n"_s);
}

void TestCliDirect::help_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("texts");
    const QStringList service{u"--server HOST"_s, u"--port N"_s, u"--user NAME"_s,
                              u"ORVQ_PASSWORD"_s, u"never taken from the command line"_s};
    QTest::newRow("checks") << u"checks"_s << service + QStringList{u"--direct"_s,
                                                                    u"--kind all|employee|agency"_s,
                                                                    u"--company CO_NBR"_s,
                                                                    u"--payrolls N[,N...]"_s,
                                                                    u"--poll-interval S"_s,
                                                                    u"Ctrl+C"_s};
    QTest::newRow("gl") << u"gl"_s
                        << service + QStringList{u"--direct"_s, u"--company CO_NBR"_s,
                                                 u"--from DATE, --to DATE"_s,
                                                 u"--poll-interval S"_s};
    QTest::newRow("payrolls") << u"payrolls"_s
                              << service + QStringList{u"--company CO_NBR"_s,
                                                       u"--from DATE, --to DATE"_s};
}

void TestCliDirect::help() {
    QFETCH(QString, command);
    QFETCH(QStringList, texts);
    TCli cli(m_service);
    QCOMPARE(cli.Run({command, u"--help"_s}), int(cecSuccess));
    for (const QString& text : texts)
        QVERIFY2(cli.OutText.contains(text), qPrintable(text));
    QCOMPARE(cli.Run({u"--help"_s}), int(cecSuccess));
    QVERIFY(cli.OutText.contains(u"\n  "_s + command.leftJustified(10)));
}

// As the README has a user run it: the built orvq-cli, the shipped
// redirection file pointing at the build's certificates, a fresh home.
void TestCliDirect::builtProgramAfterSetUp() {
    const QString bin = QCoreApplication::applicationDirPath() + u"/../../bin"_s;
    if (!QFile::exists(bin + u"/orvq-cli"_s) || !QFile::exists(bin + u"/certs/client.pem"_s))
        QSKIP("orvq-cli or the sandbox certificates are not built");
    TPaySandboxServer server;
    QString error;
    QVERIFY2(server.Start({u"--certs"_s, bin + u"/certs"_s}, &error), qPrintable(error));
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home.path());
    env.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
    env.insert(u"XDG_DATA_HOME"_s, home.filePath(u"data"_s));
    env.insert(u"ORVQ_PASSWORD"_s, u"demo"_s);
    const QStringList connection{
        u"--server"_s,  u"127.0.0.1"_s, u"--port"_s,          QString::number(server.Port()),
        u"--user"_s,    u"demo"_s,      u"--poll-interval"_s, u"1"_s,
        u"--company"_s, u"34"_s,        u"--payrolls"_s,      u"10091"_s};
    const auto run = [&](const QStringList& args, QString* out) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home.path());
        process.start(bin + u"/orvq-cli"_s, args + connection);
        process.closeWriteChannel();
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        *out = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    };
    QString out;
    QCOMPARE(run({u"gl"_s, u"--direct"_s}, &out), 0);
    QVERIFY2(out.endsWith(u"\nOrvane Journal Export completed: 1 journal entry added, 0 already existed\n"_s), qPrintable(out));
    QCOMPARE(run(QStringList{u"checks"_s, u"--direct"_s, u"--kind"_s, u"employee"_s} + DemoAccounts,
                 &out),
             0);
    QVERIFY2(out.endsWith(Summary(u"Employee"_s, 4, 0) + u'\n'), qPrintable(out));
    // Both went into the company of the redirection file, made on first use.
    const QString company = home.filePath(u"data/OrvQ/company.sqlite"_s);
    QVERIFY(QFile::exists(company));
    TQBSandboxCompany qb(company, false);
    TSbTxnFilter filter;
    filter.Type = u"JournalEntry"_s;
    QCOMPARE(qb.Txns(filter).size(), size_t(1));
}

// The first Ctrl+C while a report is awaited cancels it: the server task is
// deleted, nothing is posted and the program ends with exit code 1.
void TestCliDirect::builtProgramCancelsOnCtrlC() {
#ifndef Q_OS_UNIX
    QSKIP("sends SIGINT");
#else
    const QString bin = QCoreApplication::applicationDirPath() + u"/../../bin"_s;
    if (!QFile::exists(bin + u"/orvq-cli"_s) || !QFile::exists(bin + u"/certs/client.pem"_s))
        QSKIP("orvq-cli or the sandbox certificates are not built");
    TPaySandboxServer server;
    QString error;
    QVERIFY2(server.Start({u"--certs"_s, bin + u"/certs"_s, u"--task-delay"_s, u"3600"_s}, &error),
             qPrintable(error));
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home.path());
    env.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
    env.insert(u"XDG_DATA_HOME"_s, home.filePath(u"data"_s));
    env.insert(u"ORVQ_PASSWORD"_s, u"demo"_s);
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(home.path());
    process.start(bin + u"/orvq-cli"_s,
                  {u"gl"_s, u"--direct"_s, u"--server"_s, u"127.0.0.1"_s, u"--port"_s,
                   QString::number(server.Port()), u"--user"_s, u"demo"_s, u"--company"_s, u"34"_s,
                   u"--payrolls"_s, u"10091"_s, u"--poll-interval"_s, u"1"_s});
    process.closeWriteChannel();
    QByteArray out;
    while (!out.contains("(Ctrl+C cancels)\n")) {
        if (!process.waitForReadyRead(60000))
            QFAIL(qPrintable(u"no wait line: "_s + QString::fromUtf8(out)));
        out += process.readAllStandardOutput();
    }
    QCOMPARE(::kill(pid_t(process.processId()), SIGINT), 0);
    QVERIFY(process.waitForFinished(60000));
    out += process.readAllStandardOutput();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(out.contains("Warning: User cancelled operation\n"), out.constData());
    QCOMPARE(process.readAllStandardError(),
             QByteArray("Error: The Orvane journal was not fetched\n"));
    // The server task is gone (asked with the certificates it serves).
    TRpcTransportSettings transport = server.Settings();
    transport.CertificateFile = bin + u"/certs/client.pem"_s;
    transport.RootCertificateFile = bin + u"/certs/server-ca.pem"_s;
    TRpcCaller caller(transport);
    IRpcFunctionPtr call = NewRpcFunction();
    call->SetMethodName(u"sandbox.tasks"_s);
    QCOMPARE(caller.ExecuteCall(call)->AsArray()->Count(), 0);
#endif
}

QTEST_GUILESS_MAIN(TestCliDirect)
#include "tst_clidirect.moc"
