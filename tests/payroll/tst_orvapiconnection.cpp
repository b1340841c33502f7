// The payroll service connection against a scripted service over HTTPS:
// what goes on the wire, what comes back, what is logged, and the
// reconnection after a lost session.
#include "OrvTestSupport.h"
#include "RecordingLogSink.h"
#include "TestSupport.h"

#include "base/vlxErrorDisplay.h"
#include "payroll/orvAPIConnection.h"
#include "payroll/xmlrpc/XmlRpcTransport.h"

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

QJsonObject WithMethod(QJsonObject script, const QString& method, const QJsonArray& answers) {
    script.insert(method, answers);
    return script;
}

// The parameters of the n-th call of a method.
QJsonArray ParamsOf(const TStubServer& server, const QString& method, int n = 0) {
    int seen = 0;
    for (const QJsonValue& v : server.Calls()) {
        const QJsonObject call = v.toObject();
        if (call.value(QStringLiteral("method")).toString() == method && seen++ == n)
            return call.value(QStringLiteral("params")).toArray();
    }
    return {};
}

QStringList MessagesOf(const TRecordingLogSink& sink, TLogMessageKind kind) {
    QStringList texts;
    for (const TRecordedMessage& m : sink.OfKind(kind))
        texts << m.Message;
    return texts;
}

} // namespace

class TestOrvAPIConnection : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void logInSplitsUserAndDomain_data();
    void logInSplitsUserAndDomain();
    void logInFailureSendsNothingMore();
    void logInRefusedWithoutClientCertificate();
    void operationFrame();
    void runQuerySendsFileAndParams_data();
    void runQuerySendsFileAndParams();
    void runQueryRefusesNonDataset();
    void reportTypes_data();
    void reportTypes();
    void badAnswers_data();
    void badAnswers();
    void answersThatAreNeverBigAreCapped_data();
    void answersThatAreNeverBigAreCapped();
    void emptyTaskIdSendsNothing_data();
    void emptyTaskIdSendsNothing();
    void logOutOnRelease_data();
    void logOutOnRelease();
    void failedOperationLeavesConnectionUsable();
    void orvXImport();
    void tcImportOpensClientFirst();
    void stableReconnectsOnceWithSameArguments();
    void stableGivesUpOnSecondLoss();
    void stableRetriesOnlyTheLostSession_data();
    void stableRetriesOnlyTheLostSession();
    void stableAfterFailedReconnection();

private:
    std::unique_ptr<TStubServer> Serve(const QJsonObject& script);
    TOrvAPIEnvironment Environment() const;

    const TTestCertificates* m_certificates = nullptr;
    std::unique_ptr<TRecordingLogger> m_log;
    int m_rootDepth = 0;     // every block closed again
    QStringList m_displayed; // messages that reached the error display
};

void TestOrvAPIConnection::initTestCase() {
    QString whyNot;
    m_certificates = TTestCertificates::Get(&whyNot);
    if (!m_certificates)
        QSKIP(qPrintable(whyNot));
}

void TestOrvAPIConnection::init() {
    m_log = std::make_unique<TRecordingLogger>();
    m_rootDepth = m_log->Depth();
    m_displayed.clear();
    InstallErrorDisplay(*QCoreApplication::instance(),
                        [this](const QString& message) { m_displayed << message; });
}

void TestOrvAPIConnection::cleanup() {
    QCoreApplication::processEvents();
    m_log.reset();
}

std::unique_ptr<TStubServer> TestOrvAPIConnection::Serve(const QJsonObject& script) {
    return ServeScript(*m_certificates, script);
}

TOrvAPIEnvironment TestOrvAPIConnection::Environment() const {
    TOrvAPIEnvironment environment;
    environment.Redirection = TestRedirection(*m_certificates);
    environment.IdleTimeoutMs = 20000;
    return environment;
}

