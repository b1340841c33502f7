// QuickBooks' own door on Windows: the built orvq-cli.exe reaches a sandbox
// company through the request processor's COM class, the stand-in server
// registered in this prefix. Every run is made a second time in process on
// the sandbox company directly, as on Linux; both must print the same and
// leave the same company file. The processor's failures reach the user with
// their message and advice.
#include "CliSupport.h"
#include "OrvTestSupport.h"
#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using orvtest::TSandboxService;

namespace {

const QString OpenFileKey = u"HKEY_CURRENT_USER\\Software\\OrvQ Sandbox\\QBXMLRP2"_s;

QString BuiltProgram(const QString& name) {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + u"/../../bin/"_s + name);
}

// With its drive: orvq-cli.exe runs in another folder, on another drive.
QString Absolute(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

QString Source(const QString& path) {
    return Absolute(qEnvironmentVariable("ORVQ_SOURCE_DIR") + u'/' + path);
}

// The file QuickBooks has open; empty: QuickBooks is not running.
void SetOpenInQuickBooks(const QString& file) {
    QSettings key(OpenFileKey, QSettings::NativeFormat);
    if (file.isEmpty())
        key.remove(u"CompanyFile"_s);
    else
        key.setValue(u"CompanyFile"_s, file);
    key.sync();
}

bool Register(bool on) {
    QStringList args{u"/s"_s, QDir::toNativeSeparators(BuiltProgram(u"orvq-qbxmlrp2.dll"_s))};
    if (!on)
        args.prepend(u"/u"_s);
    return QProcess::execute(u"regsvr32"_s, args) == 0;
}

// A company file as text, without what QuickBooks makes up anew each time
// (IDs, times, edit sequences): references by name.
QString Dump(const QString& file) {
    TQBSandboxCompany company(file, false);
    const auto name = [&](const QString& id) {
        const auto element = id.isEmpty() ? std::nullopt : company.FindByListID(id);
        return element ? element->FullName : id;
    };
    QString text;
    for (const QString& type : {u"Check"_s, u"Deposit"_s, u"JournalEntry"_s}) {
        TSbTxnFilter all;
        all.Type = type;
        all.IncludeLines = true;
        for (const TSbTxn& t : company.Txns(all)) {
            text += QStringList{t.Type,
                                t.TxnDate.toString(Qt::ISODate),
                                t.RefNumber,
                                t.Memo,
                                name(t.AccountID),
                                name(t.PayeeID),
                                QString::number(t.Cents),
                                t.Cleared}
                        .join(u'|') +
                    u'\n';
            for (const TSbTxnLine& l : t.Lines)
                text += u"  "_s +
                        QStringList{l.Kind,
                                    name(l.AccountID),
                                    name(l.EntityID),
                                    name(l.ClassID),
                                    l.Cents ? QString::number(*l.Cents) : QString(),
                                    l.Memo,
                                    l.CheckNumber,
                                    l.Cleared}
                            .join(u'|') +
                        u'\n';
        }
    }
    return text;
}

void Arm(const QString& file, const TSbFaults& faults) {
    TQBSandboxCompany company(file, false);
    company.Begin();
    company.SetFaults(faults);
    company.Commit();
}

struct TResult {
    int Code = -1;
    QString Out;
    QString Err;
};

// One workstation: its folder with a demo company file, a second company
// file, the ledger and the log.
class TSide {
public:
    explicit TSide(const TSandboxService* service) : m_service(service) {
        CreateSandboxCompany(Company(), Source(u"data/demo"_s));
        CreateSandboxCompany(Second(), Source(u"data/demo"_s));
    }
    virtual ~TSide() = default;
    QString Company() const { return m_dir.filePath(u"company.sqlite"_s); }
    QString Second() const { return m_dir.filePath(u"second.sqlite"_s); }

    // {company} and {second} name the files, {run} the newest run of the ledger.
    TResult Run(QStringList args) {
        for (QString& arg : args) {
            arg.replace(u"{company}"_s, Company()).replace(u"{second}"_s, Second());
            if (arg == u"{run}")
                arg = m_lastRun = Execute({u"runs"_s}).Out.section(u"  "_s, 0, 0);
        }
        TResult r = Execute(args);
        r.Out = Normal(r.Out);
        r.Err = Normal(r.Err);
        return r;
    }

protected:
    virtual TResult Execute(const QStringList& args) = 0;
    QString Folder() const { return m_dir.path(); }
    // The aliases both ways of running resolve.
    TRedirectionEntries Files() const {
        TRedirectionEntries files{{u"QBCompanyFile"_s, Company()},
                                  {u"Ledger"_s, m_dir.filePath(u"ledger.sqlite"_s)},
                                  {u"Log"_s, m_dir.filePath(u"OrvQ.log"_s)}};
        if (m_service)
            for (const QString& alias : {u"Certificate"_s, u"ServerCA"_s})
                files.append(
                    {alias, Absolute(m_service->Environment().Redirection->GetFileName(alias))});
        return files;
    }
    TRedirectionEntries Directories() const {
        return {{u"UserData"_s, Folder()},
                {u"Queries"_s, Source(u"data/queries"_s)},
                {u"HTMLTemplates"_s, Source(u"data/templates"_s)}};
    }

private:
    QString Normal(QString text) const {
        // A message set's ID begins with a prefix made anew for each run.
        static const QRegularExpression setID(u"request set [0-9a-f]{12}-"_s);
        text.replace(setID, u"request set <set>-"_s)
            .replace(u"\r\n"_s, u"\n"_s)
            .replace(QDir::toNativeSeparators(Folder()), u"<dir>"_s)
            .replace(Folder(), u"<dir>"_s);
        if (!m_lastRun.isEmpty())
            text.replace(m_lastRun, u"<run>"_s).replace(m_lastRun.left(8), u"<run>"_s);
        return text;
    }

    QTemporaryDir m_dir;
    const TSandboxService* m_service;
    QString m_lastRun;
};

// The built program, through QuickBooks' door, reading the redirection file
// of its working folder.
class TComSide : public TSide {
public:
    using TSide::TSide;

protected:
    TResult Execute(const QStringList& args) override {
        QFile red(Folder() + u"/orvq.red"_s);
        if (!red.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write the redirection file");
        QString text = u"[Directories]\n"_s;
        for (const auto& [alias, path] : Directories())
            text += alias + u'=' + path + u'\n';
        text += u"[Filenames]\n"_s;
        for (const auto& [alias, path] : Files())
            text += alias + u'=' + path + u'\n';
        red.write(text.toUtf8());
        red.close();
        QProcess cli;
        cli.setWorkingDirectory(Folder());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"ORVQ_PASSWORD"_s, u"demo"_s);
        cli.setProcessEnvironment(env);
        cli.start(BuiltProgram(u"orvq-cli.exe"_s), args);
        if (!cli.waitForFinished(120000))
            qFatal("orvq-cli.exe did not finish");
        return {cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput()),
                QString::fromUtf8(cli.readAllStandardError())};
    }
};

