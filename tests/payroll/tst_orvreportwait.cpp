// The report task and its wait against a scripted service: a poll after
// each interval (counted, not spent), cancel between polls and while the
// user is asked, failures, and the server task deleted whenever the wait
// ends.
#include "OrvTestSupport.h"
#include "RecordingLogSink.h"

#include "base/vlxErrorDisplay.h"
#include "payroll/OrvReportWait.h"

#include <thread>

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

using namespace orvtest;

namespace {

QJsonArray Answers(std::initializer_list<QJsonObject> answers) {
    QJsonArray array;
    for (const QJsonObject& a : answers)
        array.append(a);
    return array;
}

QJsonObject Report(const QString& type, const QString& text) {
    return Result(QJsonObject{{"Type", type}, {"Report", Base64(text)}});
}

// A service with a report task: the given answers to isTaskFinished, the
// report, and deletes accepted.
QJsonObject TaskScript(const QJsonArray& finished, const QJsonObject& report) {
    QJsonObject script = BaseScript();
    script.insert(QStringLiteral("orv.taskQueue.runReport"),
                  Answers({Result(QStringLiteral("T-1"))}));
    script.insert(QStringLiteral("orv.taskQueue.isTaskFinished"), finished);
    script.insert(QStringLiteral("orv.taskQueue.getReport"), Answers({report}));
    script.insert(QStringLiteral("orv.taskQueue.deleteTask"), Answers({Result(true)}));
    return script;
}

TOrvReportDef S1910() {
    TOrvReportDef report;
    report.Params = NewRpcStruct();
    report.ReportType = QStringLiteral("S");
    report.ReportNumber = 1910;
    return report;
}

} // namespace

class TestOrvReportWait : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void pollsAfterEachInterval_data();
    void pollsAfterEachInterval();
    void cancelBetweenPolls();
    void cancelBeforeTaskStarted();
    void questionOpenWhenReportArrives_data();
    void questionOpenWhenReportArrives();
    void startFailureIsThrown();
    void pollFailure_data();
    void pollFailure();
    void lostSessionWhilePolling();
    void failedDeleteIsSwallowed();

private:
    std::unique_ptr<TStubServer> Serve(const QJsonObject& script);
    // Runs the wait; the waits before the polls are recorded, and wait()
    // decides whether the run is cancelled then.
    std::optional<QString> Run(TStubServer& server, TCancelToken* cancel = nullptr,
                               std::function<bool(int)> wait = {});

    const TTestCertificates* m_certificates = nullptr;
    std::unique_ptr<TRecordingLogger> m_log;
    QStringList m_displayed;
    QList<int> m_waits;
};

void TestOrvReportWait::initTestCase() {
    QString whyNot;
    m_certificates = TTestCertificates::Get(&whyNot);
    if (!m_certificates)
        QSKIP(qPrintable(whyNot));
}

void TestOrvReportWait::init() {
    m_log = std::make_unique<TRecordingLogger>();
    m_displayed.clear();
    m_waits.clear();
}

void TestOrvReportWait::cleanup() {
    m_log.reset();
}

std::unique_ptr<TStubServer> TestOrvReportWait::Serve(const QJsonObject& script) {
    return ServeScript(*m_certificates, script);
}

std::optional<QString> TestOrvReportWait::Run(TStubServer& server, TCancelToken* cancel,
                                              std::function<bool(int)> wait) {
    TOrvAPIEnvironment environment;
    environment.Redirection = TestRedirection(*m_certificates);
    environment.Cancel = cancel;
    const IOrvAPIConnectionPtr connection =
        CreateOrvAPIConnection(server.Param(), m_log->LoggerPtr(), environment);
    TOrvReportWaitOptions options;
    options.Cancel = cancel;
    options.Wait = [this, wait](int ms) {
        m_waits << ms;
        return wait ? wait(ms) : false;
    };
    options.ShowFailure = [this](std::exception_ptr failure) {
        m_displayed << ErrorDisplayMessage(failure);
    };
    return RunReportAndWait(m_log->LoggerPtr(), connection, S1910(), options);
}

void TestOrvReportWait::pollsAfterEachInterval_data() {
    QTest::addColumn<QJsonArray>("finished");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ready at the first poll") << Answers({Result(true)}) << "EMPLOYEE CHECKS"
                                             << "EMPLOYEE CHECKS";
    QTest::newRow("ready at the third poll")
        << Answers({Result(false), Result(false), Result(true)}) << "A\r\nB"
        << "A\r\nB";
    QTest::newRow("component stream reads as empty") << Answers({Result(true)}) << "TPF0\x07TForm"
                                                     << "";
}