void TestOrvAPIConnection::logInSplitsUserAndDomain_data() {
    QTest::addColumn<QString>("username");
    QTest::addColumn<QStringList>("sent");
    QTest::newRow("no domain") << "clerk" << QStringList{"", "clerk", "secret"};
    QTest::newRow("one at") << "clerk@bureau" << QStringList{"", "clerk", "secret", "bureau"};
    QTest::newRow("two ats sent whole") << "a@b@c" << QStringList{"", "a@b@c", "secret"};
    QTest::newRow("trailing at") << "clerk@" << QStringList{"", "clerk", "secret"};
    QTest::newRow("leading at") << "@bureau" << QStringList{"", "", "secret", "bureau"};
    QTest::newRow("empty name") << "" << QStringList{"", "", "secret"};
}

void TestOrvAPIConnection::logInSplitsUserAndDomain() {
    QFETCH(QString, username);
    QFETCH(QStringList, sent);
    auto server = Serve(BaseScript({QStringLiteral("S-77")}));
    QVERIFY(server);
    {
        TOrvAPIConnection connection(server->Param(username), m_log->LoggerPtr(), Environment());
        QCOMPARE(connection.Session(), QStringLiteral("S-77"));
    }
    QCOMPARE(server->Methods(), (QStringList{"orv.sb.connect", "orv.disconnect"}));
    QStringList params;
    for (const QJsonValue& v : ParamsOf(*server, QStringLiteral("orv.sb.connect")))
        params << v.toString();
    QCOMPARE(params, sent);
    QCOMPARE(ParamsOf(*server, QStringLiteral("orv.disconnect")), QJsonArray{"S-77"});
    // The log shows the name as typed.
    const TRecordedMessage elapsed = m_log->Sink().OfKind(lmDebug).front();
    QCOMPARE(elapsed.Block, QStringLiteral("Connecting to Orvane"));
    QVERIFY(elapsed.Context.contains(QStringLiteral("Username=") + username));
    QVERIFY(elapsed.Context.contains(QStringLiteral("API method name=orv.sb.connect")));
}

void TestOrvAPIConnection::logInFailureSendsNothingMore() {
    auto server = Serve(WithMethod(BaseScript(), QStringLiteral("orv.sb.connect"),
                                   Answers({Fault(101, QStringLiteral("Invalid password"))})));
    QVERIFY(server);
    try {
        TOrvAPIConnection connection(server->Param(), m_log->LoggerPtr(), Environment());
        QFAIL("the log-in was accepted");
    } catch (const EOrvAPIError& e) {
        QCOMPARE(e.ErrorCode(), 101);
        QCOMPARE(e.ErrorMessage(), QStringLiteral("Invalid password"));
        QCOMPARE(e.Message(),
                 QStringLiteral("Orvane server returned error: (101) Invalid password. "));
    }
    // No session, so nothing to log out of.
    QCOMPARE(server->Methods(), QStringList{"orv.sb.connect"});
    const auto errors = m_log->Sink().OfKind(lmException);
    QCOMPARE(int(errors.size()), 1);
    QCOMPARE(errors.front().Block, QStringLiteral("Connecting to Orvane"));
    QCOMPARE(m_log->Depth(), m_rootDepth);
}

void TestOrvAPIConnection::logInRefusedWithoutClientCertificate() {
    auto server = Serve(BaseScript());
    QVERIFY(server);
    TOrvAPIEnvironment environment = Environment();
    environment.Redirection = std::make_shared<TGenericRedirection>(
        TRedirectionEntries{}, TRedirectionEntries{}, TRedirectionPlaces{}, QString());
    // The certificate alias is required: the log-in fails with the
    // redirection's text before anything is sent.
    QVERIFY_THROWS_EXCEPTION(ERedirectionNotFound,
                             TOrvAPIConnection(server->Param(), m_log->LoggerPtr(), environment));
    QCOMPARE(server->Methods(), QStringList{});
}

