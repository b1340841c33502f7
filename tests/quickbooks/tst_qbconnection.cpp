#include "QBTestSupport.h"
#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "quickbooks/QBConnection.h"
#include "quickbooks/QBSessionManager.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString DownloadAddress = u"https://downloads.example/qbfc"_s;

std::unique_ptr<TQBConnection> CannedConnection(const TTestLogger& log,
                                                std::shared_ptr<TCannedState> state) {
    return std::make_unique<TQBConnection>(
        log.Logger(),
        std::make_unique<TQBSessionManager>(std::make_unique<TCannedProcessor>(state)),
        DownloadAddress);
}

QString Rs(const QString& kind, int id, const QString& code, const QString& severity,
           const QString& message) {
    return kind + u"Rs requestID=\"" + QString::number(id) + u"\" statusCode=\"" + code +
           u"\" statusSeverity=\"" + severity + u"\" statusMessage=\"" + message + u"\"";
}

QString Answer(const QString& body) {
    return u"<?xml version=\"1.0\" ?><QBXML><QBXMLMsgsRs>" + body + u"</QBXMLMsgsRs></QBXML>";
}

QString DemoDir() {
    return qEnvironmentVariable("ORVQ_SOURCE_DIR") + u"/data/demo"_s;
}

TQBEmployeeRet Employee(const QString& id, const QString& first, const QString& middle,
                        const QString& last) {
    TQBEmployeeRet e;
    e.ListID.SetValue(id);
    e.FirstName.SetValue(first);
    if (!middle.isNull())
        e.MiddleName.SetValue(middle);
    e.LastName.SetValue(last);
    return e;
}

} // namespace

class TestQBConnection : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void versionChoice_data();
    void versionChoice();
    void badVersions_data();
    void badVersions();
    void createLogsVersionsAndUsesNewest();
    void sdkMissing();
    void sessionRefusedClosesConnection();
    void noVersionEndsSession();
    void destroyEndsSession();
    void statusTable_data();
    void statusTable();
    void errorStopsBeforeLaterResponses();
    void requestAndResponseLogged();
    void lostAnswerAskedForAtOnce_data();
    void lostAnswerAskedForAtOnce();

    void sandboxDemoCreatedOnFirstUse();
    void listQueries();
    void emptyClassList();
    void transactionQueries();
    void markCleared();
    void voidThroughTheSeam();
    void statusErrorReachesCallerLoggedInBlock();
    void queryCompanyNeedsAName_data();
    void queryCompanyNeedsAName();
    void namedCompanyReadBackAndDeleted();

    void employeeName_data();
    void employeeName();
    void findEmployeeByName_data();
    void findEmployeeByName();
    void findEmployeeByListID();

private:
    std::unique_ptr<TQBConnection> SandboxConnection(const TTestLogger& log);
    QTemporaryDir m_dir;
    int m_files = 0;
};

void TestQBConnection::versionChoice_data() {
    QTest::addColumn<QStringList>("versions");
    QTest::addColumn<int>("key");
    QTest::newRow("newest of several") << QStringList{"1.0", "2.0", "6.0", "7.0"} << 7000;
    QTest::newRow("minor decides") << QStringList{"2.1", "2.0"} << 2001;
    QTest::newRow("2.10 beats 2.9") << QStringList{"2.9", "2.10"} << 2010;
    QTest::newRow("newer than the SDK") << QStringList{"7.0", "13.0"} << 13000;
    QTest::newRow("none") << QStringList{} << 0;
}

void TestQBConnection::versionChoice() {
    QFETCH(QStringList, versions);
    QFETCH(int, key);
    QCOMPARE(TQBConnection::ChooseQBXMLVersion(versions), key);
}

void TestQBConnection::badVersions_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("message");
    QTest::newRow("no dot") << "7"
                            << "QuickBooks reported the qbXML version '7', which has no minor "
                               "number.";
    QTest::newRow("letters") << "7.x"
                             << "'x' is not a valid integer value";
    QTest::newRow("empty major") << ".1"
                                 << "'' is not a valid integer value";
    QTest::newRow("minor that passes for a major")
        << "1.2000"
        << "QuickBooks reported the qbXML version '1.2000', which is out of range.";
}

void TestQBConnection::badVersions() {
    QFETCH(QString, version);
    QFETCH(QString, message);
    try {
        TQBConnection::ChooseQBXMLVersion({u"1.0"_s, version});
        QFAIL("accepted");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), message);
    }
}