// Even a report that is ready at once is fetched one interval after the
// start; the server task is deleted and the session closed.
void TestOrvReportWait::pollsAfterEachInterval() {
    QFETCH(QJsonArray, finished);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    auto server = Serve(TaskScript(finished, Report("ASCII", text)));
    QVERIFY(server);
    const std::optional<QString> result = Run(*server);
    QVERIFY(result.has_value());
    QCOMPARE(*result, expected);
    QCOMPARE(m_waits, QList<int>(finished.size(), OrvTaskPollIntervalMs));
    QStringList expectedMethods{"orv.sb.connect", "orv.taskQueue.runReport"};
    for (int i = 0; i < finished.size(); ++i)
        expectedMethods << "orv.taskQueue.isTaskFinished";
    expectedMethods << "orv.taskQueue.getReport"
                    << "orv.taskQueue.deleteTask"
                    << "orv.disconnect";
    QCOMPARE(server->Methods(), expectedMethods);
    QCOMPARE(m_displayed, QStringList{});
    QVERIFY(m_log->Sink().OfKind(lmWarning).empty());
}

void TestOrvReportWait::cancelBetweenPolls() {
    auto server = Serve(TaskScript(Answers({Result(false)}), Report("ASCII", "R")));
    QVERIFY(server);
    TCancelToken cancel;
    const std::optional<QString> result = Run(*server, &cancel, [&](int) {
        if (m_waits.size() == 2)
            cancel.CancelStep();
        return cancel.Cancelled();
    });
    QVERIFY(!result.has_value());
    const auto warnings = m_log->Sink().OfKind(lmWarning);
    QCOMPARE(int(warnings.size()), 1);
    QCOMPARE(warnings.front().Message, QStringLiteral("User cancelled operation"));
    QCOMPARE(server->Methods(), (QStringList{"orv.sb.connect", "orv.taskQueue.runReport",
                                             "orv.taskQueue.isTaskFinished",
                                             "orv.taskQueue.deleteTask", "orv.disconnect"}));
    // The wait took the cancel: the run goes on with its next report.
    QVERIFY(!cancel.Cancelled());
    QCOMPARE(m_log->Sink().OfKind(lmException).size(), size_t(0));
}

void TestOrvReportWait::cancelBeforeTaskStarted() {
    auto server = Serve(TaskScript(Answers({Result(false)}), Report("ASCII", "R")));
    QVERIFY(server);
    TCancelToken cancel;
    cancel.Cancel();
    TOrvAPIEnvironment environment;
    environment.Redirection = TestRedirection(*m_certificates);
    // Logged in before the cancel came.
    auto connection = CreateOrvAPIConnection(server->Param(), m_log->LoggerPtr(), environment);
    TOrvReportWaitOptions options;
    options.Cancel = &cancel;
    QVERIFY(!RunReportAndWait(m_log->LoggerPtr(), connection, S1910(), options).has_value());
    QCOMPARE(server->Methods(), QStringList{"orv.sb.connect"});
    QCOMPARE(m_log->Sink().OfKind(lmWarning).front().Message,
             QStringLiteral("User cancelled operation"));
}

void TestOrvReportWait::questionOpenWhenReportArrives_data() {
    QTest::addColumn<bool>("answerYes");
    QTest::newRow("No: the report is taken") << false;
    QTest::newRow("Yes wins over the report") << true;
}

// "Cancel?" is open (the token held) while the report comes: the wait
// keeps it until the user has answered.
void TestOrvReportWait::questionOpenWhenReportArrives() {
    QFETCH(bool, answerYes);
    auto server = Serve(TaskScript(Answers({Result(true)}), Report("ASCII", "R")));
    QVERIFY(server);
    TCancelToken cancel;
    cancel.Hold();
    std::optional<QString> result;
    std::thread run([&] { result = Run(*server, &cancel); });
    const bool arrived = QTest::qWaitFor(
        [&] { return server->CountOf(QStringLiteral("orv.taskQueue.getReport")) == 1; });
    if (answerYes)
        cancel.CancelStep();
    cancel.Release();
    run.join();
    QVERIFY(arrived);
    QCOMPARE(result.has_value(), !answerYes);
    QCOMPARE(m_log->Sink().OfKind(lmWarning).size(), size_t(answerYes ? 1 : 0));
    QCOMPARE(server->CountOf(QStringLiteral("orv.taskQueue.deleteTask")), 1);
}