void TestOrvAPIConnection::operationFrame() {
    auto server = Serve(WithMethod(BaseScript(), QStringLiteral("orv.taskQueue.runReport"),
                                   Answers({Result(QStringLiteral("T-1"))})));
    QVERIFY(server);
    TOrvAPIConnection connection(server->Param(), m_log->LoggerPtr(), Environment());
    TOrvReportDef report;
    report.Params = NewRpcStruct();
    report.Params->AddItem(QStringLiteral("Company"), 34);
    report.ReportType = QStringLiteral("S");
    report.ReportNumber = 1910;
    QCOMPARE(connection.RunReport(report), QStringLiteral("T-1"));

    const QJsonArray params = ParamsOf(*server, QStringLiteral("orv.taskQueue.runReport"));
    QCOMPARE(params, (QJsonArray{"s1", 1910, QJsonObject{{"Company", 34}}, "S"}));
    const auto debug = m_log->Sink().OfKind(lmDebug);
    const TRecordedMessage& elapsed = debug.back();
    QCOMPARE(elapsed.Block, QStringLiteral("Starting Orvane report generation"));
    QVERIFY2(QRegularExpression(QStringLiteral("^Time elapsed: \\d+\\.\\d{3} sec$"))
                 .match(elapsed.Message)
                 .hasMatch(),
             qPrintable(elapsed.Message));
    QCOMPARE(elapsed.Context, (QStringList{"Component=Orvane connection", "Report=S1910",
                                           "API method name=orv.taskQueue.runReport"}));
}

void TestOrvAPIConnection::runQuerySendsFileAndParams_data() {
    QTest::addColumn<bool>("withParams");
    QTest::newRow("no parameters: three values") << false;
    QTest::newRow("parameters: four values") << true;
}

void TestOrvAPIConnection::runQuerySendsFileAndParams() {
    QFETCH(bool, withParams);
    const QJsonObject dataset{
        {"DATASET",
         QJsonObject{
             {"meta",
              QJsonObject{
                  {"c1", QJsonObject{{"tb", "CL"}, {"nm", "CL_NBR"}, {"tp", 4}, {"nl", 0}}},
                  {"c2", QJsonObject{{"tb", "CL"}, {"nm", "NAME"}, {"tp", 12}, {"sz", 40}}}}},
             {"val", QJsonObject{{"r1", QJsonObject{{"c1", 12}, {"c2", "Acme"}}},
                                 {"r2", QJsonObject{{"c1", 13}, {"c2", "Zoë Ltd"}}}}}}}};
    auto server = Serve(
        WithMethod(BaseScript(), QStringLiteral("orv.runQBQuery"), Answers({Result(dataset)})));
    QVERIFY(server);
    TOrvAPIConnection connection(server->Param(), m_log->LoggerPtr(), Environment());
    const QString path =
        qEnvironmentVariable("ORVQ_SOURCE_DIR") + QStringLiteral("/data/queries/qClList.rwq");
    IRpcStructPtr params;
    if (withParams) {
        params = NewRpcStruct();
        params->AddItem(QStringLiteral("CHECK_DATE_FROM"), QStringLiteral("3/1/2026"));
    }
    std::unique_ptr<TMemTable> table = connection.RunQuery(path, params);
    QVERIFY(table);
    QCOMPARE(table->RecordCount(), 2);
    table->Last();
    QCOMPARE(table->Value(QStringLiteral("NAME")).toString(), QString::fromUtf8("Zoë Ltd"));

    const QJsonArray sent = ParamsOf(*server, QStringLiteral("orv.runQBQuery"));
    QCOMPARE(sent.size(), withParams ? 4 : 3);
    QCOMPARE(sent[0].toString(), QStringLiteral("s1"));
    QCOMPARE(sent[1].toObject().value(QStringLiteral("$b64")).toString().toUtf8(),
             testsupport::ReadFile(path));
    QCOMPARE(sent[2].toString(), QString());
    if (withParams)
        QCOMPARE(sent[3].toObject(), (QJsonObject{{"CHECK_DATE_FROM", "3/1/2026"}}));
    // The dataset reaches the developer log as CSV.
    const auto debug = m_log->Sink().OfKind(lmDebug);
    const TRecordedMessage& csv = debug.back();
    QCOMPARE(csv.Message, QStringLiteral("Dataset:"));
    QVERIFY(csv.Details.contains(QStringLiteral("CL_NBR,NAME")));
    QVERIFY(csv.Context.contains(QStringLiteral("Query file=") + path));
}

