// The payroll client against the sandbox payroll service over real HTTPS:
// log-in variants, the stored queries into linked tables, report tasks from
// start to delete through the direct report source, reconnection, cancel,
// task failure and fault texts.
#include "OrvTestSupport.h"
#include "RecordingLogSink.h"

#include "base/vlxClasses.h"
#include "base/vlxErrorDisplay.h"
#include "base/ztFormat.h"
#include "payroll/OrvDirectReportSource.h"
#include "payroll/OrvPayrollLists.h"
#include "payroll/xmlrpc/XmlRpcTransport.h"

#include <QStandardPaths>
#include <QtTest>

using namespace orvtest;

namespace {} // namespace

class TestOrvSandbox : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void logIn_data();
    void logIn();
    void listsFromStoredQueries();
    void checksReportFromStartToDelete_data();
    void checksReportFromStartToDelete();
    void glReportCarriesOptions();
    void borrowedSessionStaysLoggedIn();
    void reconnectsOnceNotTwice();
    void cancelDeletesTask();
    void taskFailure();
    void silentServiceWhilePolling();
    void eachCallMeetsItsDeadline_data();
    void eachCallMeetsItsDeadline();
    void faultTexts_data();
    void faultTexts();

private:
    IRpcResultPtr Control(const QString& method,
                          const std::function<void(IRpcFunction&)>& params = {}) {
        return m_sandbox.Control(method, params);
    }
    QStringList CalledMethods() { return m_sandbox.CalledMethods(); }
    int LiveTasks() { return m_sandbox.LiveTasks(); }
    TOrvAPIConnectionParam Param(const QString& user = QStringLiteral("demo"),
                                 const QString& password = QStringLiteral("demo")) const {
        return m_sandbox.Param(user, password);
    }
    TOrvAPIEnvironment Environment() const { return m_sandbox.Environment(); }
    TOrvPayrollsDef SelectMarch8();
    // borrowed: gets a session of its own that the source borrows.
    std::unique_ptr<TOrvDirectReportSource>
    Source(TScriptedReportWait& window, const std::function<void(TOrvAPIEnvironment&)>& adjust = {},
           IOrvAPIConnectionPtr* borrowed = nullptr);

    TSandboxService m_sandbox;
    std::unique_ptr<TRecordingLogger> m_log;
    QStringList m_displayed;
};

void TestOrvSandbox::initTestCase() {
    QString error;
    if (!m_sandbox.Start(&error))
        QSKIP(qPrintable(error));
}

void TestOrvSandbox::cleanupTestCase() {}

void TestOrvSandbox::init() {
    QVERIFY(!Control(QStringLiteral("sandbox.reset"))->IsError());
    m_log = std::make_unique<TRecordingLogger>();
    m_displayed.clear();
    InstallErrorDisplay(*QCoreApplication::instance(),
                        [this](const QString& message) { m_displayed << message; });
}

void TestOrvSandbox::cleanup() {
    QCoreApplication::processEvents();
    m_log.reset();
}

// Company 34 of client 12, run 1 of 3/8/2024 (payroll 10091), chosen through
// the lists as the page would.
TOrvPayrollsDef TestOrvSandbox::SelectMarch8() {
    TOrvPayrollLists lists(Environment().Redirection);
    TNoRunProgress progress;
    lists.LoadPayrollList(Param(), m_log->LoggerPtr(), progress, QDate(2024, 3, 8),
                          QDate(2024, 3, 8), Environment());
    if (!lists.Ready())
        return {};
    TMemTable& payrolls = *lists.Payrolls();
    for (int i = 0; i < payrolls.RecordCount(); ++i) {
        payrolls.SetRecNo(i);
        if (payrolls.Value(QStringLiteral("PR_NBR")).toInt() == 10091)
            return lists.GetSelectedPayrolls({payrolls.Bookmark()});
    }
    return {};
}

std::unique_ptr<TOrvDirectReportSource>
TestOrvSandbox::Source(TScriptedReportWait& window,
                       const std::function<void(TOrvAPIEnvironment&)>& adjust,
                       IOrvAPIConnectionPtr* borrowed) {
    const TOrvPayrollsDef selection = SelectMarch8();
    Control(QStringLiteral("sandbox.reset"));
    TOrvDirectReportSourceServices services;
    services.ConnectionParam = Param();
    services.SelectedPayrolls = selection;
    services.Environment = Environment();
    if (adjust)
        adjust(services.Environment);
    if (borrowed)
        services.Session = *borrowed =
            CreateOrvAPIConnection(Param(), m_log->LoggerPtr(), Environment());
    window.Attach(services);
    return std::make_unique<TOrvDirectReportSource>(m_log->LoggerPtr(), services);
}

