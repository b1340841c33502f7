#include "GLTestSandbox.h"
#include "RecordingLogSink.h"
#include "RunTestSupport.h"
#include "ScriptedUserDialogs.h"
#include "TestSupport.h"

#include "base/RegionalSettings.h"
#include "runs/GLExportRun.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

class TFakeDirectSource : public IDirectReportSource {
public:
    TFetchedReport Report;
    int GLFetches = 0;
    TFetchedReport FetchChecksReport(TReportKind) override {
        QTest::qFail("the GL run fetched a checks report", __FILE__, __LINE__);
        return std::nullopt;
    }
    TFetchedReport FetchGLReport(const TQBGLExportParam&) override {
        ++GLFetches;
        return Report;
    }
};

// What the page's controls would give the run.
struct TFakeGLSource {
    TReportSourceTab Tab = rstFile;
    QString File;
    TFakeDirectSource* Direct = nullptr;
    TQBGLExportParam Options;
    // Cancels the run before it starts.
    bool Cancelled = false;
};

// Counts the busy steps so a failing run is seen to end its wait.
class TCountingWait : public IRunProgress {
public:
    QStringList Started;
    int Ended = 0;
    void StartWait(const QString& message) override { Started << message; }
    void EndWait() override { ++Ended; }
    void SetProgress(int, int) override {}
};

QString Sample(const QString& name) {
    return qEnvironmentVariable("ORVQ_SOURCE_DIR") + u"/data/samples/"_s + name;
}

QString Fixture(const QString& name) {
    return testsupport::DataPath(u"export/"_s + name);
}

QStringList Messages(const TRecordingLogSink& sink, TLogMessageKind kind) {
    QStringList result;
    for (const TRecordedMessage& m : sink.OfKind(kind))
        result << m.Message;
    return result;
}

const QString Duplicate = u"Journal Entry with Date = 3/8/2024 already exists. You may be "
                          u"creating a duplicate entry."_s;

} // namespace

class TestGLExportRun : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void samplesPostOneBalancedEntry_data();
    void samplesPostOneBalancedEntry();
    void duplicateDateQuestion_data();
    void duplicateDateQuestion();
    void failures_data();
    void failures();
    void directSource();
    void cancelPostsNothing();

private:
    // Runs with the scripted dialogs; the message of the error that left the
    // run, or a null string.
    QString Run(TFakeGLSource& source);

    std::unique_ptr<TGLSandbox> m_sandbox;
    std::unique_ptr<TRecordingLogger> m_log;
    std::shared_ptr<TScriptedUserDialogs> m_dialogs;
    std::shared_ptr<TCountingWait> m_wait;
    QString m_reportText;
    int m_connections = 0;
};

void TestGLExportRun::init() {
    m_sandbox = std::make_unique<TGLSandbox>();
    m_log = std::make_unique<TRecordingLogger>();
    m_dialogs = std::make_shared<TScriptedUserDialogs>();
    m_wait = std::make_shared<TCountingWait>();
    m_connections = 0;
}

void TestGLExportRun::cleanup() {
    m_log.reset();
    m_sandbox.reset();
}

QString TestGLExportRun::Run(TFakeGLSource& source) {
    TRunContext context = runtest::Context(
        m_log->LoggerPtr(), *m_dialogs,
        [this](const ICommonLoggerPtr& l) {
            ++m_connections;
            return m_sandbox->Connect(l);
        },
        m_wait, source.Direct);
    if (source.Cancelled)
        context.Cancel->Cancel();
    TGLExportRun run(
        {runtest::Source(source.Tab, source.File, source.Direct != nullptr), source.Options});
    const TPostResult result = run.RunGLExport(context);
    QString error;
    try {
        RethrowPostFailure({result});
    } catch (const EztException& e) {
        error = e.Message();
    }
    m_reportText = result.ReportText;
    return error;
}

void TestGLExportRun::samplesPostOneBalancedEntry_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("parsing");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<int>("lines");
    QTest::newRow("comma-separated")
        << Sample(u"s348-journal.csv"_s) << int(gtpDontParse) << QString() << 9;
    QTest::newRow("fixed-width") << Sample(u"s348-journal-fixed.txt"_s) << int(gtpDontParse)
                                 << QString() << 9;
    QTest::newRow("classes") << Sample(u"s348-journal-classes.csv"_s) << int(gtpAssignClass)
                             << u"-"_s << 12;
}

