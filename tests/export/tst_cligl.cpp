// orvq-cli gl as a script runs it: the built program in a child process with
// a configuration folder of its own and a sandbox company in a temp folder.
#include "GLTestSandbox.h"

#include "settings/QBDecl.h"
#include "settings/vlxPlatformPaths.h"

#include <QProcess>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct TCliResult {
    int ExitCode = -1;
    QString Out;
    QString Err;
};

QString Sample(const QString& name) {
    return qEnvironmentVariable("ORVQ_SOURCE_DIR") + u"/data/samples/"_s + name;
}

} // namespace

class TestCliGL : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void samplesThenDuplicateQuestion_data();
    void samplesThenDuplicateQuestion();
    void savedOptionsAndOverrides();
    void entryNotClearedExitsThree();
    void usageErrors_data();
    void usageErrors();

private:
    // Runs orvq-cli gl on the sandbox company; stdin is closed at once.
    TCliResult Gl(QStringList args, const QByteArray& input = QByteArray());

    QTemporaryDir m_home;
    QString m_program;
    std::unique_ptr<TGLSandbox> m_sandbox;
};

void TestCliGL::initTestCase() {
    // Test programs lie in tests/bin of the build tree, the programs in bin.
    m_program = QCoreApplication::applicationDirPath() + u"/../../bin/orvq-cli"_s;
    if (!QFile::exists(m_program))
        QSKIP("orvq-cli is not built; build the orvq-cli target first");
    QVERIFY(m_home.isValid());
    // Saved options are written where the child reads them.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(u"config"_s)));
}

void TestCliGL::init() {
    m_sandbox = std::make_unique<TGLSandbox>();
    QFile::remove(platform::AppSettingsHive(u"orvq"_s).Location);
    // Each test posts into a company of its own: a ledger kept from the
    // last one would pair the sample with that company and stop the run.
    QDir(m_home.filePath(u".local/share"_s)).removeRecursively();
}

void TestCliGL::cleanup() {
    m_sandbox.reset();
}

TCliResult TestCliGL::Gl(QStringList args, const QByteArray& input) {
    args.prepend(u"gl"_s);
    args << u"--company-file"_s << m_sandbox->CompanyFile();
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, m_home.path());
    env.insert(u"XDG_CONFIG_HOME"_s, m_home.filePath(u"config"_s));
    process.setProcessEnvironment(env);
    process.start(m_program, args);
    process.write(input);
    process.closeWriteChannel();
    TCliResult result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.Out = QString::fromUtf8(process.readAllStandardOutput());
    result.Err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void TestCliGL::samplesThenDuplicateQuestion_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("comma-separated") << Sample(u"s348-journal.csv"_s);
    QTest::newRow("fixed-width") << Sample(u"s348-journal-fixed.txt"_s);
}

void TestCliGL::samplesThenDuplicateQuestion() {
    QFETCH(QString, file);
    const QString question = u"Journal Entry with Date = 3/8/2024 already exists. You may be "
                             u"creating a duplicate entry.Continue?"_s;

    TCliResult r = Gl({u"--file"_s, file});
    QCOMPARE(r.ExitCode, 0);
    QVERIFY2(r.Out.endsWith(u"\nOrvane Journal Export completed: 1 journal entry added, 0 already existed\n"_s), qPrintable(r.Out));
    QCOMPARE(r.Err, QString());
    const auto entries = m_sandbox->JournalEntries();
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(entries[0].Lines.size(), size_t(9));

    // Without a terminal the question is answered No, even when piped input says yes.
    r = Gl({u"--file"_s, file}, "y\n");
    QCOMPARE(r.ExitCode, 1);
    QVERIFY2(r.Out.contains(question + u" [y/N] "_s), qPrintable(r.Out));
    QCOMPARE(r.Err, u"Error: Operation was aborted by user\n"_s);

    r = Gl({u"--file"_s, file, u"--no"_s});
    QCOMPARE(r.ExitCode, 1);
    QVERIFY(r.Out.contains(question + u" (--no: No)\n"_s));
    QCOMPARE(m_sandbox->JournalEntries().size(), size_t(1));

    r = Gl({u"--file"_s, file, u"--yes"_s});
    QCOMPARE(r.ExitCode, 0);
    QVERIFY(r.Out.contains(question + u" (--yes: Yes)\n"_s));
    QCOMPARE(m_sandbox->JournalEntries().size(), size_t(2));
}

