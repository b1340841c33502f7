#include "TestSupport.h"
#include "company/QBSandboxXml.h"
#include "quickbooks/QBXml.h"

#include <QFile>
#include <QtTest>

using namespace Qt::StringLiterals;

using RequestBuilder = std::function<void(TMsgSetRequest&)>;
Q_DECLARE_METATYPE(RequestBuilder)

namespace {

Currency Amount(qint64 cents) {
    return Currency::FromRaw(cents * 100);
}

void Ref(TQBRef& ref, const QString& fullName) {
    ref.FullName.SetValue(fullName);
}

const QDate PayDate(2024, 3, 7);

QString ResponseSet(const QString& body) {
    return u"<?xml version=\"1.0\" ?><QBXML><QBXMLMsgsRs>" + body + u"</QBXMLMsgsRs></QBXML>";
}

QString AccountRet(const QString& inner) {
    return u"<AccountRet><ListID>80000001-1405768916</ListID>"
           u"<TimeCreated>2014-07-19T07:21:56-05:00</TimeCreated>"
           u"<TimeModified>2014-07-19T07:21:56-05:00</TimeModified>"
           u"<EditSequence>1405768916</EditSequence><Name>Checking</Name>"
           u"<FullName>Checking</FullName><Sublevel>0</Sublevel>" +
           inner + u"</AccountRet>";
}

} // namespace

class TestQBXml : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void goldenRequests_data();
    void goldenRequests();
    void everyElementInOrder();
    void amountText_data();
    void amountText();
    void amountsQuickBooksRefuses_data();
    void amountsQuickBooksRefuses();
    void amountFromResponse_data();
    void amountFromResponse();
    void textIsEscaped();
    void controlCharacterIsRefused();
    void conflictingFiltersAssert();
    void readsCheckWithLines();
    void queryWithoutMatchHasNoDetail();
    void badResponses_data();
    void badResponses();
    void boundsCountMarkupOnly_data();
    void boundsCountMarkupOnly();
    void hundredThousandAccounts();
};