void TestGLExportRun::samplesPostOneBalancedEntry() {
    QFETCH(QString, file);
    QFETCH(int, parsing);
    QFETCH(QString, delimiter);
    QFETCH(int, lines);
    TFakeGLSource source;
    source.File = file;
    source.Options.GLTagParsing = static_cast<TGLTagParsing>(parsing);
    source.Options.DelimiterInGLTag = delimiter;

    QCOMPARE(Run(source), QString());
    QCOMPARE(
        m_dialogs->Shown,
        QStringList{
            u"information: Orvane Journal Export completed: 1 journal entry added, 0 already existed"_s});
    QCOMPARE(m_reportText, QString::fromUtf8(testsupport::ReadFile(file)));
    const auto entries = m_sandbox->JournalEntries();
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(int(entries[0].Lines.size()), lines);
    qint64 debits = 0;
    for (const TSbTxnLine& l : entries[0].Lines)
        if (l.Kind == u"Debit")
            debits += l.Cents.value_or(0);
    QCOMPARE(entries[0].Cents, debits);
    QCOMPARE(m_connections, 1);
    QCOMPARE(m_wait->Started, QStringList{u"Creating QuickBooks Transaction"_s});
    QCOMPARE(m_wait->Ended, 1);

    const QStringList events = Messages(m_log->Sink(), lmEvent);
    QCOMPARE(events.first(), u"Orvane Journal Export started"_s);
    QCOMPARE(events.last(), u"Orvane Journal Export completed"_s);
    QCOMPARE(m_log->Sink().Events.first(), u"enter Orvane Journal Export"_s);
    QCOMPARE(m_log->Sink().Events.last(), u"exit Orvane Journal Export"_s);
    const TRecordedMessage completed = m_log->Sink().OfKind(lmEvent).back();
    QCOMPARE(completed.Block, u"Orvane Journal Export"_s);
    QVERIFY(completed.Context.contains(u"Orvane Journal file="_s + file));
    QVERIFY(completed.Context.contains(
        u"GL tag parsing="_s + (parsing == gtpAssignClass ? u"Assign class"_s : u"Don't parse"_s)));
}

void TestGLExportRun::duplicateDateQuestion_data() {
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("entries");
    QTest::newRow("yes adds a second entry") << true << QString() << 2;
    QTest::newRow("no aborts") << false << u"Operation was aborted by user"_s << 1;
}

void TestGLExportRun::duplicateDateQuestion() {
    QFETCH(bool, answer);
    QFETCH(QString, error);
    QFETCH(int, entries);
    TFakeGLSource source;
    source.File = Sample(u"s348-journal.csv"_s);
    QCOMPARE(Run(source), QString());
    m_dialogs->Shown.clear();

    m_dialogs->Answers = {answer};
    QCOMPARE(Run(source), error);
    QStringList shown{u"confirm: "_s + Duplicate + u"Continue?"_s};
    if (answer)
        shown
            << u"information: Orvane Journal Export completed: 1 journal entry added, 0 already existed"_s;
    QCOMPARE(m_dialogs->Shown, shown);
    QCOMPARE(m_dialogs->Questions.value(0).Default, daNo); // Enter posts nothing
    QCOMPARE(int(m_sandbox->JournalEntries().size()), entries);
    QVERIFY(Messages(m_log->Sink(), lmWarning).contains(Duplicate));
    QCOMPARE(Messages(m_log->Sink(), lmWarning).contains(u"Orvane Journal Export failed"_s),
             !answer);
    QCOMPARE(m_wait->Ended, m_wait->Started.size());
}