void TestQBConnection::createLogsVersionsAndUsesNewest() {
    TTestLogger log;
    auto state = std::make_shared<TCannedState>();
    state->Versions = QStringList{"1.0", "2.10", "2.9"};
    auto qb = CannedConnection(log, state);
    QCOMPARE(qb->MajorVersion(), 2);
    QCOMPARE(qb->MinorVersion(), 10);
    QCOMPARE(log.Log->Lines,
             QStringList{u"Connecting to QB | Debug: The following qbXML versions are supported "
                         u"by the user's version of QuickBooks: 1.0, 2.10, 2.9"_s});
    const auto set = qb->NewRequestSet();
    QCOMPARE(set->OnError(), oeStopOnError);
    QVERIFY(set->ToXMLString().contains(u"<?qbxml version=\"2.10\"?>"_s));
}

void TestQBConnection::sdkMissing() {
    TTestLogger log;
    auto state = std::make_shared<TCannedState>();
    state->OpenError = EQBProcessorError(0x80040154, u"Class not registered"_s);
    try {
        CannedConnection(log, state);
        QFAIL("connected");
    } catch (const EQBAccessError& e) {
        QCOMPARE(e.Message(), u"Cannot access QuickBooks. Most likely the QuickBooks QBFC library "
                              u"is not installed. Please download QBFC7_0Installer.exe from " +
                                  DownloadAddress);
    }
    QCOMPARE(state->Calls, QStringList{"Open"});
    // The SDK's own error is kept in the log, the user's message follows it.
    QCOMPARE(log.Log->Lines.size(), 2);
    QVERIFY(log.Log->Lines[0].contains(u"Class not registered"_s));
    QVERIFY(log.Log->Lines[1].contains(u"Cannot access QuickBooks."_s));
}

void TestQBConnection::sessionRefusedClosesConnection() {
    TTestLogger log;
    auto state = std::make_shared<TCannedState>();
    state->BeginError = EQBProcessorError(qbhr::AccessDenied, u"Access denied by the user"_s);
    QVERIFY_THROWS_EXCEPTION(EQBProcessorError, CannedConnection(log, state));
    QCOMPARE(state->Calls, (QStringList{"Open", "Begin", "Close"}));
    QCOMPARE(log.Log->Lines.size(), 1);
    QVERIFY(log.Log->Lines[0].startsWith(u"Connecting to QB | "_s));
    QVERIFY(log.Log->Lines[0].contains(u"Access denied by the user"_s));
}

void TestQBConnection::noVersionEndsSession() {
    TTestLogger log;
    auto state = std::make_shared<TCannedState>();
    state->Versions.clear();
    QVERIFY_THROWS_EXCEPTION(EQBError, CannedConnection(log, state));
    QCOMPARE(state->Calls, (QStringList{"Open", "Begin", "End", "Close"}));
}

void TestQBConnection::destroyEndsSession() {
    TTestLogger log;
    auto state = std::make_shared<TCannedState>();
    CannedConnection(log, state).reset();
    QCOMPARE(state->Calls, (QStringList{"Open", "Begin", "End", "Close"}));
}

void TestQBConnection::statusTable_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("severity");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QString>("error");
    QTest::newRow("info 0 logs nothing") << "0"
                                         << "Info"
                                         << "Status OK"
                                         << ""
                                         << "";
    QTest::newRow("info 1 is a debug message")
        << "1"
        << "Info"
        << "A query request did not find a matching object in QuickBooks"
        << "Debug: QB: [1] A query request did not find a matching object in QuickBooks"
        << "";
    QTest::newRow("severity compared in upper case") << "1"
                                                     << "info"
                                                     << "nothing"
                                                     << "Debug: QB: [1] nothing"
                                                     << "";
    QTest::newRow("warn") << "500"
                          << "Warn"
                          << "not fully completed"
                          << "Warning: QB: [500] not fully completed"
                          << "";
    QTest::newRow("error fails") << "3140"
                                 << "Error"
                                 << "invalid reference"
                                 << ""
                                 << "QB: [3140] invalid reference";
    QTest::newRow("unexpected severity warns") << "9"
                                               << "Fatal"
                                               << "boom"
                                               << "Warning: QB Fatal: [9] boom"
                                               << "";
}