void TestQBXml::goldenRequests_data() {
    QTest::addColumn<QString>("golden");
    QTest::addColumn<RequestBuilder>("build");
    QTest::newRow("account query")
        << "AccountQuery.xml"
        << RequestBuilder([](TMsgSetRequest& s) { s.AppendAccountQueryRq(); });
    QTest::newRow("class query") << "ClassQuery.xml" << RequestBuilder([](TMsgSetRequest& s) {
        s.AppendClassQueryRq();
    });
    QTest::newRow("customer query") << "CustomerQuery.xml" << RequestBuilder([](TMsgSetRequest& s) {
        s.AppendCustomerQueryRq().ActiveStatus.SetValue(asAll);
    });
    QTest::newRow("employee query")
        << "EmployeeQuery.xml"
        << RequestBuilder([](TMsgSetRequest& s) { s.AppendEmployeeQueryRq(); });
    QTest::newRow("check query by date")
        << "CheckQuery.xml" << RequestBuilder([](TMsgSetRequest& s) {
               TQBTxnQuery& q = s.AppendCheckQueryRq();
               q.TxnDateRangeFilter.FromTxnDate.SetValue(QDate(2024, 3, 1));
               q.TxnDateRangeFilter.ToTxnDate.SetValue(PayDate);
               q.IncludeLineItems.SetValue(true);
           });
    QTest::newRow("check query by number")
        << "CheckQueryByNumber.xml" << RequestBuilder([](TMsgSetRequest& s) {
               s.AppendCheckQueryRq().RefNumbers << QStringLiteral("10234");
           });
    QTest::newRow("deposit query") << "DepositQuery.xml" << RequestBuilder([](TMsgSetRequest& s) {
        TQBTxnQuery& q = s.AppendDepositQueryRq();
        q.TxnDateRangeFilter.FromTxnDate.SetValue(QDate(2024, 3, 1));
        q.TxnDateRangeFilter.ToTxnDate.SetValue(PayDate);
        q.IncludeLineItems.SetValue(true);
    });
    QTest::newRow("journal entry query")
        << "JournalEntryQuery.xml" << RequestBuilder([](TMsgSetRequest& s) {
               TQBTxnQuery& q = s.AppendJournalEntryQueryRq();
               q.TxnDateRangeFilter.FromTxnDate.SetValue(PayDate);
               q.TxnDateRangeFilter.ToTxnDate.SetValue(PayDate);
           });
    QTest::newRow("check add") << "CheckAdd.xml" << RequestBuilder([](TMsgSetRequest& s) {
        TQBCheckAdd& a = s.AppendCheckAddRq();
        Ref(a.AccountRef, QStringLiteral("Checking"));
        Ref(a.PayeeEntityRef, QStringLiteral("Maria A. Lopez"));
        a.RefNumber.SetValue(QStringLiteral("10234"));
        a.TxnDate.SetValue(PayDate);
        a.Memo.SetValue(QStringLiteral("Payroll 03/07 \"weekly\" & bonus"));
        a.IsToBePrinted.SetValue(false);
        TQBExpenseLineAdd& line = a.AppendExpenseLine();
        Ref(line.AccountRef, QStringLiteral("Payroll Liabilities:Net Pay Clearing"));
        line.Amount.SetValue(Amount(123450));
        line.Memo.SetValue(QStringLiteral("Payroll 03/07"));
    });
    QTest::newRow("deposit add") << "DepositAdd.xml" << RequestBuilder([](TMsgSetRequest& s) {
        TQBDepositAdd& a = s.AppendDepositAddRq();
        a.TxnDate.SetValue(PayDate);
        Ref(a.DepositToAccountRef, QStringLiteral("Checking"));
        a.Memo.SetValue(QStringLiteral("Voided check"));
        TQBDepositLineAdd& line = a.AppendDepositLine();
        Ref(line.EntityRef, QStringLiteral("Wei Chen"));
        Ref(line.AccountRef, QStringLiteral("Payroll Liabilities"));
        line.Memo.SetValue(QStringLiteral("Voided check"));
        line.CheckNumber.SetValue(QStringLiteral("10230"));
        line.Amount.SetValue(Amount(50000));
    });
    QTest::newRow("journal entry add")
        << "JournalEntryAdd.xml" << RequestBuilder([](TMsgSetRequest& s) {
               TQBJournalEntryAdd& a = s.AppendJournalEntryAddRq();
               a.DefMacro.SetValue(QStringLiteral("TxnId:0"));
               a.TxnDate.SetValue(PayDate);
               a.Memo.SetValue(QStringLiteral("Payroll from Orvane"));
               TQBJournalLineAdd& debit = a.AppendJournalLine(TQBJournalLineKind::Debit);
               Ref(debit.AccountRef, QStringLiteral("Payroll Expenses:Wages"));
               debit.Amount.SetValue(Amount(250000));
               debit.Memo.SetValue(QStringLiteral("Payroll from Orvane"));
               Ref(debit.ClassRef, QStringLiteral("Bakery"));
               TQBJournalLineAdd& credit = a.AppendJournalLine(TQBJournalLineKind::Credit);
               credit.AccountRef.ListID.SetValue(QStringLiteral("80000009-1405768916"));
               credit.Amount.SetValue(Amount(250000));
               credit.Memo.SetValue(QStringLiteral("Payroll from Orvane"));
               Ref(credit.EntityRef, QStringLiteral("Division 10"));
           });
    QTest::newRow("txn void") << "TxnVoid.xml" << RequestBuilder([](TMsgSetRequest& s) {
        TQBTxnVoid& v = s.AppendTxnVoidRq();
        v.TxnVoidType.SetValue(tvtCheck);
        v.TxnID.SetValue(QStringLiteral("8000001B-1405768916"));
    });
    QTest::newRow("txn delete") << "TxnDel.xml" << RequestBuilder([](TMsgSetRequest& s) {
        TQBTxnDel& d = s.AppendTxnDelRq();
        d.TxnDelType.SetValue(tdtJournalEntry);
        d.TxnID.SetValue(QStringLiteral("8000001B-1405768916"));
    });
    QTest::newRow("cleared status")
        << "ClearedStatusMod.xml" << RequestBuilder([](TMsgSetRequest& s) {
               TQBClearedStatusMod& m = s.AppendClearedStatusModRq();
               m.TxnID.SetValue(QStringLiteral("8000001B-1405768916"));
               m.ClearedStatus.SetValue(csCleared);
           });
}

