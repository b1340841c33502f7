// The sandbox payroll service through the program's own XML-RPC client over
// HTTPS: what Python's XML-RPC writes must be what our parser and the
// dataset conversion read.
#include "PaySandboxServer.h"
#include "base/ztExceptions.h"
#include "table/MemTable.h"
#include "payroll/xmlrpc/XmlRpcClient.h"
#include "payroll/xmlrpc/XmlRpcDataSet.h"
#include "payroll/xmlrpc/XmlRpcTransport.h"

#include <QFile>
#include <QtTest>

class TestPaySandboxRpc : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void queriesBecomeTables_data();
    void queriesBecomeTables();
    void reportTaskFromStartToDelete();
    void failuresReachTheClient_data();
    void failuresReachTheClient();

private:
    IRpcResultPtr Call(const QString& method,
                       const std::function<void(IRpcFunction&)>& params = {});
    QString Login();

    TPaySandboxServer m_server;
};

void TestPaySandboxRpc::initTestCase() {
    if (!TPaySandboxServer::Available())
        QSKIP("python3 and openssl are needed");
    QString error;
    QVERIFY2(m_server.Start({}, &error), qPrintable(error));
}

void TestPaySandboxRpc::cleanupTestCase() {
    QCOMPARE(m_server.Stop(), 0);
}

void TestPaySandboxRpc::init() {
    QVERIFY(!Call(QStringLiteral("sandbox.reset"))->IsError());
}

IRpcResultPtr TestPaySandboxRpc::Call(const QString& method,
                                      const std::function<void(IRpcFunction&)>& params) {
    return m_server.Call(method, params);
}

QString TestPaySandboxRpc::Login() {
    const IRpcResultPtr result = Call("orv.sb.connect", [](IRpcFunction& f) {
        f.AddItem(QString());
        f.AddItem(QStringLiteral("demo"));
        f.AddItem(QStringLiteral("demo"));
    });
    if (result->IsError())
        return {};
    return result->AsStruct()->Key(QStringLiteral("SESSION"))->AsString();
}

void TestPaySandboxRpc::queriesBecomeTables_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("period");
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("dateField");
    // The sandbox's March 2024: 7 payrolls of company 34, 3 of 35, 6 of 51.
    QTest::newRow("clients") << "qClList.rwq" << false << 2 << QString();
    QTest::newRow("companies") << "qCoList.rwq" << false << 3 << QString();
    QTest::newRow("payrolls of March") << "qPrList.rwq" << true << 16 << "CHECK_DATE";
}

void TestPaySandboxRpc::queriesBecomeTables() {
    QFETCH(QString, file);
    QFETCH(bool, period);
    QFETCH(int, records);
    QFETCH(QString, dateField);
    const QString session = Login();
    QVERIFY(!session.isEmpty());
    QFile query(qEnvironmentVariable("ORVQ_SOURCE_DIR") + QStringLiteral("/data/queries/") + file);
    QVERIFY(query.open(QIODevice::ReadOnly));
    const QByteArray text = query.readAll();

    const IRpcResultPtr result = Call("orv.runQBQuery", [&](IRpcFunction& f) {
        f.AddItem(session);
        f.AddItemBase64(text);
        f.AddItem(QString());
        if (period) {
            IRpcStructPtr params = NewRpcStruct();
            params->AddItem(QStringLiteral("CHECK_DATE_FROM"), QStringLiteral("3/1/2024"));
            params->AddItem(QStringLiteral("CHECK_DATE_TO"), QStringLiteral("3/31/2024"));
            f.AddItem(params);
        }
    });
    QVERIFY2(!result->IsError(), qPrintable(result->IsError() ? result->FaultString() : QString()));
    std::unique_ptr<TMemTable> table = XmlToDataSet(result->AsStruct());
    QVERIFY(table);
    QCOMPARE(table->RecordCount(), records);
    const int nbr = table->FieldByName(QStringLiteral("CL_NBR"));
    QCOMPARE(table->Field(nbr).Kind, fkInteger);
    QVERIFY(table->Field(nbr).Required);
    const int name = table->FieldByName(file == QLatin1String("qPrList.rwq") ? "STATUS" : "NAME");
    QCOMPARE(table->Field(name).Kind, fkString);
    QVERIFY(!table->Field(name).Required);
    if (!dateField.isEmpty()) {
        const int date = table->FieldByName(dateField);
        QCOMPARE(table->Field(date).Kind, fkDateTime);
        for (table->First(); !table->Eof(); table->Next()) {
            const QDate d = table->Value(date).toDateTime().date();
            QVERIFY2(d >= QDate(2024, 3, 1) && d <= QDate(2024, 3, 31), qPrintable(d.toString()));
        }
    }
}