void TestQBConnection::statusTable() {
    QFETCH(QString, code);
    QFETCH(QString, severity);
    QFETCH(QString, message);
    QFETCH(QString, logged);
    QFETCH(QString, error);
    TTestLogger log;
    auto state = std::make_shared<TCannedState>();
    state->Answer = Answer(u'<' + Rs(u"AccountQuery"_s, 1, code, severity, message) + u"/>");
    auto qb = CannedConnection(log, state);
    auto set = qb->NewRequestSet();
    set->AppendAccountQueryRq();
    log.Log->Lines.clear();
    QString raised;
    try {
        qb->SendRequestSet(*set);
    } catch (const EQBStatusError& e) {
        raised = e.Message();
        QCOMPARE(e.StatusCode(), code.toInt());
    }
    // The status's own words come first; a line saying what to do may follow.
    QCOMPARE(raised.section(u"\r\n"_s, 0, 0), error);
    QStringList statusLines = log.Log->Lines.filter(QRegularExpression(u": QB[ :]"_s));
    for (QString& l : statusLines)
        l = l.section(u" | "_s, 1);
    QCOMPARE(statusLines, logged.isEmpty() ? QStringList() : QStringList{logged});
}

void TestQBConnection::errorStopsBeforeLaterResponses() {
    TTestLogger log;
    auto state = std::make_shared<TCannedState>();
    state->Answer = Answer(u'<' + Rs(u"CheckAdd"_s, 1, u"3140"_s, u"Error"_s, u"bad account"_s) +
                           u"/><" + Rs(u"CheckAdd"_s, 2, u"500"_s, u"Warn"_s, u"later"_s) + u"/>");
    auto qb = CannedConnection(log, state);
    auto set = qb->NewRequestSet();
    set->AppendCheckAddRq();
    set->AppendCheckAddRq();
    QVERIFY_THROWS_EXCEPTION(EQBStatusError, qb->SendRequestSet(*set));
    QCOMPARE(log.Log->Lines.filter(u"later"_s), QStringList());
}

void TestQBConnection::requestAndResponseLogged() {
    TTestLogger log;
    auto state = std::make_shared<TCannedState>();
    state->Answer =
        Answer(u'<' + Rs(u"AccountQuery"_s, 1, u"0"_s, u"Info"_s, u"Status OK"_s) + u"/>");
    auto qb = CannedConnection(log, state);
    auto set = qb->NewRequestSet();
    set->AppendAccountQueryRq();
    const int first = static_cast<int>(log.Log->Lines.size());
    const auto response = qb->SendRequestSet(*set);
    QCOMPARE(log.Log->Lines.mid(first),
             (QStringList{u"Orvane QB Export application | Debug: qbXML request sent"_s,
                          u"Orvane QB Export application | Debug: qbXML response received"_s}));
    QCOMPARE(log.Log->Details[first], state->LastRequest);
    QCOMPARE(log.Log->Details[first + 1], state->Answer);
    QCOMPARE(response->ToXMLString(), state->Answer);
}

void TestQBConnection::lostAnswerAskedForAtOnce_data() {
    QTest::addColumn<bool>("changes");
    QTest::addColumn<uint>("hresult");
    QTest::addColumn<QString>("kept"); // the answer to the status request
    QTest::addColumn<QString>("outcome");
    const QString kept =
        Answer(u'<' + Rs(u"ClearedStatusMod"_s, 1, u"0"_s, u"Info"_s, u"Status OK"_s) + u"/>");
    QTest::newRow("answer kept") << true << uint(qbhr::CannotAccess) << kept << "recovered";
    QTest::newRow("none kept") << true << uint(qbhr::CannotAccess) << Answer(QString())
                               << "state unknown";
    QTest::newRow("set refused whole") << true << uint(qbhr::ParseError) << kept << "refused";
    QTest::newRow("a query is not recovered")
        << false << uint(qbhr::CannotAccess) << kept << "refused";
}