void TestOrvSandbox::logIn_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("error");
    QTest::newRow("user") << "demo"
                          << "demo"
                          << "";
    QTest::newRow("user at domain") << "clerk@harbor"
                                    << "clerk"
                                    << "";
    QTest::newRow("domain user without domain")
        << "clerk"
        << "clerk"
        << "Orvane server returned error: (800) Invalid user name, domain or password. ";
    QTest::newRow("wrong password")
        << "demo"
        << "Demo"
        << "Orvane server returned error: (800) Invalid user name, domain or password. ";
}

void TestOrvSandbox::logIn() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, error);
    try {
        auto connection =
            CreateOrvAPIConnection(Param(user, password), m_log->LoggerPtr(), Environment());
        QVERIFY2(error.isEmpty(), "the log-in was accepted");
        QCOMPARE(Control(QStringLiteral("sandbox.sessions"))->AsInteger(), 1);
    } catch (const EOrvAPIError& e) {
        QCOMPARE(e.Message(), error);
    }
    // Released: logged out.
    QCOMPARE(Control(QStringLiteral("sandbox.sessions"))->AsInteger(), 0);
}

void TestOrvSandbox::listsFromStoredQueries() {
    TOrvPayrollLists lists(Environment().Redirection);
    auto connection = CreateOrvAPIConnection(Param(), m_log->LoggerPtr(), Environment());
    TNoProgress progress;
    lists.LoadPayrolls(*connection, progress, QDate(2024, 3, 1), QDate(2024, 3, 31));
    QVERIFY(lists.Ready());
    QCOMPARE(lists.Clients()->RecordCount(), 2);
    QCOMPARE(lists.Clients()->Value(QStringLiteral("CL_NBR")).toInt(), 12);
    QCOMPARE(lists.Companies()->RecordCount(), 2);
    // Every payroll shown is the current company's and in the period.
    for (int company = 0; company < 2; ++company) {
        lists.Companies()->SetRecNo(company);
        const int coNbr = lists.Companies()->Value(QStringLiteral("CO_NBR")).toInt();
        TMemTable& payrolls = *lists.Payrolls();
        QVERIFY(payrolls.RecordCount() > 0);
        for (int i = 0; i < payrolls.RecordCount(); ++i) {
            payrolls.SetRecNo(i);
            QCOMPARE(payrolls.Value(QStringLiteral("CO_NBR")).toInt(), coNbr);
            const QDate date = payrolls.Value(QStringLiteral("CHECK_DATE")).toDateTime().date();
            QVERIFY2(date >= QDate(2024, 3, 1) && date <= QDate(2024, 3, 31),
                     qPrintable(date.toString()));
        }
    }
    QCOMPARE(lists.Payrolls()->Field(lists.Payrolls()->FieldByName("RUN_NUMBER")).Label(),
             QStringLiteral("Run Number"));
    const IRpcArrayPtr calls = Control(QStringLiteral("sandbox.calls"))->AsArray();
    const IRpcStructPtr last = calls->Item(calls->Count() - 1)->AsStruct();
    const IRpcStructPtr params =
        last->Key(QStringLiteral("params"))->AsArray()->Item(2)->AsStruct();
    QCOMPARE(params->Key(QStringLiteral("CHECK_DATE_FROM"))->AsString(),
             QStringLiteral("3/1/2024"));
    QCOMPARE(params->Key(QStringLiteral("CHECK_DATE_TO"))->AsString(), QStringLiteral("3/31/2024"));

    // The page's action: its own connection, logged out when the lists are in.
    connection.reset();
    TOrvPayrollLists again(Environment().Redirection);
    TNoRunProgress stages;
    again.LoadPayrollList(Param(), m_log->LoggerPtr(), stages, QDate(2024, 3, 1),
                          QDate(2024, 3, 31), Environment());
    QVERIFY(again.Ready());
    QCOMPARE(Control(QStringLiteral("sandbox.sessions"))->AsInteger(), 0);
}