// orvq-cli in process on the sandbox company, as on Linux.
class TDirectSide : public TSide {
public:
    explicit TDirectSide(const TSandboxService* service) : TSide(service) {
        TAppCoreOptions options;
        options.Settings = std::make_shared<TztSettingsRegistry>(
            TztSettingsHive::File(Folder() + u"/orvq.ini"_s), QString());
        options.QBProcessor = &CreateSandboxRequestProcessor;
        options.Redirection = [this]() -> IRedirectionPtr {
            return std::make_shared<TGenericRedirection>(Directories(), Files(),
                                                         TRedirectionPlaces(), QString());
        };
        m_core = std::make_unique<TAppCore>(options);
    }

protected:
    TResult Execute(const QStringList& args) override {
        TResult r;
        QTextStream out(&r.Out), err(&r.Err);
        TCliEnvironment env{out, err, nullptr, *m_core};
        env.PasswordVariable = u"demo"_s;
        env.ReportPollIntervalMs = 5;
        // As the program's console does: Ctrl+C cancels a wait.
        env.WatchInterrupt = [](std::function<void()>) { return std::shared_ptr<void>(); };
        r.Code = RunOrvqCli(args, env);
        out.flush();
        err.flush();
        return r;
    }

private:
    std::unique_ptr<TAppCore> m_core;
};

const QStringList Accounts{u"--cash-account"_s, u"Payroll Checking"_s, u"--liability-account"_s,
                           u"Payroll Liabilities:Net Pay Clearing"_s};

QStringList Checks(const QString& sample) {
    return QStringList{u"checks"_s, u"--file"_s, Source(u"data/samples/"_s + sample)} + Accounts;
}

QStringList Journal() {
    return {u"gl"_s, u"--file"_s, Source(u"data/samples/s348-journal.csv"_s)};
}