// The text written byte for byte, and QuickBooks' order rules (as the sandbox
// enforces them) satisfied.
void TestQBXml::goldenRequests() {
    QFETCH(QString, golden);
    QFETCH(RequestBuilder, build);
    TMsgSetRequest set(QStringLiteral("US"), 7, 0);
    build(set);
    const QString text = set.ToXMLString();
    const QString path = testsupport::DataPath(u"quickbooks/" + golden);
    if (qEnvironmentVariableIsSet("ORVQ_UPDATE_GOLDEN")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
    }
    QCOMPARE(text, QString::fromUtf8(testsupport::ReadFile(path)));
    TSbMessageSet parsed;
    QString reason;
    QVERIFY2(ParseSandboxMessageSet(text, parsed, reason), qPrintable(reason));
    QString message;
    QCOMPARE(CheckSandboxValues(parsed.Requests, message), 0);
}

// Every element the program can set, all at once, still in QuickBooks' order.
void TestQBXml::everyElementInOrder() {
    TMsgSetRequest set(QStringLiteral("US"), 7, 0);
    set.SetOnError(oeContinueOnError);
    auto fullRef = [](TQBRef& ref) {
        ref.ListID.SetValue(QStringLiteral("80000001-1"));
        ref.FullName.SetValue(QStringLiteral("A:B"));
    };
    for (TQBListQuery* q : {&set.AppendAccountQueryRq(), &set.AppendClassQueryRq(),
                            &set.AppendCustomerQueryRq(), &set.AppendEmployeeQueryRq()}) {
        q->MaxReturned.SetValue(10);
        q->ActiveStatus.SetValue(asInactiveOnly);
    }
    set.AppendEmployeeQueryRq().ListIDs << QStringLiteral("1") << QStringLiteral("2");
    set.AppendAccountQueryRq().FullNames << QStringLiteral("A") << QStringLiteral("B");
    for (TQBTxnQuery* q : {&set.AppendCheckQueryRq(), &set.AppendDepositQueryRq(),
                           &set.AppendJournalEntryQueryRq()}) {
        q->MaxReturned.SetValue(5);
        q->TxnDateRangeFilter.FromTxnDate.SetValue(PayDate);
        q->TxnDateRangeFilter.ToTxnDate.SetValue(PayDate);
        q->IncludeLineItems.SetValue(false);
    }
    set.AppendDepositQueryRq().TxnIDs << QStringLiteral("1-1") << QStringLiteral("2-2");
    TQBTxnQuery& byNumber = set.AppendJournalEntryQueryRq();
    byNumber.RefNumbers << QStringLiteral("7");
    byNumber.IncludeLineItems.SetValue(true);
    TQBCheckAdd& check = set.AppendCheckAddRq();
    fullRef(check.AccountRef);
    fullRef(check.PayeeEntityRef);
    check.RefNumber.SetValue(QStringLiteral("1"));
    check.TxnDate.SetValue(PayDate);
    check.Memo.SetValue(QStringLiteral("m"));
    check.IsToBePrinted.SetValue(true);
    for (int i = 0; i < 2; ++i) {
        TQBExpenseLineAdd& line = check.AppendExpenseLine();
        fullRef(line.AccountRef);
        line.Amount.SetValue(Amount(1));
        line.Memo.SetValue(QStringLiteral("m"));
        fullRef(line.CustomerRef);
        fullRef(line.ClassRef);
    }
    TQBDepositAdd& deposit = set.AppendDepositAddRq();
    deposit.TxnDate.SetValue(PayDate);
    fullRef(deposit.DepositToAccountRef);
    deposit.Memo.SetValue(QStringLiteral("m"));
    for (int i = 0; i < 2; ++i) {
        TQBDepositLineAdd& line = deposit.AppendDepositLine();
        fullRef(line.EntityRef);
        fullRef(line.AccountRef);
        line.Memo.SetValue(QStringLiteral("m"));
        line.CheckNumber.SetValue(QStringLiteral("12345678"));
        fullRef(line.ClassRef);
        line.Amount.SetValue(Amount(1));
    }
    TQBJournalEntryAdd& entry = set.AppendJournalEntryAddRq();
    entry.DefMacro.SetValue(QStringLiteral("TxnId:0"));
    entry.TxnDate.SetValue(PayDate);
    entry.RefNumber.SetValue(QStringLiteral("1"));
    entry.Memo.SetValue(QStringLiteral("m"));
    entry.IsAdjustment.SetValue(false);
    for (auto kind :
         {TQBJournalLineKind::Credit, TQBJournalLineKind::Debit, TQBJournalLineKind::Credit}) {
        TQBJournalLineAdd& line = entry.AppendJournalLine(kind);
        fullRef(line.AccountRef);
        line.Amount.SetValue(Amount(1));
        line.Memo.SetValue(QStringLiteral("m"));
        fullRef(line.EntityRef);
        fullRef(line.ClassRef);
    }
    for (auto type : {tvtCheck, tvtDeposit, tvtJournalEntry}) {
        TQBTxnVoid& v = set.AppendTxnVoidRq();
        v.TxnVoidType.SetValue(type);
        v.TxnID.SetValue(QStringLiteral("1-1"));
    }
    for (auto type : {tdtCheck, tdtDeposit, tdtJournalEntry}) {
        TQBTxnDel& d = set.AppendTxnDelRq();
        d.TxnDelType.SetValue(type);
        d.TxnID.SetValue(QStringLiteral("1-1"));
    }
    set.AppendCompanyQueryRq();
    TQBClearedStatusMod& mod = set.AppendClearedStatusModRq();
    mod.TxnID.SetValue(QStringLiteral("1-1"));
    mod.TxnLineID.SetValue(QStringLiteral("2-2"));
    mod.ClearedStatus.SetValue(csPending);

    const QString text = set.ToXMLString();
    TSbMessageSet parsed;
    QString reason;
    QVERIFY2(ParseSandboxMessageSet(text, parsed, reason), qPrintable(reason));
    QCOMPARE(static_cast<int>(parsed.Requests.Children.size()), set.Count());
    QVERIFY(!parsed.StopOnError);
    QString message;
    QCOMPARE(CheckSandboxValues(parsed.Requests, message), 0);
}