void TestOrvReportWait::startFailureIsThrown() {
    QJsonObject script = TaskScript(Answers({Result(true)}), Report("ASCII", "R"));
    script.insert(QStringLiteral("orv.taskQueue.runReport"),
                  Answers({Fault(300, QStringLiteral("Unknown report"))}));
    auto server = Serve(script);
    QVERIFY(server);
    try {
        Run(*server);
        QFAIL("a task that did not start gave a result");
    } catch (const EOrvAPIError& e) {
        QCOMPARE(e.ErrorMessage(), QStringLiteral("Unknown report"));
    }
    // No id, so no poll and no delete.
    QCOMPARE(server->Methods(),
             (QStringList{"orv.sb.connect", "orv.taskQueue.runReport", "orv.disconnect"}));
    QCOMPARE(m_waits, QList<int>());
}

void TestOrvReportWait::pollFailure_data() {
    QTest::addColumn<QJsonArray>("finished");
    QTest::addColumn<QJsonObject>("report");
    QTest::addColumn<QString>("shown");
    QTest::newRow("status fault") << Answers(
                                         {Result(false), Fault(500, QStringLiteral("Queue down"))})
                                  << Report("ASCII", "R")
                                  << "Orvane server returned error: (500) Queue down. ";
    QTest::newRow("report with errors")
        << Answers({Result(true)}) << Report("ERROR", "Payroll 501 is not processed")
        << "Report finished with errors: Payroll 501 is not processed";
    QTest::newRow("not a report") << Answers({Result(true)})
                                  << RawBody(QStringLiteral("<html>oops</html>"))
                                  << "Orvane server returned error: (601)";
}

void TestOrvReportWait::pollFailure() {
    QFETCH(QJsonArray, finished);
    QFETCH(QJsonObject, report);
    QFETCH(QString, shown);
    auto server = Serve(TaskScript(finished, report));
    QVERIFY(server);
    const std::optional<QString> result = Run(*server);
    QVERIFY(!result.has_value());
    QCOMPARE(m_displayed.size(), 1);
    QVERIFY2(m_displayed.front().startsWith(shown), qPrintable(m_displayed.front()));
    // Logged once, in the poll's block (inside the operation's own block).
    const auto logged = m_log->Sink().OfKind(lmException);
    QCOMPARE(int(logged.size()), 1);
    QVERIFY(m_log->Sink().Events.contains(
        QStringLiteral("enter Fetching the Orvane report if it is ready")));
    QCOMPARE(server->CountOf(QStringLiteral("orv.taskQueue.deleteTask")), 1);
    QCOMPARE(server->Methods().last(), QStringLiteral("orv.disconnect"));
}

void TestOrvReportWait::lostSessionWhilePolling() {
    QJsonObject script = TaskScript(
        Answers({Result(false), Fault(810, QStringLiteral("Wrong session")), Result(true)}),
        Report("ASCII", "R"));
    script.insert(
        QStringLiteral("orv.sb.connect"),
        Answers({Result(QJsonObject{{"SESSION", "s1"}}), Result(QJsonObject{{"SESSION", "s2"}})}));
    auto server = Serve(script);
    QVERIFY(server);
    QCOMPARE(Run(*server), std::optional<QString>(QStringLiteral("R")));
    QCOMPARE(server->CountOf(QStringLiteral("orv.sb.connect")), 2);
    // The poll is repeated with the same task id in the new session.
    const QJsonArray calls = server->Calls();
    QJsonArray lastPoll;
    for (const QJsonValue& v : calls) {
        if (v[QStringLiteral("method")] == QStringLiteral("orv.taskQueue.isTaskFinished"))
            lastPoll = v[QStringLiteral("params")].toArray();
    }
    QCOMPARE(lastPoll, (QJsonArray{"s2", "T-1"}));
}

void TestOrvReportWait::failedDeleteIsSwallowed() {
    QJsonObject script = TaskScript(Answers({Result(true)}), Report("ASCII", "R"));
    script.insert(QStringLiteral("orv.taskQueue.deleteTask"),
                  Answers({Fault(404, QStringLiteral("No such task"))}));
    auto server = Serve(script);
    QVERIFY(server);
    QCOMPARE(Run(*server), std::optional<QString>(QStringLiteral("R")));
    QCOMPARE(m_displayed, QStringList{});
    const auto logged = m_log->Sink().OfKind(lmException);
    QCOMPARE(int(logged.size()), 1);
    QCOMPARE(logged.front().Block, QStringLiteral("Deleting an Orvane task"));
}

QTEST_GUILESS_MAIN(TestOrvReportWait)
#include "tst_orvreportwait.moc"
