// The report task and the report wait dialog against a scripted service:
// polling, the deferred results, cancel, failures, and the server task
// deleted whenever the dialog ends.
#include "OrvTestSupport.h"
#include "RecordingLogSink.h"

#include "base/vlxErrorDisplay.h"
#include "payroll/OrvReportWait.h"

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

    void taskPollsAfterOneInterval();
    void reportAfterPolls_data();
    void reportAfterPolls();
    void cancelAnsweredNoKeepsPolling();
    void cancelDeletesServerTask();
    void reportArrivesWhileAsked_data();
    void reportArrivesWhileAsked();
    void cancelBeforeTaskStarted();
    void startFailureIsThrown();
    void pollFailure_data();
    void pollFailure();
    void lostSessionWhilePolling();
    void failedDeleteIsSwallowed();
    void eventLoopWindow_data();
    void eventLoopWindow();

private:
    std::unique_ptr<TStubServer> Serve(const QJsonObject& script);
    std::optional<QString> Run(TStubServer& server, IOrvReportWaitWindow& window);

    const TTestCertificates* m_certificates = nullptr;
    std::unique_ptr<TRecordingLogger> m_log;
    QStringList m_displayed;
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
    SetErrorDisplay([this](const QString& message) { m_displayed << message; });
}

void TestOrvReportWait::cleanup() {
    QCoreApplication::processEvents();
    SetErrorDisplay(nullptr);
    m_log.reset();
}

std::unique_ptr<TStubServer> TestOrvReportWait::Serve(const QJsonObject& script) {
    return ServeScript(*m_certificates, script);
}

std::optional<QString> TestOrvReportWait::Run(TStubServer& server, IOrvReportWaitWindow& window) {
    TOrvAPIEnvironment environment;
    environment.Redirection = TestRedirection(*m_certificates);
    const IOrvAPIConnectionPtr connection =
        CreateOrvAPIConnection(server.Param(), m_log->LoggerPtr(), environment);
    TOrvReportWaitTimings timings;
    timings.StartDelayMs = 0;
    timings.PollIntervalMs = 2;
    return RunReportAndWait(
        window, m_log->LoggerPtr(), connection, S1910(),
        QStringLiteral("Please wait while Orvane generates Employee Checks report"),
        QStringLiteral("Orvane QB Export"), timings);
}

void TestOrvReportWait::taskPollsAfterOneInterval() {
    auto server = Serve(TaskScript(Answers({Result(true)}), Report("ASCII", "x")));
    QVERIFY(server);
    TOrvAPIEnvironment environment;
    environment.Redirection = TestRedirection(*m_certificates);
    auto connection = CreateOrvAPIConnection(server->Param(), m_log->LoggerPtr(), environment);
    int ready = 0;
    {
        TOrvReportTask task(
            connection, m_log->LoggerPtr(), [] {}, [&](const QString&) { ++ready; }, S1910());
        QCOMPARE(task.PollInterval(), 15000);
        QVERIFY(!task.Polling());
        task.Start();
        QCOMPARE(task.TaskId(), QStringLiteral("T-1"));
        // Started, polling armed, but no poll before the interval has passed.
        QVERIFY(task.Polling());
        QCoreApplication::processEvents();
        QCOMPARE(server->CountOf(QStringLiteral("orv.taskQueue.isTaskFinished")), 0);
    }
    // Destroying the task deletes the server task.
    QCOMPARE(server->Methods(), (QStringList{"orv.sb.connect", "orv.taskQueue.runReport",
                                             "orv.taskQueue.deleteTask"}));
    QCOMPARE(ready, 0);
}