void TestOrvSandbox::checksReportFromStartToDelete_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("number");
    QTest::newRow("employee checks") << int(rkEmployeeChecks) << 1910;
    QTest::newRow("agency checks") << int(rkAgencyChecks) << 1911;
}

void TestOrvSandbox::checksReportFromStartToDelete() {
    QFETCH(int, kind);
    QFETCH(int, number);
    TScriptedReportWait window;
    auto source = Source(window);
    const TFetchedReport report = source->FetchChecksReport(TReportKind(kind));
    QVERIFY(report.has_value());
    QVERIFY(!report->isEmpty());
    QCOMPARE(window.Message, QStringLiteral("Please wait while Orvane generates %1 report")
                                 .arg(kind == rkEmployeeChecks ? "Employee Checks" : "Agency Checks"));
    const QStringList methods = CalledMethods();
    QCOMPARE(methods.first(), QStringLiteral("orv.sb.connect"));
    QCOMPARE(methods.mid(1, 2),
             (QStringList{"orv.taskQueue.runReport", "orv.taskQueue.isTaskFinished"}));
    QCOMPARE(
        methods.mid(methods.size() - 3),
        (QStringList{"orv.taskQueue.getReport", "orv.taskQueue.deleteTask", "orv.disconnect"}));
    QCOMPARE(LiveTasks(), 0);
    QCOMPARE(Control(QStringLiteral("sandbox.sessions"))->AsInteger(), 0);
    const IRpcArrayPtr calls = Control(QStringLiteral("sandbox.calls"))->AsArray();
    const IRpcArrayPtr params =
        calls->Item(1)->AsStruct()->Key(QStringLiteral("params"))->AsArray();
    QCOMPARE(params->Item(0)->AsInteger(), number);
    const IRpcStructPtr reportParams = params->Item(1)->AsStruct();
    QCOMPARE(reportParams->Key(QStringLiteral("Payrolls"))->AsArray()->Item(0)->AsInteger(), 10091);
    QCOMPARE(params->Item(2)->AsString(), QStringLiteral("S"));
}

void TestOrvSandbox::glReportCarriesOptions() {
    TScriptedReportWait window;
    auto source = Source(window);
    TQBGLExportParam options;
    options.SplitBillingByDBDT = true;
    const TFetchedReport report = source->FetchGLReport(options);
    QVERIFY(report.has_value());
    QVERIFY(report->contains(u','));
    QCOMPARE(window.Message, QStringLiteral("Please wait while Orvane generates GL Report"));
    const IRpcArrayPtr calls = Control(QStringLiteral("sandbox.calls"))->AsArray();
    const IRpcArrayPtr params =
        calls->Item(1)->AsStruct()->Key(QStringLiteral("params"))->AsArray();
    QCOMPARE(params->Item(0)->AsInteger(), 348);
    const IRpcStructPtr reportParams = params->Item(1)->AsStruct();
    QCOMPARE(reportParams->Key(QStringLiteral("Format"))->AsInteger(), 1);
    QCOMPARE(reportParams->Key(QStringLiteral("bExcludeManualChecks"))->AsBoolean(), false);
    QCOMPARE(reportParams->Key(QStringLiteral("bBillingByDBDT"))->AsBoolean(), true);
    QCOMPARE(LiveTasks(), 0);
}

void TestOrvSandbox::borrowedSessionStaysLoggedIn() {
    TScriptedReportWait window;
    IOrvAPIConnectionPtr session;
    auto source = Source(window, {}, &session);
    TOrvPayrollLists lists(Environment().Redirection);
    TNoRunProgress stages;
    lists.LoadPayrollList(Param(), m_log->LoggerPtr(), stages, QDate(2024, 3, 8), QDate(2024, 3, 8),
                          Environment(), session);
    QVERIFY(lists.Ready());
    QVERIFY(source->FetchChecksReport(rkEmployeeChecks).has_value());
    QVERIFY(source->FetchGLReport({}).has_value());
    const QStringList methods = CalledMethods();
    QCOMPARE(methods.count(QStringLiteral("orv.sb.connect")), 1);
    QVERIFY(!methods.contains(QStringLiteral("orv.disconnect")));
    QCOMPARE(LiveTasks(), 0);
    QCOMPARE(Control(QStringLiteral("sandbox.sessions"))->AsInteger(), 1);
    // The lender's release logs out.
    source.reset();
    session.reset();
    QCOMPARE(CalledMethods().count(QStringLiteral("orv.disconnect")), 1);
}