// A step that arms a fault in the company file instead of running orvq-cli.
const QString ArmLostAnswer = u"@lose-response"_s;

} // namespace

class TestQBComDoor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void sameAsTheSandboxDirectly_data();
    void sameAsTheSandboxDirectly();
    void processorFailures_data();
    void processorFailures();

private:
    TSandboxService m_service;
    bool m_serviceStarted = false;
};

void TestQBComDoor::initTestCase() {
    QVERIFY2(Register(true), "regsvr32 did not register the stand-in request processor");
    QString error;
    m_serviceStarted = m_service.Start(&error, {u"--companies"_s, u"1"_s});
    if (!m_serviceStarted)
        qWarning("bureau runs left out: %s", qPrintable(error));
}

void TestQBComDoor::cleanupTestCase() {
    SetOpenInQuickBooks(QString());
    Register(false);
}

void TestQBComDoor::sameAsTheSandboxDirectly_data() {
    QTest::addColumn<QList<QStringList>>("steps");
    QTest::addColumn<bool>("openInQuickBooks");
    // "last": the last step changes no company file; "all": the steps end
    // where they began.
    QTest::addColumn<QString>("unchanged");
    QTest::addColumn<bool>("bureau");
    // The last step's exit code; every step before it succeeds.
    QTest::addColumn<int>("lastCode");
    QTest::newRow("employee checks, run again")
        << QList<QStringList>{Checks(u"s1910-sample.txt"_s), Checks(u"s1910-sample.txt"_s)} << true
        << u"last"_s << false << int(cecSuccess);
    QTest::newRow("agency checks into the named file")
        << QList<QStringList>{Checks(u"s1911-sample.txt"_s) +
                              QStringList{u"--company-file"_s, u"{company}"_s}}
        << false << QString() << false << int(cecSuccess);
    QTest::newRow("journal, run again")
        << QList<QStringList>{Journal(), Journal()} << true << u"last"_s << false
        << int(cecFailed); // a journal on a date that has one: posting it is asked, No
    QTest::newRow("preview") << QList<QStringList>{Checks(u"s1910-sample.txt"_s) +
                                                       QStringList{u"--preview"_s},
                                                   Journal() + QStringList{u"--preview"_s}}
                             << true << u"all"_s << false << int(cecSuccess);
    QTest::newRow("undo") << QList<QStringList>{Checks(u"s1911-sample.txt"_s),
                                                {u"undo"_s, u"{run}"_s}}
                          << true << u"all"_s << false << int(cecSuccess);
    QTest::newRow("lost answer recovered")
        << QList<QStringList>{{ArmLostAnswer}, Checks(u"s1911-sample.txt"_s)} << true << QString()
        << false << int(cecSuccess);
    const QStringList period{u"--from"_s,   u"2024-03-08"_s,
                             u"--to"_s,     u"2024-03-08"_s,
                             u"--server"_s, u"127.0.0.1"_s,
                             u"--port"_s,   QString::number(m_service.Param().APIServerPort),
                             u"--user"_s,   u"demo"_s};
    QTest::newRow("bureau over two company files")
        << QList<QStringList>{QStringList{u"map"_s, u"add"_s, u"--company"_s, u"34"_s,
                                          u"--company-file"_s, u"{company}"_s, u"--kind"_s,
                                          u"employee"_s} +
                                  Accounts,
                              QStringList{u"map"_s, u"add"_s, u"--company"_s, u"1001"_s,
                                          u"--company-file"_s, u"{second}"_s, u"--kind"_s,
                                          u"employee"_s} +
                                  Accounts,
                              QStringList{u"bureau"_s} + period}
        << false << QString() << true << int(cecSuccess);
}