void TestQBXml::amountText_data() {
    QTest::addColumn<qint64>("raw");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "0.00";
    QTest::newRow("whole") << qint64(15000000) << "1500.00";
    QTest::newRow("one decimal") << qint64(1255000) << "125.50";
    QTest::newRow("negative") << qint64(-125000) << "-12.50";
    QTest::newRow("cent") << qint64(100) << "0.01";
    QTest::newRow("largest") << qint64(99999999999999900) << "9999999999999.99";
}

void TestQBXml::amountText() {
    QFETCH(qint64, raw);
    QFETCH(QString, text);
    QCOMPARE(QBAmountToText(Currency::FromRaw(raw)), text);
    Currency back;
    QVERIFY(QBTextToAmount(text, back));
    QCOMPARE(back.Raw(), raw);
}

void TestQBXml::amountsQuickBooksRefuses_data() {
    QTest::addColumn<qint64>("raw");
    QTest::newRow("tenth of a cent") << qint64(10);
    QTest::newRow("four decimals") << qint64(12345);
    QTest::newRow("fourteen digits") << qint64(100000000000000000);
}

// Rounding would silently change money: the writer refuses instead.
void TestQBXml::amountsQuickBooksRefuses() {
    QFETCH(qint64, raw);
    TMsgSetRequest set(QStringLiteral("US"), 7, 0);
    set.AppendCheckAddRq().AppendExpenseLine().Amount.SetValue(Currency::FromRaw(raw));
    QVERIFY_THROWS_EXCEPTION(EQBError, set.ToXMLString());
}

void TestQBXml::amountFromResponse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("raw");
    QTest::newRow("two decimals") << "97.50" << true << qint64(975000);
    QTest::newRow("plus sign") << "+1.00" << true << qint64(10000);
    QTest::newRow("no decimals") << "12" << true << qint64(120000);
    QTest::newRow("empty") << "" << false << qint64(0);
    QTest::newRow("comma") << "1,000.00" << false << qint64(0);
    QTest::newRow("dot only") << "5." << false << qint64(0);
    QTest::newRow("five decimals") << "1.00001" << false << qint64(0);
    QTest::newRow("exponent") << "1e5" << false << qint64(0);
    QTest::newRow("arabic digits") << QString::fromUtf8("\u0661.00") << false << qint64(0);
    QTest::newRow("too long") << "123456789012345.00" << false << qint64(0);
}

void TestQBXml::amountFromResponse() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(qint64, raw);
    Currency amount;
    QCOMPARE(QBTextToAmount(text, amount), ok);
    if (ok)
        QCOMPARE(amount.Raw(), raw);
}