void TestOrvAPIConnection::runQueryRefusesNonDataset() {
    auto server = Serve(WithMethod(BaseScript(), QStringLiteral("orv.runQBQuery"),
                                   Answers({Result(QJsonObject{{"ROWS", 3}})})));
    QVERIFY(server);
    TOrvAPIConnection connection(server->Param(), m_log->LoggerPtr(), Environment());
    const QString path =
        qEnvironmentVariable("ORVQ_SOURCE_DIR") + QStringLiteral("/data/queries/qCoList.rwq");
    try {
        connection.RunQuery(path, nullptr);
        QFAIL("a struct that is no dataset made a table");
    } catch (const EztException& e) {
        QVERIFY2(e.Message().contains(QStringLiteral("is not a dataset")), qPrintable(e.Message()));
    }
    // A missing query file is named, and nothing is sent for it.
    const int before = server->CountOf(QStringLiteral("orv.runQBQuery"));
    try {
        connection.RunQuery(path + QStringLiteral(".missing"), nullptr);
        QFAIL("a missing query file was sent");
    } catch (const EztException& e) {
        QVERIFY2(e.Message().startsWith(QStringLiteral("Cannot read the query file")),
                 qPrintable(e.Message()));
    }
    QCOMPARE(server->CountOf(QStringLiteral("orv.runQBQuery")), before);
}

void TestOrvAPIConnection::reportTypes_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("error");
    QTest::newRow("ascii text") << "ASCII" << QString::fromUtf8("EMPLOYEE CHECKS\r\nZoë") << "";
    QTest::newRow("lower-case type refused") << "ascii"
                                             << "text"
                                             << "Unexpected report type: ascii";
    QTest::newRow("pdf refused") << "PDF"
                                 << "%PDF"
                                 << "Unexpected report type: PDF";
    QTest::newRow("task failed") << "ERROR"
                                 << "No payrolls selected"
                                 << "Report finished with errors: No payrolls selected";
}

void TestOrvAPIConnection::reportTypes() {
    QFETCH(QString, type);
    QFETCH(QString, report);
    QFETCH(QString, error);
    auto server = Serve(
        WithMethod(BaseScript(), QStringLiteral("orv.taskQueue.getReport"),
                   Answers({Result(QJsonObject{{"Type", type}, {"Report", Base64(report)}})})));
    QVERIFY(server);
    TOrvAPIConnection connection(server->Param(), m_log->LoggerPtr(), Environment());
    try {
        const QString text = connection.GetReport(QStringLiteral("T-9"));
        QVERIFY2(error.isEmpty(), "the report was accepted");
        QCOMPARE(text, report);
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), error);
        const auto logged = m_log->Sink().OfKind(lmException);
        QCOMPARE(int(logged.size()), 1);
        QCOMPARE(logged.front().Block, QStringLiteral("Getting Orvane report"));
        QVERIFY(logged.front().Context.contains(QStringLiteral("Task Id=T-9")));
    }
    QCOMPARE(ParamsOf(*server, QStringLiteral("orv.taskQueue.getReport")),
             (QJsonArray{"s1", "T-9"}));
}

void TestOrvAPIConnection::badAnswers_data() {
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<QString>("message");
    QTest::newRow("fault") << Fault(500, QStringLiteral("Task queue is down"))
                           << "Orvane server returned error: (500) Task queue is down. ";
    QTest::newRow("html page with status 200")
        << RawBody(QStringLiteral("<html><body>Maintenance</body></html>"))
        << "Orvane server returned error: (601)";
    QTest::newRow("not xml") << RawBody(QStringLiteral("Service unavailable"))
                             << "Orvane server returned error: (601)";
    QTest::newRow("empty body") << RawBody(QString()) << "Orvane server returned error: (600)";
    QTest::newRow("http error status") << HttpStatus(500) << "500";
    QTest::newRow("string instead of boolean")
        << Result(QStringLiteral("yes")) << "Item is not a boolean type";
}