void TestQBComDoor::sameAsTheSandboxDirectly() {
    QFETCH(QList<QStringList>, steps);
    QFETCH(bool, openInQuickBooks);
    QFETCH(QString, unchanged);
    QFETCH(bool, bureau);
    QFETCH(int, lastCode);
    if (bureau && !m_serviceStarted)
        QSKIP("the sandbox payroll service did not start");
    TComSide com(bureau ? &m_service : nullptr);
    TDirectSide direct(bureau ? &m_service : nullptr);
    SetOpenInQuickBooks(openInQuickBooks ? com.Company() : QString());
    const QString start = Dump(com.Company());
    QString before;
    bool lost = false;
    TResult last;
    for (const QStringList& step : steps) {
        before = Dump(com.Company());
        if (step == QStringList{ArmLostAnswer}) {
            lost = true;
            TSbFaults faults;
            // The company's name and four lists, then the set of the adds.
            faults.LoseResponse = 7;
            for (const QString& file : {com.Company(), direct.Company()})
                Arm(file, faults);
            continue;
        }
        const TResult viaCom = last = com.Run(step);
        const TResult viaSandbox = direct.Run(step);
        QCOMPARE(viaCom.Out, viaSandbox.Out);
        QCOMPARE(viaCom.Err, viaSandbox.Err);
        QCOMPARE(viaCom.Code, viaSandbox.Code);
        const int expected = &step == &steps.back() ? lastCode : int(cecSuccess);
        QVERIFY2(viaCom.Code == expected, qPrintable(step.join(u' ') + u'\n' + viaCom.Err));
    }
    QCOMPARE(Dump(com.Company()), Dump(direct.Company()));
    QCOMPARE(Dump(com.Second()), Dump(direct.Second()));
    if (unchanged == u"last")
        QCOMPARE(Dump(com.Company()), before);
    else if (unchanged == u"all")
        QCOMPARE(Dump(com.Company()), start);
    else
        QVERIFY(Dump(com.Company()) != start);
    if (lost)
        QVERIFY2(last.Out.contains(u"was recovered"_s), qPrintable(last.Out));
    if (bureau) // each file was opened by a session of its own
        QVERIFY(Dump(com.Second()) != Dump(direct.Company()) && !Dump(com.Second()).isEmpty());
}

void TestQBComDoor::processorFailures_data() {
    QTest::addColumn<QString>("openInQuickBooks"); // "company", "" or a file that is not there
    QTest::addColumn<QStringList>("companyFile");
    QTest::addColumn<bool>("accessDenied");
    QTest::addColumn<bool>("registered");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("advice");
    QTest::newRow("not installed")
        << u"company"_s << QStringList() << false << false
        << u"Cannot access QuickBooks. Most likely the QuickBooks QBFC library is not installed."_s
        << u"Please download QBFC7_0Installer.exe from "_s;
    QTest::newRow("not running") << QString() << QStringList() << false << true
                                 << u"QuickBooks is not running and no company file is open."_s
                                 << u"Start QuickBooks, open the company file and try again."_s;
    QTest::newRow("access not granted")
        << u"company"_s << QStringList() << true << true
        << u"QuickBooks refused access to the company file."_s
        << u"In QuickBooks, allow \"Orvane QB Export\" under Edit > Preferences > Integrated "
           u"Applications and try again."_s;
    QTest::newRow("company file not found")
        << QString() << QStringList{u"--company-file"_s, u"{company}.missing"_s} << false << true
        << u"QuickBooks could not open the company file."_s
        << u"Check that the file exists, that this workstation can reach it and that no one has "
           u"it open in single-user mode, then try again."_s;
    QTest::newRow("another file open")
        << u"company"_s << QStringList{u"--company-file"_s, u"{second}"_s} << false << true
        << u"Another company file is open in QuickBooks."_s
        << u"The company file open in QuickBooks is not the one named: open that company file "
           u"in QuickBooks, or choose the one that is open, and run again."_s;
}

void TestQBComDoor::processorFailures() {
    QFETCH(QString, openInQuickBooks);
    QFETCH(QStringList, companyFile);
    QFETCH(bool, accessDenied);
    QFETCH(bool, registered);
    QFETCH(QString, message);
    QFETCH(QString, advice);
    TComSide com(nullptr);
    SetOpenInQuickBooks(openInQuickBooks.isEmpty() ? QString() : com.Company());
    if (accessDenied) {
        TSbFaults faults;
        faults.AccessDenied = true;
        Arm(com.Company(), faults);
    }
    const QString start = Dump(com.Company());
    if (!registered)
        QVERIFY(Register(false));
    const TResult r = com.Run(Checks(u"s1911-sample.txt"_s) + companyFile);
    if (!registered)
        QVERIFY(Register(true));
    QCOMPARE(r.Code, int(cecFailed));
    QVERIFY2(r.Err.startsWith(u"Error: "_s + message), qPrintable(r.Err));
    QVERIFY2(r.Err.contains(advice), qPrintable(r.Err));
    QCOMPARE(Dump(com.Company()), start);
}

QTEST_GUILESS_MAIN(TestQBComDoor)
#include "tst_qbcomdoor.moc"