void TestQBXml::textIsEscaped() {
    TMsgSetRequest set(QStringLiteral("US"), 7, 0);
    set.AppendCheckAddRq().Memo.SetValue(QStringLiteral("A&B <x> \"q\" caf\u00e9"));
    QVERIFY(set.ToXMLString().contains(
        QStringLiteral("<Memo>A&amp;B &lt;x&gt; &quot;q&quot; caf\u00e9</Memo>")));
}

void TestQBXml::controlCharacterIsRefused() {
    TMsgSetRequest set(QStringLiteral("US"), 7, 0);
    set.AppendCheckAddRq().Memo.SetValue(QStringLiteral("bell\x07"));
    QVERIFY_THROWS_EXCEPTION(EQBError, set.ToXMLString());
}

void TestQBXml::conflictingFiltersAssert() {
    TMsgSetRequest set(QStringLiteral("US"), 7, 0);
    TQBTxnQuery& q = set.AppendCheckQueryRq();
    q.RefNumbers << QStringLiteral("1");
    q.TxnDateRangeFilter.FromTxnDate.SetValue(PayDate);
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, set.ToXMLString());
}

void TestQBXml::readsCheckWithLines() {
    TMsgSetRequest set(QStringLiteral("US"), 7, 0);
    set.AppendCheckQueryRq();
    const QString xml = ResponseSet(
        u"<CheckQueryRs requestID=\"1\" statusCode=\"0\" statusSeverity=\"Info\" "
        u"statusMessage=\"Status OK\" retCount=\"1\"><CheckRet><TxnID>1A-1</TxnID>"
        u"<TimeCreated>2014-07-19T07:21:56-05:00</TimeCreated>"
        u"<TimeModified>2014-07-19T07:21:56-05:00</TimeModified>"
        u"<EditSequence>1405768916</EditSequence><TxnNumber>7</TxnNumber>"
        u"<AccountRef><ListID>80000001-1</ListID><FullName>Checking</FullName></AccountRef>"
        u"<PayeeEntityRef><FullName>Wei Chen</FullName></PayeeEntityRef>"
        u"<RefNumber>10234</RefNumber><TxnDate>2024-03-07</TxnDate><Amount>1234.50</Amount>"
        u"<Memo>A &amp; B</Memo><UnknownElement>kept out</UnknownElement>"
        u"<ExpenseLineRet><TxnLineID>1B-1</TxnLineID><AccountRef><FullName>Payroll "
        u"Liabilities</FullName></AccountRef><Amount>1234.50</Amount></ExpenseLineRet>"
        u"</CheckRet></CheckQueryRs>"_s);
    const auto response = ReadQBResponseSet(xml, set);
    QCOMPARE(response->ToXMLString(), xml);
    const TQBResponse& rs = response->At(0);
    QCOMPARE(rs.RetCount.value_or(-1), 1);
    const TQBCheckRetList* checks = rs.DetailAs<TQBCheckRetList>();
    QVERIFY(checks);
    QCOMPARE(checks->size(), size_t(1));
    const TQBCheckRet& c = checks->front();
    QCOMPARE(c.TxnID.GetValue(), QStringLiteral("1A-1"));
    QCOMPARE(c.AccountRef.FullName.GetValue(), QStringLiteral("Checking"));
    QVERIFY(!c.PayeeEntityRef.ListID.IsSet());
    QCOMPARE(c.PayeeEntityRef.FullName.GetValue(), QStringLiteral("Wei Chen"));
    QCOMPARE(c.TxnDate.GetValue(), PayDate);
    QCOMPARE(c.Amount.GetValue().Raw(), qint64(12345000));
    QCOMPARE(c.Memo.GetValue(), QStringLiteral("A & B"));
    QCOMPARE(c.TimeCreated.GetValue().offsetFromUtc(), -5 * 3600);
    QCOMPARE(c.ExpenseLineRetList.size(), size_t(1));
    QCOMPARE(c.ExpenseLineRetList[0].AccountRef.FullName.GetValue(),
             QStringLiteral("Payroll Liabilities"));
    QVERIFY(!c.ExpenseLineRetList[0].Memo.IsSet());
    QVERIFY_THROWS_EXCEPTION(EQBValueMissing, c.ExpenseLineRetList[0].Memo.GetValue());
}