void TestQBConnection::lostAnswerAskedForAtOnce() {
    QFETCH(bool, changes);
    QFETCH(uint, hresult);
    QFETCH(QString, kept);
    QFETCH(QString, outcome);
    TTestLogger log;
    auto state = std::make_shared<TCannedState>();
    state->Answer = kept;
    auto qb = CannedConnection(log, state);
    state->FailNext = EQBProcessorError(hresult, u"The connection was lost."_s);
    auto set = qb->NewRequestSet();
    if (changes) {
        TQBClearedStatusMod& mod = set->AppendClearedStatusModRq();
        mod.TxnID.SetValue(u"80000001-1"_s);
        mod.ClearedStatus.SetValue(csCleared);
    } else {
        set->AppendAccountQueryRq();
    }
    QString result;
    try {
        qb->SendBatch(*set);
        result = u"recovered"_s;
    } catch (const EQBStateUnknown& e) {
        QVERIFY(e.Message().endsWith(u"state unknown: check QuickBooks"_s));
        result = u"state unknown"_s;
    } catch (const EQBProcessorError&) {
        result = u"refused"_s;
    }
    QCOMPARE(result, outcome);
    static const QRegularExpression newID(u"newMessageSetID=\"([0-9a-f]{12}-1)\""_s);
    const QString id = newID.match(state->Requests.value(0)).captured(1);
    QCOMPARE(id.isEmpty(), !changes);
    if (outcome == u"refused") {
        QCOMPARE(state->Requests.size(), 1);
        return;
    }
    // The very next request asks for the lost set's answer, and only that.
    QCOMPARE(state->Requests.size(), 2);
    QVERIFY2(state->Requests[1].contains(u"oldMessageSetID=\"" + id + u'"'),
             qPrintable(state->Requests[1]));
    QVERIFY(!state->Requests[1].contains(u"Rq requestID"_s));
    QCOMPARE(log.Log->Lines.filter(u"was recovered"_s).size(), outcome == u"recovered" ? 1 : 0);
}

// ---- against a sandbox company file ----------------------------------------

std::unique_ptr<TQBConnection> TestQBConnection::SandboxConnection(const TTestLogger& log) {
    TQBConnectionConfig config;
    config.Processor.Factory = &CreateSandboxRequestProcessor;
    config.Processor.CompanyFile = m_dir.filePath(u"company%1.qbsb"_s.arg(++m_files));
    config.Processor.DemoDataDir = DemoDir();
    config.SdkDownloadAddress = DownloadAddress;
    return TQBConnection::Create(log.Logger(), config);
}

void TestQBConnection::sandboxDemoCreatedOnFirstUse() {
    TTestLogger log;
    TQBConnectionConfig config;
    config.Processor.Factory = &CreateSandboxRequestProcessor;
    config.Processor.CompanyFile = m_dir.filePath(u"fresh.qbsb"_s);
    config.Processor.DemoDataDir = DemoDir();
    QVERIFY(!QFile::exists(config.Processor.CompanyFile));
    auto qb = TQBConnection::Create(log.Logger(), config);
    QVERIFY(QFile::exists(config.Processor.CompanyFile));
    QCOMPARE(qb->MajorVersion(), 7);
    QCOMPARE(qb->MinorVersion(), 0);
    QVERIFY(!qb->QueryAccounts().empty());
}

void TestQBConnection::listQueries() {
    TTestLogger log;
    auto qb = SandboxConnection(log);
    QStringList names;
    qb->GetAccountFullNames(names);
    QCOMPARE(names.size(), 18);
    QCOMPARE(names.first(), u"Checking"_s);
    QVERIFY(names.contains(u"Savings"_s));
    QVERIFY(names.contains(u"Payroll Liabilities:Unemployment"_s));
    QStringList numbers{u"stale"_s};
    qb->GetAccountNumbers(numbers);
    QCOMPARE(numbers.size(), 16); // Savings and Unemployment have no number
    QCOMPARE(numbers.first(), u"1000"_s);
    qb->GetClassFullNames(names);
    QCOMPARE(names, (QStringList{"Bakery", "Cafe", "Office", "Office:Delivery"}));
    qb->GetCustomerFullNames(names);
    QCOMPARE(names,
             (QStringList{"Division 10", "Division 20", "Division 20:Catering", "Walk-in Sales"}));
    const TQBEmployeeRetList employees = qb->QueryEmployees();
    QCOMPARE(employees.size(), size_t(6));
    QCOMPARE(employees[0].Name.GetValue(), u"Maria A. Lopez"_s);
    QCOMPARE(TQBConnection::GetEmployeeName(&employees[0]),
             (TQBEEName{u"Maria"_s, u"A"_s, u"Lopez"_s}));
    for (const char* block :
         {"Getting QuickBooks Account list", "Getting QuickBooks Class list",
          "Getting QuickBooks Customer list", "Getting QuickBooks Employee list"})
        QVERIFY2(
            !log.Log->Lines.filter(QString::fromLatin1(block) + u" | Debug: qbXML request sent")
                 .isEmpty(),
            block);
}