void TestOrvAPIConnection::badAnswers() {
    QFETCH(QJsonObject, answer);
    QFETCH(QString, message);
    auto server = Serve(WithMethod(BaseScript(), QStringLiteral("orv.taskQueue.isTaskFinished"),
                                   Answers({answer})));
    QVERIFY(server);
    TOrvAPIConnection connection(server->Param(), m_log->LoggerPtr(), Environment());
    try {
        connection.IsTaskFinished(QStringLiteral("T-1"));
        QFAIL("a bad answer was taken");
    } catch (const EztException& e) {
        QVERIFY2(e.Message().contains(message), qPrintable(e.Message()));
    }
    const auto logged = m_log->Sink().OfKind(lmException);
    QCOMPARE(int(logged.size()), 1);
    QCOMPARE(logged.front().Block, QStringLiteral("Querying status of an Orvane task"));
    QCOMPARE(m_log->Depth(), m_rootDepth);
}

void TestOrvAPIConnection::answersThatAreNeverBigAreCapped_data() {
    // Beyond the cap of small answers, far below that of reports.
    const QString big(2 * 1024 * 1024, u'x');
    QTest::addColumn<QString>("method");
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<bool>("refused");
    QTest::newRow("log-in") << "orv.sb.connect" << Result(QJsonObject{{"SESSION", big}}) << true;
    QTest::newRow("task poll") << "orv.taskQueue.isTaskFinished" << Result(big) << true;
    QTest::newRow("task deletion") << "orv.taskQueue.deleteTask" << Result(big) << true;
    QTest::newRow("report download")
        << "orv.taskQueue.getReport"
        << Result(QJsonObject{{"Type", "ASCII"}, {"Report", Base64(big)}}) << false;
}

void TestOrvAPIConnection::answersThatAreNeverBigAreCapped() {
    QFETCH(QString, method);
    QFETCH(QJsonObject, answer);
    QFETCH(bool, refused);
    auto server = Serve(WithMethod(BaseScript(), method, Answers({answer})));
    QVERIFY(server);
    const QString task = QStringLiteral("T-1");
    try {
        TOrvAPIConnection connection(server->Param(), m_log->LoggerPtr(), Environment());
        if (method == u"orv.taskQueue.isTaskFinished")
            connection.IsTaskFinished(task);
        else if (method == u"orv.taskQueue.deleteTask")
            connection.DeleteTask(task);
        else if (method == u"orv.taskQueue.getReport")
            QCOMPARE(connection.GetReport(task).size(), 2 * 1024 * 1024);
        QVERIFY2(!refused, "the answer was taken");
    } catch (const ERpcTransportError& e) {
        QVERIFY2(refused, qPrintable(e.Message()));
        QVERIFY2(e.Message().endsWith(QStringLiteral(" exceeds the limit of 1 MB")),
                 qPrintable(e.Message()));
    }
    QCOMPARE(m_log->Depth(), m_rootDepth);
}

void TestOrvAPIConnection::emptyTaskIdSendsNothing_data() {
    QTest::addColumn<int>("operation");
    QTest::newRow("IsTaskFinished") << 0;
    QTest::newRow("DeleteTask") << 1;
    QTest::newRow("GetReport") << 2;
    QTest::newRow("GetOrvXImportResults") << 3;
}

void TestOrvAPIConnection::emptyTaskIdSendsNothing() {
    QFETCH(int, operation);
    auto server = Serve(BaseScript());
    QVERIFY(server);
    TOrvAPIConnection connection(server->Param(), m_log->LoggerPtr(), Environment());
    const auto call = [&] {
        switch (operation) {
        case 0:
            connection.IsTaskFinished(QString());
            break;
        case 1:
            connection.DeleteTask(QString());
            break;
        case 2:
            connection.GetReport(QString());
            break;
        default:
            connection.GetOrvXImportResults(QString());
        }
    };
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, call());
    QCOMPARE(server->Methods(), QStringList{"orv.sb.connect"});
}

void TestOrvAPIConnection::logOutOnRelease_data() {
    QTest::addColumn<QJsonObject>("answer");
    QTest::addColumn<QString>("shown");
    QTest::newRow("accepted") << Result(true) << "";
    QTest::newRow("lost session ignored") << Fault(810, QStringLiteral("Wrong session")) << "";
    QTest::newRow("other text is an error")
        << Fault(810, QStringLiteral("wrong session"))
        << "Orvane server returned error: (810) wrong session. ";
    QTest::newRow("other fault is an error")
        << Fault(500, QStringLiteral("Database locked"))
        << "Orvane server returned error: (500) Database locked. ";
}