void TestPaySandboxRpc::reportTaskFromStartToDelete() {
    const QString session = Login();
    const IRpcResultPtr task = Call("orv.taskQueue.runReport", [&](IRpcFunction& f) {
        f.AddItem(session);
        f.AddItem(qint32(1911));
        IRpcStructPtr params = NewRpcStruct();
        for (const char* key : {"Clients", "Companies"}) {
            IRpcArrayPtr list = NewRpcArray();
            list->AddItem(qint32(strcmp(key, "Clients") == 0 ? 12 : 34));
            params->AddItem(QString::fromLatin1(key), list);
        }
        params->AddItem(QStringLiteral("Company"), qint32(34));
        IRpcArrayPtr payrolls = NewRpcArray();
        payrolls->AddItem(qint32(10091));
        params->AddItem(QStringLiteral("Payrolls"), payrolls);
        f.AddItem(params);
        f.AddItem(QStringLiteral("S"));
    });
    QVERIFY(!task->IsError());
    const QString id = task->AsString();
    auto withTask = [&](const char* method) {
        return Call(QString::fromLatin1(method), [&](IRpcFunction& f) {
            f.AddItem(session);
            f.AddItem(id);
        });
    };
    QCOMPARE(withTask("orv.taskQueue.isTaskFinished")->AsBoolean(), true);
    const IRpcStructPtr report = withTask("orv.taskQueue.getReport")->AsStruct();
    QCOMPARE(report->Key(QStringLiteral("Type"))->AsString(), QString("ASCII"));
    // The agency report's placeholder, quoted field and empty fields intact.
    QCOMPARE(report->Key(QStringLiteral("Report"))->AsBase64(),
             QByteArray(",\"Payroll Agency\",,,\r\n"));
    QVERIFY(!withTask("orv.taskQueue.deleteTask")->IsError());
    const IRpcResultPtr gone = withTask("orv.taskQueue.getReport");
    QVERIFY(gone->IsError());
    QCOMPARE(gone->FaultCode(), 860);
}

void TestPaySandboxRpc::failuresReachTheClient_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("lost session") << "sandbox.expireSessions" << QString() << 810
                                  << "Wrong session";
    QTest::newRow("injected fault")
        << "sandbox.failNext" << QString() << 777 << "Database <offline> & \"busy\"";
    QTest::newRow("HTML page") << "sandbox.answerNext"
                               << "html" << 601 << "Invalid payload received from xml-rpc server";
    QTest::newRow("empty answer") << "sandbox.answerNext"
                                  << "empty" << 600
                                  << "The xml-rpc server returned a empty response";
    QTest::newRow("HTTP error") << "sandbox.answerNext"
                                << "status500" << -1 << "status 500";
    QTest::newRow("hang-up") << "sandbox.answerNext"
                             << "drop" << -1 << QString();
    QTest::newRow("value that does not convert") << "sandbox.answerNext"
                                                 << "badvalue" << -2 << "not a number";
}

void TestPaySandboxRpc::failuresReachTheClient() {
    QFETCH(QString, control);
    QFETCH(QString, kind);
    QFETCH(int, code);
    QFETCH(QString, text);
    const QString session = Login();
    const IRpcResultPtr armed = Call(control, [&](IRpcFunction& f) {
        if (control == QLatin1String("sandbox.failNext")) {
            f.AddItem(QStringLiteral("orv.disconnect"));
            f.AddItem(qint32(code));
            f.AddItem(text);
        } else if (!kind.isEmpty()) {
            f.AddItem(kind);
            f.AddItem(QStringLiteral("orv.disconnect"));
        }
    });
    QVERIFY(!armed->IsError());

    try {
        const IRpcResultPtr result =
            Call("orv.disconnect", [&](IRpcFunction& f) { f.AddItem(session); });
        QVERIFY(code >= 0);
        QVERIFY(result->IsError());
        QCOMPARE(result->FaultCode(), code);
        QCOMPARE(result->FaultString(), text);
    } catch (const ERpcTransportError& e) {
        QVERIFY2(code == -1, qPrintable(e.Message()));
        QVERIFY2(e.Message().contains(text), qPrintable(e.Message()));
    } catch (const EztException& e) {
        QVERIFY2(code == -2, qPrintable(e.Message()));
        QVERIFY2(e.Message().contains(text), qPrintable(e.Message()));
    }
}

QTEST_GUILESS_MAIN(TestPaySandboxRpc)
#include "tst_paysandboxrpc.moc"