void TestQBConnection::emptyClassList() {
    TTestLogger log;
    TQBConnectionConfig config;
    config.Processor.Factory = &CreateSandboxRequestProcessor;
    config.Processor.CompanyFile = m_dir.filePath(u"empty.qbsb"_s);
    CreateSandboxCompany(config.Processor.CompanyFile, QString());
    auto qb = TQBConnection::Create(log.Logger(), config);
    QStringList classes{u"stale"_s};
    qb->GetClassFullNames(classes);
    QCOMPARE(classes, QStringList());
    QCOMPARE(log.Log->Lines.filter(u"Getting QuickBooks Class list | Debug: QB:"_s),
             QStringList{u"Getting QuickBooks Class list | Debug: QB: [1] A query request did "
                         u"not find a matching object in QuickBooks"_s});
    QVERIFY(log.Log->Lines.filter(u"Warning"_s).isEmpty());
    QVERIFY(!qb->JournalEntryExists(QDate(2024, 3, 7)));
    QVERIFY(qb->QueryChecks(QDate(2024, 1, 1), QDate(2024, 12, 31)).empty());
}

void TestQBConnection::transactionQueries() {
    TTestLogger log;
    auto qb = SandboxConnection(log);
    auto set = qb->NewRequestSet();
    for (const auto& [number, date] :
         {std::pair{"100", QDate(2024, 3, 1)}, std::pair{"101", QDate(2024, 3, 7)},
          std::pair{"102", QDate(2024, 3, 8)}}) {
        TQBCheckAdd& check = set->AppendCheckAddRq();
        check.AccountRef.FullName.SetValue(u"Checking"_s);
        check.RefNumber.SetValue(QString::fromLatin1(number));
        check.TxnDate.SetValue(date);
        TQBExpenseLineAdd& line = check.AppendExpenseLine();
        line.AccountRef.FullName.SetValue(u"Payroll Liabilities"_s);
        line.Amount.SetValue(Currency::FromUnits(250));
    }
    TQBDepositAdd& deposit = set->AppendDepositAddRq();
    deposit.TxnDate.SetValue(QDate(2024, 3, 7));
    deposit.DepositToAccountRef.FullName.SetValue(u"Checking"_s);
    TQBDepositLineAdd& line = deposit.AppendDepositLine();
    line.AccountRef.FullName.SetValue(u"Payroll Liabilities"_s);
    line.CheckNumber.SetValue(u"99"_s);
    line.Amount.SetValue(Currency::FromUnits(10));
    TQBJournalEntryAdd& entry = set->AppendJournalEntryAddRq();
    entry.TxnDate.SetValue(QDate(2024, 3, 7));
    for (auto kind : {TQBJournalLineKind::Debit, TQBJournalLineKind::Credit}) {
        TQBJournalLineAdd& l = entry.AppendJournalLine(kind);
        l.AccountRef.FullName.SetValue(kind == TQBJournalLineKind::Debit
                                           ? u"Payroll Expenses:Wages"_s
                                           : u"Payroll Liabilities"_s);
        l.Amount.SetValue(Currency::FromUnits(5));
    }
    qb->SendRequestSet(*set);

    const TQBCheckRetList checks = qb->QueryChecks(QDate(2024, 3, 1), QDate(2024, 3, 7));
    QCOMPARE(checks.size(), size_t(2));
    QCOMPARE(checks[0].RefNumber.GetValue(), u"100"_s);
    QCOMPARE(checks[1].ExpenseLineRetList.size(), size_t(1)); // line items included
    QCOMPARE(checks[1].ExpenseLineRetList[0].Amount.GetValue(), Currency::FromUnits(250));
    const TQBCheckRetList byNumber = qb->QueryChecksByNumber(u"102"_s);
    QCOMPARE(byNumber.size(), size_t(1));
    QCOMPARE(byNumber[0].TxnDate.GetValue(), QDate(2024, 3, 8));
    QVERIFY(byNumber[0].ExpenseLineRetList.empty()); // no line items
    QVERIFY(qb->QueryChecksByNumber(u"10"_s).empty());
    const TQBDepositRetList deposits = qb->QueryDeposits(QDate(2024, 3, 7), QDate(2024, 3, 7));
    QCOMPARE(deposits.size(), size_t(1));
    QCOMPARE(deposits[0].DepositLineRetList.at(0).CheckNumber.GetValue(), u"99"_s);
    QVERIFY(qb->QueryDeposits(QDate(2024, 3, 8), QDate(2024, 3, 9)).empty());
    const TQBJournalEntryRetList entries =
        qb->QueryJournalEntries(QDate(2024, 3, 7), QDate(2024, 3, 7));
    QCOMPARE(entries.size(), size_t(1));
    QVERIFY(entries[0].JournalLineRetList.empty()); // no line items
    QVERIFY(qb->JournalEntryExists(QDate(2024, 3, 7)));
    QVERIFY(!qb->JournalEntryExists(QDate(2024, 3, 6)));
    for (const char* block : {"Getting QuickBooks Check list", "Getting QuickBooks Deposit list",
                              "Getting QuickBooks Journal Entry list", "Querying QuickBooks Check"})
        QVERIFY2(
            !log.Log->Lines.filter(QString::fromLatin1(block) + u" | Debug: qbXML request sent")
                 .isEmpty(),
            block);
}