void TestOrvAPIConnection::logOutOnRelease() {
    QFETCH(QJsonObject, answer);
    QFETCH(QString, shown);
    auto server =
        Serve(WithMethod(BaseScript(), QStringLiteral("orv.disconnect"), Answers({answer})));
    QVERIFY(server);
    {
        // Releasing never throws, whatever the answer.
        auto connection =
            std::make_shared<TOrvAPIConnection>(server->Param(), m_log->LoggerPtr(), Environment());
    }
    QCOMPARE(server->Methods(), (QStringList{"orv.sb.connect", "orv.disconnect"}));
    QCoreApplication::processEvents();
    if (shown.isEmpty()) {
        QCOMPARE(m_displayed, QStringList{});
        QCOMPARE(int(m_log->Sink().OfKind(lmException).size()), 0);
    } else {
        // Not lost: logged, and shown by the error display.
        QCOMPARE(m_displayed, QStringList{shown});
        QCOMPARE(int(m_log->Sink().OfKind(lmException).size()), 1);
    }
}

void TestOrvAPIConnection::failedOperationLeavesConnectionUsable() {
    auto server =
        Serve(WithMethod(BaseScript(), QStringLiteral("orv.taskQueue.isTaskFinished"),
                         Answers({Fault(404, QStringLiteral("No such task")), Result(true)})));
    QVERIFY(server);
    TOrvAPIConnection connection(server->Param(), m_log->LoggerPtr(), Environment());
    QVERIFY_THROWS_EXCEPTION(EOrvAPIError, connection.IsTaskFinished(QStringLiteral("T-1")));
    QCOMPARE(connection.IsTaskFinished(QStringLiteral("T-2")), true);
    // The second call carries only its own parameters.
    QCOMPARE(ParamsOf(*server, QStringLiteral("orv.taskQueue.isTaskFinished"), 1),
             (QJsonArray{"s1", "T-2"}));
}

void TestOrvAPIConnection::orvXImport() {
    QJsonObject script = BaseScript();
    script.insert(QStringLiteral("orv.taskQueue.orvXImport"),
                  Answers({Result(QJsonObject{{"taskNbr", "-1"}, {"errorLog", "Bad map"}}),
                           Result(QJsonObject{{"taskNbr", "42"}, {"errorLog", ""}})}));
    script.insert(QStringLiteral("orv.taskQueue.getOrvXImportResults"),
                  Answers({Result(QJsonArray{QJsonObject{{"inputRowsAmount", 10},
                                                         {"importedRowsAmount", 8},
                                                         {"errorsList", Base64("row 3")},
                                                         {"realErrorsAmount", 2},
                                                         {"warningsAmount", 1}}}),
                           Result(QJsonArray{})}));
    auto server = Serve(script);
    QVERIFY(server);
    TOrvAPIConnection connection(server->Param(), m_log->LoggerPtr(), Environment());
    const TOrvXImportInputFiles files{{QStringLiteral("a.csv"), QStringLiteral("1,2")}};
    try {
        connection.OrvXImport(files, QStringLiteral("map"));
        QFAIL("task -1 was taken as an id");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), QStringLiteral("Failed to create OrvX import task: Bad map"));
    }
    QCOMPARE(connection.OrvXImport(files, QStringLiteral("map")), QStringLiteral("42"));
    QCOMPARE(ParamsOf(*server, QStringLiteral("orv.taskQueue.orvXImport")),
             (QJsonArray{
                 "s1", QJsonArray{QJsonObject{{"fileName", "a.csv"}, {"fileData", Base64("1,2")}}},
                 Base64("map")}));
    const TOrvXImportResults results = connection.GetOrvXImportResults(QStringLiteral("42"));
    QCOMPARE(int(results.size()), 1);
    QCOMPARE(results[0].InputRows, 10);
    QCOMPARE(results[0].ImportedRows, 8);
    QCOMPARE(results[0].ErrorsList, QStringLiteral("row 3"));
    QCOMPARE(results[0].RealErrors, 2);
    QCOMPARE(results[0].Warnings, 1);
    try {
        connection.GetOrvXImportResults(QStringLiteral("42"));
        QFAIL("no results were taken as success");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), QStringLiteral("OrvX import returned no results at all. The import "
                                             "probably has failed"));
    }
}