void TestCliGL::savedOptionsAndOverrides() {
    {
        TztSettingsRegistry settings(platform::AppSettingsHive(u"orvq"_s),
                                     platform::AppSettingsRootPath(u"orvq"_s));
        TQBGLExportParam saved;
        saved.GLTagParsing = gtpAssignClass;
        saved.DelimiterInGLTag = u"-"_s;
        saved.Clear = true;
        SaveGLExportParam(saved, settings, QBGLExportOptionsKey);
    }
    const QString classes = Sample(u"s348-journal-classes.csv"_s);

    // Without the saved class parsing, "Bakery-6510" is no account number.
    TCliResult r = Gl({u"--file"_s, classes, u"--tag-parsing"_s, u"none"_s});
    QCOMPARE(r.ExitCode, 1);
    QCOMPARE(r.Err, u"Error: Orvane Journal validation failed\n"_s);
    QVERIFY(r.Out.contains(u"GL tag parsing: Don't parse"_s));

    r = Gl({u"--file"_s, classes, u"--no-clear"_s});
    QCOMPARE(r.ExitCode, 0);
    QVERIFY(r.Out.contains(u"GL tag parsing: Assign class"_s));
    const auto entries = m_sandbox->JournalEntries();
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(entries[0].Cleared, u"NotCleared"_s);
    QCOMPARE(m_sandbox->StoredLines(entries[0]).at(0).Class, u"Bakery"_s);
}

void TestCliGL::entryNotClearedExitsThree() {
    // One request a set: the accounts, the duplicate-date query, the
    // accounts again, the company's name for the run ledger, the add, then
    // the clearing, which QuickBooks refuses.
    TSbFaults faults;
    faults.FailRequest = 6;
    m_sandbox->SetFaults(faults);
    const TCliResult r =
        Gl({u"--file"_s, Sample(u"s348-journal.csv"_s), u"--clear"_s, u"--batch-size"_s, u"1"_s});
    QCOMPARE(r.ExitCode, 3);
    QVERIFY2(r.Err.startsWith(u"Error: Orvane Journal Export completed, but the journal entry is "
                              u"not marked cleared\r\nThe journal entry of 3/8/2024"_s),
             qPrintable(r.Err));
    QVERIFY(!r.Out.contains(u"Orvane Journal Export failed"_s));
    QCOMPARE(m_sandbox->JournalEntries().size(), size_t(1));
}

void TestCliGL::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::newRow("no file") << QStringList{} << u"the journal file is missing: --file PATH"_s;
    QTest::newRow("yes and no") << QStringList{u"--file"_s, u"x"_s, u"--yes"_s, u"--no"_s}
                                << u"--yes and --no exclude each other"_s;
    QTest::newRow("long delimiter") << QStringList{u"--file"_s, u"x"_s, u"--delimiter"_s, u"::"_s}
                                    << u"--delimiter takes exactly one character"_s;
    QTest::newRow("unknown tag parsing")
        << QStringList{u"--file"_s, u"x"_s, u"--tag-parsing"_s, u"classes"_s}
        << u"--tag-parsing takes none, class or name, not \"classes\""_s;
    QTest::newRow("clear and no-clear")
        << QStringList{u"--file"_s, u"x"_s, u"--clear"_s, u"--no-clear"_s}
        << u"--clear and --no-clear exclude each other"_s;
}

void TestCliGL::usageErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const TCliResult r = Gl(args);
    QCOMPARE(r.ExitCode, 2);
    QCOMPARE(r.Err, u"orvq-cli gl: "_s + error + u"\nTry 'orvq-cli gl --help'.\n"_s);
    QCOMPARE(m_sandbox->JournalEntries().size(), size_t(0));
}

QTEST_GUILESS_MAIN(TestCliGL)
#include "tst_cligl.moc"