void TestQBConnection::markCleared() {
    TTestLogger log;
    auto qb = SandboxConnection(log);
    auto set = qb->NewRequestSet();
    TQBCheckAdd& check = set->AppendCheckAddRq();
    check.AccountRef.FullName.SetValue(u"Checking"_s);
    check.TxnDate.SetValue(QDate(2024, 3, 7));
    const auto response = qb->SendRequestSet(*set);
    const QString txnID = response->At(0).DetailAs<TQBCheckRet>()->TxnID.GetValue();
    const QString file = m_dir.filePath(u"company%1.qbsb"_s.arg(m_files));
    QCOMPARE(TQBSandboxCompany(file, false).FindTxn(txnID)->Cleared, u"NotCleared"_s);
    qb->MarkCleared(txnID);
    QCOMPARE(TQBSandboxCompany(file, false).FindTxn(txnID)->Cleared, u"Cleared"_s);
    QVERIFY_THROWS_EXCEPTION(EQBStatusError, qb->MarkCleared(u"NOPE-1"_s));
}

// The way the checks export voids: find the check by number, void it by id.
void TestQBConnection::voidThroughTheSeam() {
    TTestLogger log;
    auto qb = SandboxConnection(log);
    auto set = qb->NewRequestSet();
    TQBCheckAdd& check = set->AppendCheckAddRq();
    check.AccountRef.FullName.SetValue(u"Checking"_s);
    check.PayeeEntityRef.FullName.SetValue(u"Wei Chen"_s);
    check.RefNumber.SetValue(u"4711"_s);
    check.TxnDate.SetValue(QDate(2024, 3, 7));
    check.Memo.SetValue(u"Payroll"_s);
    TQBExpenseLineAdd& line = check.AppendExpenseLine();
    line.AccountRef.FullName.SetValue(u"Payroll Liabilities"_s);
    line.Amount.SetValue(Currency::FromRaw(1234500));
    qb->SendRequestSet(*set);

    const TQBCheckRetList found = qb->QueryChecksByNumber(u"4711"_s);
    QCOMPARE(found.size(), size_t(1));
    QCOMPARE(found[0].Amount.GetValue(), Currency::FromRaw(1234500));
    auto voidSet = qb->NewRequestSet();
    TQBTxnVoid& v = voidSet->AppendTxnVoidRq();
    v.TxnVoidType.SetValue(tvtCheck);
    v.TxnID.SetValue(found[0].TxnID.GetValue());
    const auto response = qb->SendRequestSet(*voidSet);
    const TQBTxnVoidRet* voided = response->At(0).DetailAs<TQBTxnVoidRet>();
    QVERIFY(voided);
    QCOMPARE(voided->TxnID.GetValue(), found[0].TxnID.GetValue());
    QCOMPARE(voided->TxnVoidType.GetValue(), u"Check"_s);

    const TQBCheckRetList after = qb->QueryChecksByNumber(u"4711"_s);
    QCOMPARE(after.size(), size_t(1));
    QVERIFY(after[0].Amount.GetValue().IsZero());
    QCOMPARE(after[0].Memo.GetValue(), u"VOID: Payroll"_s);
    QCOMPARE(after[0].PayeeEntityRef.FullName.GetValue(), u"Wei Chen"_s);
}