void TestOrvAPIConnection::tcImportOpensClientFirst() {
    QJsonObject script = BaseScript();
    script.insert(QStringLiteral("orv.sb.openClient"), Answers({Result(true)}));
    script.insert(
        QStringLiteral("orv.sb.TCImport"),
        Answers({Result(QJsonObject{{"RejectedRecords", 2}, {"LogFile", Base64("2 rejected")}})}));
    auto server = Serve(script);
    QVERIFY(server);
    TOrvAPIConnection connection(server->Param(), m_log->LoggerPtr(), Environment());
    TOrvPayrollBatchDef batch;
    batch.Company.ClNbr = 12;
    batch.Company.CoNbr = 34;
    batch.CheckDate = QDateTime(QDate(2026, 1, 15), QTime());
    batch.RunNumber = 2;
    batch.PrNbr = 501;
    batch.BatchNbr = 7;
    TTimeClockImportData data;
    data.FileData = QStringLiteral("E1 8.00");
    data.LookupOption = 2;
    data.FileFormat = 1;
    data.UseEmployeePayRates = true;
    const TTimeClockImportResult result = connection.TCImport(batch, data);
    QCOMPARE(result.RejectedRecords, 2);
    QCOMPARE(result.LogFile, QStringLiteral("2 rejected"));
    QCOMPARE(server->Methods(),
             (QStringList{"orv.sb.connect", "orv.sb.openClient", "orv.sb.TCImport"}));
    QCOMPARE(ParamsOf(*server, QStringLiteral("orv.sb.openClient")), (QJsonArray{"s1", 12}));
    QCOMPARE(ParamsOf(*server, QStringLiteral("orv.sb.TCImport")),
             (QJsonArray{"s1", 34, 501, Base64("E1 8.00"),
                         QJsonObject{{"LookupOption", 2},
                                     {"DBDTOption", 0},
                                     {"FourDigitYear", false},
                                     {"FileFormat", 1},
                                     {"AutoImportJobCodes", false},
                                     {"UseEmployeePayRates", true}},
                         7}));
    const TRecordedMessage elapsed = m_log->Sink().OfKind(lmDebug).back();
    QCOMPARE(elapsed.Block, QStringLiteral("Executing TC Import"));
    for (const char* item :
         {"Pr=1/15/2026 (run #2)", "Internal Batch#=7", "Look up employee by=SSN",
          "File format=Comma delimited", "Use employee pay rates=True"})
        QVERIFY2(elapsed.Context.contains(QString::fromUtf8(item)), item);
}

void TestOrvAPIConnection::stableReconnectsOnceWithSameArguments() {
    auto server =
        Serve(WithMethod(BaseScript({QStringLiteral("s1"), QStringLiteral("s2")}),
                         QStringLiteral("orv.taskQueue.isTaskFinished"),
                         Answers({Fault(810, QStringLiteral("Wrong session")), Result(true)})));
    QVERIFY(server);
    auto connection = CreateOrvAPIConnection(server->Param(), m_log->LoggerPtr(), Environment());
    QCOMPARE(connection->IsTaskFinished(QStringLiteral("T-5")), true);
    QCOMPARE(server->Methods(),
             (QStringList{"orv.sb.connect", "orv.taskQueue.isTaskFinished", "orv.disconnect",
                          "orv.sb.connect", "orv.taskQueue.isTaskFinished"}));
    QCOMPARE(ParamsOf(*server, QStringLiteral("orv.taskQueue.isTaskFinished"), 1),
             (QJsonArray{"s2", "T-5"}));
    QCOMPARE(MessagesOf(m_log->Sink(), lmEvent),
             (QStringList{"Reconnecting to Orvane", "Reconnected to Orvane"}));
    connection.reset();
    QCOMPARE(ParamsOf(*server, QStringLiteral("orv.disconnect"), 1), QJsonArray{"s2"});
}