void TestQBXml::queryWithoutMatchHasNoDetail() {
    TMsgSetRequest set(QStringLiteral("US"), 7, 0);
    set.AppendClassQueryRq();
    const auto response = ReadQBResponseSet(
        ResponseSet(u"<ClassQueryRs requestID=\"1\" statusCode=\"1\" statusSeverity=\"Info\" "
                    u"statusMessage=\"A query request did not find a matching object in "
                    u"QuickBooks\" />"_s),
        set);
    QCOMPARE(response->At(0).StatusCode, 1);
    QVERIFY(!response->At(0).HasDetail());
    QCOMPARE(response->At(0).DetailAs<TQBClassRetList>(), nullptr);
}

void TestQBXml::badResponses_data() {
    QTest::addColumn<QString>("xml");
    QTest::addColumn<QString>("reason");
    const QString ok = u"<AccountQueryRs requestID=\"1\" statusCode=\"0\" statusSeverity=\"Info\" "
                       u"statusMessage=\"Status OK\">"_s;
    const QString second =
        u"<CheckAddRs requestID=\"2\" statusCode=\"0\" statusSeverity=\"Info\"/>"_s;
    QTest::newRow("not xml") << "QuickBooks crashed"
                             << "Start tag expected";
    QTest::newRow("unclosed") << ResponseSet(ok + AccountRet(QString())).chopped(20)
                              << "could not be read";
    QTest::newRow("wrong root") << "<HTML><body/></HTML>"
                                << "it is not a qbXML document";
    QTest::newRow("no responses element") << "<QBXML><Other/></QBXML>"
                                          << "holds no responses";
    QTest::newRow("fewer responses")
        << ResponseSet(ok + AccountRet(u"<AccountType>Bank</AccountType>"_s) + u"</AccountQueryRs>")
        << "it answers 1 of the 2 requests sent";
    QTest::newRow("more responses") << ResponseSet(ok + u"</AccountQueryRs>" + second + second)
                                    << "more responses than the 2 requests";
    QTest::newRow("responses swapped") << ResponseSet(second + ok + u"</AccountQueryRs>")
                                       << "response 1 is CheckAddRs where AccountQueryRs";
    QTest::newRow("status code not a number")
        << ResponseSet(u"<AccountQueryRs statusCode=\"zero\" statusSeverity=\"Info\"/>" + second)
        << "status code \"zero\"";
    QTest::newRow("no severity") << ResponseSet(u"<AccountQueryRs statusCode=\"0\"/>" + second)
                                 << "no status severity";
    QTest::newRow("request id of another request")
        << ResponseSet(u"<AccountQueryRs requestID=\"7\" statusCode=\"0\" "
                       u"statusSeverity=\"Info\"/>" +
                       second)
        << "answers request \"7\"";
    QTest::newRow("account without type")
        << ResponseSet(ok + AccountRet(QString()) + u"</AccountQueryRs>" + second)
        << "AccountRet has no AccountType";
    QTest::newRow("account without list id")
        << ResponseSet(ok +
                       AccountRet(u"<AccountType>Bank</AccountType>"_s)
                           .replace(u"<ListID>80000001-1405768916</ListID>"_s, QString()) +
                       u"</AccountQueryRs>" + second)
        << "AccountRet has no ListID";
    QTest::newRow("bad time") << ResponseSet(
                                     ok +
                                     AccountRet(u"<AccountType>Bank</AccountType>"_s)
                                         .replace(u"2014-07-19T07:21:56-05:00</TimeCreated>"_s,
                                                  u"yesterday</TimeCreated>"_s) +
                                     u"</AccountQueryRs>" + second)
                              << "the time \"yesterday\"";
    QTest::newRow("bad balance")
        << ResponseSet(ok +
                       AccountRet(u"<AccountType>Bank</AccountType><Balance>12,00</Balance>"_s) +
                       u"</AccountQueryRs>" + second)
        << "the amount \"12,00\"";
    QTest::newRow("reference without id or name")
        << ResponseSet(ok + AccountRet(u"<ParentRef/><AccountType>Bank</AccountType>"_s) +
                       u"</AccountQueryRs>" + second)
        << "ParentRef in AccountRet has neither";
    QTest::newRow("entity expansion")
        << u"<?xml version=\"1.0\"?><!DOCTYPE QBXML [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
           u"\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><QBXML><QBXMLMsgsRs>" +
               ok + u"&b;</AccountQueryRs>" + second + u"</QBXMLMsgsRs></QBXML>"
        << "document type declaration";
    QTest::newRow("text after the responses")
        << ResponseSet(ok + u"</AccountQueryRs>" + second) + u"<extra/>" << "could not be read";
    QTest::newRow("nested too deeply")
        << ResponseSet(ok + QString(u"<a>"_s).repeated(40) + QString(u"</a>"_s).repeated(40) +
                       u"</AccountQueryRs>" + second)
        << "nested too deeply";
    QString attributes;
    for (int i = 0; i < 100000; ++i)
        attributes += u" a" + QString::number(i) + u"=\"\"";
    QTest::newRow("a hundred thousand attributes")
        << ResponseSet(u"<AccountQueryRs" + attributes + u"/>" + second)
        << "an element has more than 32 attributes";
    QTest::newRow("nested a hundred thousand deep")
        << ResponseSet(QString(u"<a>"_s).repeated(100000) + QString(u"</a>"_s).repeated(100000))
        << "nested too deeply";
}