void TestQBConnection::statusErrorReachesCallerLoggedInBlock() {
    TTestLogger log;
    auto qb = SandboxConnection(log);
    {
        TQBSandboxCompany company(m_dir.filePath(u"company%1.qbsb"_s.arg(m_files)), false);
        TSbFaults faults;
        faults.FailRequest = 1;
        company.Begin();
        company.SetFaults(faults);
        company.Commit();
    }
    QVERIFY_THROWS_EXCEPTION(EQBStatusError, qb->QueryEmployees());
    const QStringList logged = log.Log->Lines.filter(u"QB: [3180]"_s);
    QCOMPARE(logged.size(), 1); // once, in the query's block
    QVERIFY2(logged[0].startsWith(u"Getting QuickBooks Employee list | "_s), qPrintable(logged[0]));
    auto set = qb->NewRequestSet();
    TQBCheckAdd& check = set->AppendCheckAddRq();
    check.AccountRef.FullName.SetValue(u"No Such Bank"_s);
    try {
        qb->SendRequestSet(*set);
        QFAIL("accepted");
    } catch (const EQBStatusError& e) {
        QCOMPARE(e.StatusCode(), 3140);
        QCOMPARE(e.Message().section(u"\r\n"_s, 0, 0),
                 u"QB: [3140] There is an invalid reference to QuickBooks Account "
                 u"\"No Such Bank\" in the Check.  QuickBooks error message: Invalid "
                 u"argument.  The specified record does not exist in the list."_s);
    }
}

void TestQBConnection::queryCompanyNeedsAName_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("named") << "Harbor Lane Bakery";
    QTest::newRow("blank") << " ";
}

// The company guard compares names: an unnamed company must not pass.
void TestQBConnection::queryCompanyNeedsAName() {
    QFETCH(QString, name);
    TTestLogger log;
    auto state = std::make_shared<TCannedState>();
    state->Answer = Answer(u'<' + Rs(u"CompanyQuery"_s, 1, u"0"_s, u"Info"_s, u"Status OK"_s) +
                           u"><CompanyRet><CompanyName>" + name +
                           u"</CompanyName></CompanyRet></CompanyQueryRs>");
    QString got;
    try {
        got = CannedConnection(log, state)->QueryCompany().CompanyName.GetValue();
    } catch (const EQBResponseError& e) {
        got = e.Message();
    }
    QCOMPARE(got, name.trimmed().isEmpty() ? u"The answer from QuickBooks could not be read: it "
                                             u"does not name the open company."_s
                                           : name);
}

// A session on the file the connection names, and what an undo needs of it:
// TxnID and EditSequence of an add, read back by TxnID (several in one
// query), deletes.
void TestQBConnection::namedCompanyReadBackAndDeleted() {
    TTestLogger log;
    TQBConnectionConfig config;
    config.Processor.Factory = &CreateSandboxRequestProcessor;
    config.Processor.CompanyFile = m_dir.filePath(u"not-opened.qbsb"_s);
    config.CompanyFile = m_dir.filePath(u"named.qbsb"_s);
    CreateSandboxCompany(config.CompanyFile, DemoDir(), u"Second Street Deli"_s);
    auto qb = TQBConnection::Create(log.Logger(), config);
    QCOMPARE(qb->QueryCompany().CompanyName.GetValue(), u"Second Street Deli"_s);
    QCOMPARE(qb->CurrentCompanyFileName(), config.CompanyFile);
    QVERIFY(!QFile::exists(config.Processor.CompanyFile));

    auto set = qb->NewRequestSet();
    set->AppendCheckAddRq().AccountRef.FullName.SetValue(u"Checking"_s);
    TQBDepositAdd& add = set->AppendDepositAddRq();
    add.DepositToAccountRef.FullName.SetValue(u"Checking"_s);
    add.AppendDepositLine().AccountRef.FullName.SetValue(u"Payroll Liabilities"_s);
    const auto added = qb->SendRequestSet(*set);
    const TQBCheckRet check = *added->At(0).DetailAs<TQBCheckRet>();
    const QString checkID = check.TxnID.GetValue();
    const QString depositID = added->At(1).DetailAs<TQBDepositRet>()->TxnID.GetValue();
    const TQBCheckRetList read = qb->QueryChecksByTxnID({checkID, u"80000099-1"_s});
    QCOMPARE(read.size(), size_t(1));
    QCOMPARE(read[0].TxnID.GetValue() + u'/' + read[0].EditSequence.GetValue(),
             checkID + u'/' + check.EditSequence.GetValue());

    QCOMPARE(qb->QueryDepositsByTxnID({depositID}).size(), size_t(1));
    QCOMPARE(qb->DeleteTransaction(tdtDeposit, depositID).TxnID.GetValue(), depositID);
    QVERIFY(qb->QueryDepositsByTxnID({depositID}).empty());
    QVERIFY_THROWS_EXCEPTION(EQBStatusError, qb->DeleteTransaction(tdtDeposit, depositID));
    // A delete changes data: it is sent for error recovery.
    QVERIFY(log.Log->Details.filter(u"<TxnDelRq"_s).first().contains(u"newMessageSetID"_s));
    // No TxnIDs, no query: without a filter it would read every transaction.
    const qsizetype logged = log.Log->Lines.size();
    QVERIFY(qb->QueryJournalEntriesByTxnID({}).empty());
    QCOMPARE(log.Log->Lines.size(), logged);
}