void TestGLExportRun::failures_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("connections");
    QTest::addColumn<QString>("loggedError"); // a validation error before the failure

    QTest::newRow("blank file, QuickBooks never opened")
        << Fixture(u"gl_blank.txt"_s) << u"Orvane Journal is empty"_s << 0 << QString();
    QTest::newRow("no amount to post, QuickBooks never opened")
        << Fixture(u"gl_no_amounts.csv"_s)
        << u"Orvane Journal holds no debit or credit amount, so there is nothing to post."_s << 0
        << QString();
    // A line that fails is named with the file (%1) and shown.
    QTest::newRow("amount out of range")
        << Fixture(u"gl_bad_amount.csv"_s)
        << u"'1e308' is not a valid floating point value (line 2 of %1: "
           u"<HLB1,20240308,PR0311,WK10,,2110,-100.00,,1e308>)"_s
        << 0 << QString();
    QTest::newRow("two dates fail validation")
        << Fixture(u"gl_two_dates.csv"_s) << u"Orvane Journal validation failed"_s << 1
        << u"Date must be the same for all GL records. Found <3/8/2024> and <3/9/2024>"_s;
    QTest::newRow("unknown accounts fail validation")
        << Fixture(u"gl_unknown_accounts.csv"_s) << u"Orvane Journal validation failed"_s << 1
        << u"2 accounts don't exist in QB. See details for missing accounts list."_s;
    QTest::newRow("amounts in fractions of cents")
        << Fixture(u"gl_three_decimals.csv"_s)
        << u"The amount 100.005 has more than two decimals; QuickBooks takes amounts in whole "
           u"cents."_s
        << 1 << QString();
    // What to do follows QuickBooks' words.
    QTest::newRow("unbalanced entry refused")
        << Fixture(u"gl_unbalanced.csv"_s)
        << u"QB: [3180] There was an error when saving a Journal Entry.  QuickBooks error "
           u"message: Transaction not in balance.\r\nQuickBooks could not save it; the text "
           u"after \"QuickBooks error message:\" says why (a closing date, an entry out of "
           u"balance, an inactive account): correct that in QuickBooks, then run again."_s
        << 1 << QString();
}

void TestGLExportRun::failures() {
    QFETCH(QString, file);
    QFETCH(QString, error);
    QFETCH(int, connections);
    QFETCH(QString, loggedError);
    TFakeGLSource source;
    source.File = file;
    error.replace(u"%1"_s, file);

    QCOMPARE(Run(source), error);
    QCOMPARE(m_dialogs->Shown, QStringList());
    QCOMPARE(m_sandbox->JournalEntries().size(), size_t(0));
    QCOMPARE(m_connections, connections);
    // The journal is kept for printing even when it failed.
    QCOMPARE(m_reportText, QString::fromUtf8(testsupport::ReadFile(file)));
    QCOMPARE(Messages(m_log->Sink(), lmWarning).last(), u"Orvane Journal Export failed"_s);
    // The log keeps a message on one line.
    QCOMPARE(Messages(m_log->Sink(), lmException).count(QString(error).replace(u"\r\n"_s, u"  "_s)),
             1);
    if (!loggedError.isNull())
        QCOMPARE(Messages(m_log->Sink(), lmError), QStringList{loggedError});
    QCOMPARE(m_wait->Ended, m_wait->Started.size());
}

void TestGLExportRun::directSource() {
    TFakeDirectSource direct;
    TFakeGLSource source;
    source.Tab = rstDirectConnection;

    // Without a direct source (the command line) the run says so.
    QCOMPARE(Run(source),
             u"Reports cannot be fetched from Orvane here. Export a report file instead."_s);
    QCOMPARE(m_connections, 0);

    // A failed or cancelled fetch ends the run quietly.
    source.Direct = &direct;
    QCOMPARE(Run(source), QString());
    QCOMPARE(direct.GLFetches, 1);
    QCOMPARE(m_connections, 0);
    QCOMPARE(m_dialogs->Shown, QStringList());
    QCOMPARE(Messages(m_log->Sink(), lmWarning).last(), u"Orvane Journal Export failed"_s);

    direct.Report = QString::fromUtf8(testsupport::ReadFile(Sample(u"s348-journal.csv"_s)));
    QCOMPARE(Run(source), QString());
    QCOMPARE(m_reportText, *direct.Report);
    QCOMPARE(m_sandbox->JournalEntries().size(), size_t(1));
    QCOMPARE(
        m_dialogs->Shown,
        QStringList{
            u"information: Orvane Journal Export completed: 1 journal entry added, 0 already existed"_s});
}

// A run cancelled before it reaches QuickBooks posts nothing and says so.
void TestGLExportRun::cancelPostsNothing() {
    TFakeGLSource source;
    source.File = Sample(u"s348-journal.csv"_s);
    source.Cancelled = true;
    QCOMPARE(Run(source), QString());
    QCOMPARE(m_connections, 0);
    QCOMPARE(m_sandbox->JournalEntries().size(), size_t(0));
    QCOMPARE(m_dialogs->Shown, QStringList());
    QCOMPARE(Messages(m_log->Sink(), lmWarning),
             QStringList({u"User cancelled operation"_s, u"Orvane Journal Export failed"_s}));
    QCOMPARE(Messages(m_log->Sink(), lmException), QStringList());
    QCOMPARE(m_wait->Ended, m_wait->Started.size());
}

QTEST_GUILESS_MAIN(TestGLExportRun)
#include "tst_glexportrun.moc"