void TestOrvReportWait::reportAfterPolls_data() {
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

void TestOrvReportWait::reportAfterPolls() {
    QFETCH(QJsonArray, finished);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    auto server = Serve(TaskScript(finished, Report("ASCII", text)));
    QVERIFY(server);
    TScriptedWaitWindow window;
    const std::optional<QString> result = Run(*server, window);
    QVERIFY(result.has_value());
    QCOMPARE(*result, expected);
    QCOMPARE(window.Title, QStringLiteral("Orvane QB Export"));
    QCOMPARE(window.Message,
             QStringLiteral("Please wait while Orvane generates Employee Checks report"));
    QCOMPARE(window.Questions, QStringList{});
    QCOMPARE(server->CountOf(QStringLiteral("orv.taskQueue.isTaskFinished")), finished.size());
    QStringList expectedMethods{"orv.sb.connect", "orv.taskQueue.runReport"};
    for (int i = 0; i < finished.size(); ++i)
        expectedMethods << "orv.taskQueue.isTaskFinished";
    expectedMethods << "orv.taskQueue.getReport"
                    << "orv.taskQueue.deleteTask"
                    << "orv.disconnect";
    QCOMPARE(server->Methods(), expectedMethods);
    QCOMPARE(m_displayed, QStringList{});
}

void TestOrvReportWait::cancelAnsweredNoKeepsPolling() {
    auto server =
        Serve(TaskScript(Answers({Result(false), Result(false), Result(false), Result(true)}),
                         Report("ASCII", "R")));
    QVERIFY(server);
    TScriptedWaitWindow window;
    window.Answers = {false};
    window.PressCancelWhen = [&] {
        return server->CountOf(QStringLiteral("orv.taskQueue.isTaskFinished")) >= 1;
    };
    const std::optional<QString> result = Run(*server, window);
    QCOMPARE(window.Questions, QStringList{"Cancel?"});
    QCOMPARE(result, std::optional<QString>(QStringLiteral("R")));
    QCOMPARE(server->CountOf(QStringLiteral("orv.taskQueue.isTaskFinished")), 4);
    QVERIFY(m_log->Sink().OfKind(lmWarning).empty());
}

void TestOrvReportWait::cancelDeletesServerTask() {
    auto server = Serve(TaskScript(Answers({Result(false)}), Report("ASCII", "R")));
    QVERIFY(server);
    TScriptedWaitWindow window;
    window.Answers = {true};
    window.PressCancelWhen = [&] {
        return server->CountOf(QStringLiteral("orv.taskQueue.isTaskFinished")) >= 2;
    };
    const std::optional<QString> result = Run(*server, window);
    QVERIFY(!result.has_value());
    QCOMPARE(window.Questions, QStringList{"Cancel?"});
    const auto warnings = m_log->Sink().OfKind(lmWarning);
    QCOMPARE(int(warnings.size()), 1);
    QCOMPARE(warnings.front().Message, QStringLiteral("User cancelled operation"));
    const QStringList methods = server->Methods();
    QCOMPARE(methods.count(QStringLiteral("orv.taskQueue.getReport")), 0);
    QCOMPARE(methods.count(QStringLiteral("orv.taskQueue.deleteTask")), 1);
    QCOMPARE(methods.last(), QStringLiteral("orv.disconnect"));
}

void TestOrvReportWait::reportArrivesWhileAsked_data() {
    QTest::addColumn<bool>("cancel");
    QTest::newRow("Yes: cancelled") << true;
    QTest::newRow("No: the report") << false;
}

void TestOrvReportWait::reportArrivesWhileAsked() {
    // The answer decides, not the report that came meanwhile.
    QFETCH(bool, cancel);
    auto server = Serve(TaskScript(Answers({Result(false), Result(true)}), Report("ASCII", "R")));
    QVERIFY(server);
    TScriptedWaitWindow window;
    window.Answers = {cancel};
    window.PressCancelWhen = [&] {
        return server->CountOf(QStringLiteral("orv.taskQueue.isTaskFinished")) >= 1;
    };
    window.WhileAsked = [&] {
        // The report is fetched and handed over, and its server task goes.
        QVERIFY(QTest::qWaitFor(
            [&] { return server->CountOf(QStringLiteral("orv.taskQueue.deleteTask")) == 1; },
            60000));
    };
    const std::optional<QString> result = Run(*server, window);
    QCOMPARE(window.Questions, QStringList{"Cancel?"});
    QCOMPARE(server->CountOf(QStringLiteral("orv.taskQueue.getReport")), 1);
    QCOMPARE(result, cancel ? std::nullopt : std::optional<QString>(QStringLiteral("R")));
    QStringList warnings;
    for (const auto& w : m_log->Sink().OfKind(lmWarning))
        warnings << w.Message;
    QCOMPARE(warnings, cancel ? QStringList{"User cancelled operation"} : QStringList());
}

void TestOrvReportWait::cancelBeforeTaskStarted() {
    auto server = Serve(TaskScript(Answers({Result(false)}), Report("ASCII", "R")));
    QVERIFY(server);
    TScriptedWaitWindow window;
    // Before the start timer has run there is no task: no question.
    window.PressCancelWhen = [] { return true; };
    TOrvAPIEnvironment environment;
    environment.Redirection = TestRedirection(*m_certificates);
    auto connection = CreateOrvAPIConnection(server->Param(), m_log->LoggerPtr(), environment);
    TOrvReportWaitTimings timings;
    timings.StartDelayMs = 60000;
    const std::optional<QString> result =
        RunReportAndWait(window, m_log->LoggerPtr(), connection, S1910(), QStringLiteral("wait"),
                         QStringLiteral("Orvane QB Export"), timings);
    QVERIFY(!result.has_value());
    QCOMPARE(window.Questions, QStringList{});
    QCOMPARE(server->Methods(), QStringList{"orv.sb.connect"});
}

void TestOrvReportWait::startFailureIsThrown() {
    QJsonObject script = TaskScript(Answers({Result(true)}), Report("ASCII", "R"));
    script.insert(QStringLiteral("orv.taskQueue.runReport"),
                  Answers({Fault(300, QStringLiteral("Unknown report"))}));
    auto server = Serve(script);
    QVERIFY(server);
    TScriptedWaitWindow window;
    try {
        Run(*server, window);
        QFAIL("a task that did not start gave a result");
    } catch (const EOrvAPIError& e) {
        QCOMPARE(e.ErrorMessage(), QStringLiteral("Unknown report"));
    }
    QCOMPARE(window.Executions, 1);
    // No id, so no poll and no delete.
    QCOMPARE(server->Methods(),
             (QStringList{"orv.sb.connect", "orv.taskQueue.runReport", "orv.disconnect"}));
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
    TScriptedWaitWindow window;
    const std::optional<QString> result = Run(*server, window);
    QVERIFY(!result.has_value());
    QCoreApplication::processEvents();
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
    TScriptedWaitWindow window;
    QCOMPARE(Run(*server, window), std::optional<QString>(QStringLiteral("R")));
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
    TScriptedWaitWindow window;
    QCOMPARE(Run(*server, window), std::optional<QString>(QStringLiteral("R")));
    QCoreApplication::processEvents();
    QCOMPARE(m_displayed, QStringList{});
    const auto logged = m_log->Sink().OfKind(lmException);
    QCOMPARE(int(logged.size()), 1);
    QCOMPARE(logged.front().Block, QStringLiteral("Deleting an Orvane task"));
}

void TestOrvReportWait::eventLoopWindow_data() {
    QTest::addColumn<bool>("close");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("expectReport");
    QTest::newRow("runs until the report is ready") << false << true << true;
    QTest::newRow("close confirmed") << true << true << false;
    QTest::newRow("close refused") << true << false << true;
}

void TestOrvReportWait::eventLoopWindow() {
    QFETCH(bool, close);
    QFETCH(bool, answer);
    QFETCH(bool, expectReport);
    auto server =
        Serve(TaskScript(Answers({Result(false), Result(false), Result(false), Result(true)}),
                         Report("ASCII", "R")));
    QVERIFY(server);
    TOrvEventLoopWaitWindow window;
    window.AnswerToCancel = answer;
    QTimer closer;
    bool closed = false;
    if (close) {
        connect(&closer, &QTimer::timeout, [&] {
            if (!closed && server->CountOf(QStringLiteral("orv.taskQueue.isTaskFinished")) >= 1) {
                closed = true;
                window.RequestClose();
            }
        });
        closer.start(1);
    }
    const std::optional<QString> result = Run(*server, window);
    QCOMPARE(result.has_value(), expectReport);
    QCOMPARE(closed, close);
    QCOMPARE(server->CountOf(QStringLiteral("orv.taskQueue.deleteTask")), 1);
}

QTEST_GUILESS_MAIN(TestOrvReportWait)
#include "tst_orvreportwait.moc"