void TestQBConnection::employeeName_data() {
    QTest::addColumn<QString>("middle");
    QTest::addColumn<QString>("initial");
    QTest::newRow("initial with full stop") << "A."
                                            << "A";
    QTest::newRow("plain initial") << "A"
                                   << "A";
    QTest::newRow("longer name with full stop") << "Jo."
                                                << "Jo";
    QTest::newRow("lone full stop stays") << "."
                                          << ".";
    QTest::newRow("trimmed first") << "  B.  "
                                   << "B";
    QTest::newRow("absent") << QString() << "";
}

void TestQBConnection::employeeName() {
    QFETCH(QString, middle);
    QFETCH(QString, initial);
    const TQBEmployeeRet e = Employee(u"1"_s, u" Maria "_s, middle, u"Lopez "_s);
    QCOMPARE(TQBConnection::GetEmployeeName(&e), (TQBEEName{u"Maria"_s, initial, u"Lopez"_s}));
    QCOMPARE(TQBConnection::GetEmployeeName(nullptr), TQBEEName());
}

void TestQBConnection::findEmployeeByName_data() {
    QTest::addColumn<QString>("middle");
    QTest::addColumn<QString>("foundID");
    QTest::newRow("A matches A.") << "A"
                                  << "2";
    QTest::newRow("lower case does not match") << "a"
                                               << "";
    QTest::newRow("no middle initial") << ""
                                       << "1";
}

void TestQBConnection::findEmployeeByName() {
    QFETCH(QString, middle);
    QFETCH(QString, foundID);
    const TQBEmployeeRetList employees{
        Employee(u"1"_s, u"Maria"_s, QString(), u"Lopez"_s),
        Employee(u"2"_s, u"Maria"_s, u"A."_s, u"Lopez"_s),
        Employee(u"3"_s, u"Maria"_s, u"A"_s, u"Lopez"_s), // same names: the first wins
    };
    const TQBEEName name{u"Maria"_s, middle, u"Lopez"_s};
    if (foundID.isEmpty()) {
        try {
            TQBConnection::FindEmployeeByName(employees, name);
            QFAIL("found");
        } catch (const EQBError& e) {
            QCOMPARE(e.Message(), u"Cannot find QB employee record with First Name = 'Maria', "
                                  u"Middle Initial = '" +
                                      middle + u"', Last Name = 'Lopez'");
        }
    } else {
        QCOMPARE(TQBConnection::FindEmployeeByName(employees, name).ListID.GetValue(), foundID);
    }
}

void TestQBConnection::findEmployeeByListID() {
    const TQBEmployeeRetList employees{Employee(u"80000001-1"_s, u"A"_s, QString(), u"B"_s),
                                       Employee(u"80000002-1"_s, u"C"_s, QString(), u"D"_s)};
    TQBRef ref;
    QCOMPARE(TQBConnection::FindEmployeeByListID(employees, ref), nullptr);
    ref.ListID.SetValue(u"80000002-1"_s);
    QCOMPARE(TQBConnection::FindEmployeeByListID(employees, ref), &employees[1]);
    ref.ListID.SetValue(u"80000002-1 "_s);
    QCOMPARE(TQBConnection::FindEmployeeByListID(employees, ref), nullptr);
    QCOMPARE(TQBConnection::FindEmployeeByListID({}, ref), nullptr);
}

QTEST_GUILESS_MAIN(TestQBConnection)
#include "tst_qbconnection.moc"