void TestOrvAPIConnection::stableGivesUpOnSecondLoss() {
    auto server = Serve(WithMethod(BaseScript({QStringLiteral("s1"), QStringLiteral("s2")}),
                                   QStringLiteral("orv.taskQueue.getReport"),
                                   Answers({Fault(810, QStringLiteral("Wrong session"))})));
    QVERIFY(server);
    auto connection = CreateOrvAPIConnection(server->Param(), m_log->LoggerPtr(), Environment());
    try {
        connection->GetReport(QStringLiteral("T-5"));
        QFAIL("a second lost session was retried");
    } catch (const EOrvAPIError& e) {
        QCOMPARE(e.ErrorCode(), 810);
    }
    QCOMPARE(server->CountOf(QStringLiteral("orv.taskQueue.getReport")), 2);
    QCOMPARE(server->CountOf(QStringLiteral("orv.sb.connect")), 2);
    QCOMPARE(MessagesOf(m_log->Sink(), lmEvent),
             (QStringList{"Reconnecting to Orvane", "Reconnected to Orvane"}));
    // The next operation may reconnect again.
    QVERIFY_THROWS_EXCEPTION(EOrvAPIError, connection->GetReport(QStringLiteral("T-5")));
    QCOMPARE(server->CountOf(QStringLiteral("orv.sb.connect")), 3);
}

void TestOrvAPIConnection::stableRetriesOnlyTheLostSession_data() {
    QTest::addColumn<QJsonObject>("answer");
    QTest::newRow("other code") << Fault(811, QStringLiteral("Wrong session"));
    QTest::newRow("other letter case") << Fault(810, QStringLiteral("Wrong Session"));
    QTest::newRow("not a fault") << RawBody(QStringLiteral("<html/>"));
}

void TestOrvAPIConnection::stableRetriesOnlyTheLostSession() {
    QFETCH(QJsonObject, answer);
    auto server = Serve(
        WithMethod(BaseScript(), QStringLiteral("orv.taskQueue.deleteTask"), Answers({answer})));
    QVERIFY(server);
    auto connection = CreateOrvAPIConnection(server->Param(), m_log->LoggerPtr(), Environment());
    QVERIFY_THROWS_EXCEPTION(EztException, connection->DeleteTask(QStringLiteral("T-1")));
    QCOMPARE(server->CountOf(QStringLiteral("orv.sb.connect")), 1);
    QCOMPARE(server->CountOf(QStringLiteral("orv.taskQueue.deleteTask")), 1);
    // Logged once, in the operation's block.
    QCOMPARE(int(m_log->Sink().OfKind(lmException).size()), 1);
}

void TestOrvAPIConnection::stableAfterFailedReconnection() {
    QJsonObject script = BaseScript();
    script.insert(QStringLiteral("orv.sb.connect"),
                  Answers({Result(QJsonObject{{"SESSION", "s1"}}),
                           Fault(101, QStringLiteral("Account locked"))}));
    script.insert(QStringLiteral("orv.sb.openClient"),
                  Answers({Fault(810, QStringLiteral("Wrong session"))}));
    auto server = Serve(script);
    QVERIFY(server);
    auto connection = CreateOrvAPIConnection(server->Param(), m_log->LoggerPtr(), Environment());
    try {
        connection->OpenClient(12);
        QFAIL("the failed log-in was not reported");
    } catch (const EOrvAPIError& e) {
        QCOMPARE(e.ErrorMessage(), QStringLiteral("Account locked"));
    }
    try {
        connection->OpenClient(12);
        QFAIL("an operation without a session went on");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), QStringLiteral("The connection to Orvane was lost and could not be "
                                             "established again"));
    }
    QCOMPARE(server->CountOf(QStringLiteral("orv.sb.openClient")), 1);
}

QTEST_GUILESS_MAIN(TestOrvAPIConnection)
#include "tst_orvapiconnection.moc"