void TestOrvSandbox::reconnectsOnceNotTwice() {
    auto connection = CreateOrvAPIConnection(Param(), m_log->LoggerPtr(), Environment());
    TOrvPayrollLists lists(Environment().Redirection);
    const QString query = lists.QueryPath(OrvClientsQuery);
    // The server loses the session: one new log-in, the query goes through.
    QCOMPARE(Control(QStringLiteral("sandbox.expireSessions"))->AsInteger(), 1);
    QCOMPARE(connection->RunQuery(query, nullptr)->RecordCount(), 2);
    QCOMPARE(CalledMethods().count(QStringLiteral("orv.sb.connect")), 2);
    // Lost twice within one operation: the second loss reaches the caller.
    Control(QStringLiteral("sandbox.failNext"), [](IRpcFunction& f) {
        f.AddItem(QStringLiteral("orv.runQBQuery"));
        f.AddItem(810);
        f.AddItem(QStringLiteral("Wrong session"));
        f.AddItem(2);
    });
    try {
        connection->RunQuery(query, nullptr);
        QFAIL("a second lost session was retried");
    } catch (const EOrvAPIError& e) {
        QCOMPARE(e.ErrorCode(), 810);
        QCOMPARE(e.ErrorMessage(), QStringLiteral("Wrong session"));
    }
    QCOMPARE(CalledMethods().count(QStringLiteral("orv.sb.connect")), 3);
    QStringList events;
    for (const TRecordedMessage& m : m_log->Sink().OfKind(lmEvent))
        events << m.Message;
    QCOMPARE(events, (QStringList{"Reconnecting to Orvane", "Reconnected to Orvane",
                                  "Reconnecting to Orvane", "Reconnected to Orvane"}));
}

void TestOrvSandbox::cancelDeletesTask() {
    TScriptedReportWait window;
    auto source = Source(window);
    Control(QStringLiteral("sandbox.setTaskDelay"), [](IRpcFunction& f) { f.AddItem(3600); });
    window.Answers = {true};
    window.PressCancelWhen = [this] {
        return CalledMethods().contains(QStringLiteral("orv.taskQueue.isTaskFinished"));
    };
    const TFetchedReport report = source->FetchChecksReport(rkEmployeeChecks);
    QVERIFY(!report.has_value());
    QCOMPARE(window.Questions, QStringList{"Cancel?"});
    QCOMPARE(LiveTasks(), 0);
    QVERIFY(!CalledMethods().contains(QStringLiteral("orv.taskQueue.getReport")));
    QCOMPARE(m_log->Sink().OfKind(lmWarning).front().Message,
             QStringLiteral("User cancelled operation"));
}

void TestOrvSandbox::taskFailure() {
    TScriptedReportWait window;
    auto source = Source(window);
    Control(QStringLiteral("sandbox.setNextReport"), [](IRpcFunction& f) {
        f.AddItem(QStringLiteral("ERROR"));
        f.AddItem(QStringLiteral("Payroll 10091 is locked"));
    });
    const TFetchedReport report = source->FetchChecksReport(rkEmployeeChecks);
    QVERIFY(!report.has_value());
    QCoreApplication::processEvents();
    QCOMPARE(m_displayed, QStringList{"Report finished with errors: Payroll 10091 is locked"});
    QCOMPARE(LiveTasks(), 0);
}

void TestOrvSandbox::silentServiceWhilePolling() {
    TScriptedReportWait window;
    // The client gives up on a silent service after a second of nothing.
    auto source = Source(window, [](TOrvAPIEnvironment& e) { e.IdleTimeoutMs = 1000; });
    Control(QStringLiteral("sandbox.answerNext"), [](IRpcFunction& f) {
        f.AddItem(QStringLiteral("silent"));
        f.AddItem(QStringLiteral("orv.taskQueue.isTaskFinished"));
        f.AddItem(5);
    });
    const TFetchedReport report = source->FetchChecksReport(rkEmployeeChecks);
    QVERIFY(!report.has_value());
    QCoreApplication::processEvents();
    QCOMPARE(m_displayed.size(), 1);
    QVERIFY2(m_displayed.front().contains(QStringLiteral("sent nothing")),
             qPrintable(m_displayed.front()));
    // The run gave up: the server task is deleted all the same.
    QCOMPARE(LiveTasks(), 0);
    QVERIFY(CalledMethods().contains(QStringLiteral("orv.taskQueue.deleteTask")));
}