void TestQBXml::boundsCountMarkupOnly_data() {
    QTest::addColumn<QString>("xml");
    QTest::addColumn<QString>("reason"); // empty: within the bounds
    QTest::newRow("at the size bound") << u"<QBXML>"_s + QString(85, u'x') + u"</QBXML>" << "";
    QTest::newRow("beyond the size bound")
        << u"<QBXML>"_s + QString(86, u'x') + u"</QBXML>"
        << "it has 101 characters, more than the 100 an answer may have.";
    QTest::newRow("equal signs in values and text")
        << u"<a b=\"x=y=z\" c='=>'>=====</a><!-- <a b=1 c=2 d=3> --><![CDATA[<a b=1 c=2 d=3>]]>"_s
        << "";
    QTest::newRow("three attributes")
        << u"<a b=\"1\" c=\"2\" d='3'/>"_s << "an element has more than 2 attributes.";
    QTest::newRow("empty elements do not nest") << u"<a><b/><b/><b/><b/></a>"_s << "";
    QTest::newRow("four levels") << u"<a><b><c><d></d></c></b></a>"_s
                                 << "elements are nested too deeply.";
}

void TestQBXml::boundsCountMarkupOnly() {
    QFETCH(QString, xml);
    QFETCH(QString, reason);
    TQBXmlBounds bounds;
    bounds.MaxCharacters = 100;
    bounds.MaxAttributes = 2;
    bounds.MaxDepth = 3;
    try {
        CheckQBXmlBounds(xml, bounds);
        QVERIFY2(reason.isEmpty(), "the answer was not refused");
    } catch (const EQBResponseError& e) {
        QCOMPARE(e.Message(), u"The answer from QuickBooks could not be read: "_s + reason);
    }
}

void TestQBXml::badResponses() {
    QFETCH(QString, xml);
    QFETCH(QString, reason);
    TMsgSetRequest set(QStringLiteral("US"), 7, 0);
    set.AppendAccountQueryRq();
    set.AppendCheckAddRq();
    try {
        ReadQBResponseSet(xml, set);
        QFAIL("the response was accepted");
    } catch (const EQBResponseError& e) {
        QVERIFY2(e.Message().contains(reason), qPrintable(e.Message()));
        QVERIFY(e.Message().startsWith(u"The answer from QuickBooks could not be read: "));
    }
}

void TestQBXml::hundredThousandAccounts() {
    QString body = u"<AccountQueryRs requestID=\"1\" statusCode=\"0\" statusSeverity=\"Info\" "
                   u"statusMessage=\"Status OK\">"_s;
    const QString ret = AccountRet(u"<AccountType>Expense</AccountType>"_s);
    body.reserve(ret.size() * 100000 + 200);
    for (int i = 0; i < 100000; ++i)
        body += ret;
    body += u"</AccountQueryRs>";
    TMsgSetRequest set(QStringLiteral("US"), 7, 0);
    set.AppendAccountQueryRq();
    const auto response = ReadQBResponseSet(ResponseSet(body), set);
    const TQBAccountRetList* accounts = response->At(0).DetailAs<TQBAccountRetList>();
    QVERIFY(accounts);
    QCOMPARE(accounts->size(), size_t(100000));
    QCOMPARE(accounts->back().AccountType.GetValue(), QStringLiteral("Expense"));
}

QTEST_GUILESS_MAIN(TestQBXml)
#include "tst_qbxml.moc"