void TestOrvSandbox::eachCallMeetsItsDeadline_data() {
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("deadline");
    QTest::newRow("log-in") << "orv.sb.connect"
                            << "2 seconds";
    QTest::newRow("task status") << "orv.taskQueue.isTaskFinished"
                                 << "2 seconds";
    QTest::newRow("report, the long one") << "orv.taskQueue.getReport"
                                          << "3 seconds";
}

// An answer dripped a byte every 50 ms ends at the call's own deadline,
// named in the message; the server task is deleted all the same. The
// deadlines leave the other calls time on a busy machine.
void TestOrvSandbox::eachCallMeetsItsDeadline() {
    QFETCH(QString, method);
    QFETCH(QString, deadline);
    TScriptedReportWait window;
    auto source = Source(window, [](TOrvAPIEnvironment& e) {
        e.CallDeadlineMs = 2000;
        e.TransferDeadlineMs = 3000;
    });
    Control(QStringLiteral("sandbox.answerNext"), [&](IRpcFunction& f) {
        f.AddItem(QStringLiteral("drip"));
        f.AddItem(method);
        f.AddItem(0.05);
    });
    QString message;
    try {
        QVERIFY(!source->FetchChecksReport(rkEmployeeChecks).has_value());
        QCoreApplication::processEvents();
        QCOMPARE(m_displayed.size(), 1);
        message = m_displayed.front();
    } catch (const ERpcTransportError& e) {
        message = e.Message();
    }
    QVERIFY2(
        message.contains(Format(" did not finish answering %s within %s; the call was abandoned",
                                {method, deadline})),
        qPrintable(message));
    QCOMPARE(LiveTasks(), 0);
}

void TestOrvSandbox::faultTexts_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("transport"); // the transport's error, not the service's
    QTest::addColumn<QString>("message");
    QTest::newRow("fault") << "sandbox.failNext"
                           << "" << false
                           << "Orvane server returned error: (850) Unknown report: S1910. ";
    QTest::newRow("html page") << "sandbox.answerNext"
                               << "html" << false << "Orvane server returned error: (601)";
    QTest::newRow("empty answer") << "sandbox.answerNext"
                                  << "empty" << false << "Orvane server returned error: (600)";
    QTest::newRow("http error") << "sandbox.answerNext"
                                << "status500" << true << "500";
    QTest::newRow("hang-up") << "sandbox.answerNext"
                             << "drop" << true << "127.0.0.1";
}

void TestOrvSandbox::faultTexts() {
    QFETCH(QString, control);
    QFETCH(QString, kind);
    QFETCH(bool, transport);
    QFETCH(QString, message);
    TScriptedReportWait window;
    auto source = Source(window);
    Control(control, [&](IRpcFunction& f) {
        if (kind.isEmpty()) {
            f.AddItem(QStringLiteral("orv.taskQueue.runReport"));
            f.AddItem(850);
            f.AddItem(QStringLiteral("Unknown report: S1910"));
        } else {
            f.AddItem(kind);
            f.AddItem(QStringLiteral("orv.taskQueue.runReport"));
        }
    });
    try {
        source->FetchChecksReport(rkEmployeeChecks);
        QFAIL("a failed start gave a report");
    } catch (const EztException& e) {
        QVERIFY2(e.Message().contains(message), qPrintable(e.Message()));
        QCOMPARE(dynamic_cast<const ERpcTransportError*>(&e) != nullptr, transport);
        QCOMPARE(dynamic_cast<const EOrvAPIError*>(&e) != nullptr, !transport);
    }
    // No task was left behind, and the session was closed.
    QCOMPARE(LiveTasks(), 0);
    QCOMPARE(Control(QStringLiteral("sandbox.sessions"))->AsInteger(), 0);
    QVERIFY(!CalledMethods().contains(QStringLiteral("orv.taskQueue.isTaskFinished")));
}

QTEST_GUILESS_MAIN(TestOrvSandbox)
#include "tst_orvsandbox.moc"
