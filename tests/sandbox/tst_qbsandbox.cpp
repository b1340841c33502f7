#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxProcessor.h"
#include "company/QBSandboxTool.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QString DemoDir() {
    return qEnvironmentVariable("ORVQ_SOURCE_DIR") + u"/data/demo"_s;
}

QString Envelope(const QString& requests, const QString& onError = u"stopOnError"_s,
                 const QString& version = u"7.0"_s) {
    return u"<?xml version=\"1.0\" encoding=\"utf-8\"?><?qbxml version=\"" + version +
           u"\"?><QBXML><QBXMLMsgsRq onError=\"" + onError + u"\">" + requests +
           u"</QBXMLMsgsRq></QBXML>";
}

QString CheckAdd(const QString& account, const QString& amount, const QString& extra = QString(),
                 const QString& line = QString()) {
    return u"<CheckAddRq><CheckAdd><AccountRef><FullName>" + account + u"</FullName></AccountRef>" +
           extra +
           u"<ExpenseLineAdd><AccountRef><FullName>Payroll Liabilities</FullName></AccountRef>"
           u"<Amount>" +
           amount + u"</Amount>" + line + u"</ExpenseLineAdd></CheckAdd></CheckAddRq>";
}

// A request set kept for error recovery under `id`, or a status request
// asking for it (no requests).
QString Recoverable(const QString& requests, const QString& id) {
    return Envelope(requests, u"continueOnError\" newMessageSetID=\""_s + id);
}
QString StatusRequest(const QString& id) {
    return Envelope(QString(), u"continueOnError\" oldMessageSetID=\""_s + id);
}

// The response elements of an answer, without the envelope.
QString Responses(const QString& answer) {
    const qsizetype open = answer.indexOf(u'>', answer.indexOf(u"<QBXMLMsgsRs"_s));
    return answer.mid(open + 1, answer.indexOf(u"</QBXMLMsgsRs>"_s) - open - 1).trimmed();
}

QString SetStatus(const QString& answer) {
    static const QRegularExpression re(u"<QBXMLMsgsRs[^>]*messageSetStatusCode=\"(\\d+)\""_s);
    return re.match(answer).captured(1);
}

QString JournalEntry(const QString& debit, const QString& credit) {
    return u"<JournalEntryAddRq><JournalEntryAdd><TxnDate>2024-03-07</TxnDate>"
           u"<JournalDebitLine><AccountRef><FullName>Payroll Expenses:Wages</FullName>"
           u"</AccountRef><Amount>" +
           debit +
           u"</Amount></JournalDebitLine><JournalCreditLine><AccountRef><FullName>Payroll "
           u"Liabilities</FullName></AccountRef><Amount>" +
           credit + u"</Amount></JournalCreditLine></JournalEntryAdd></JournalEntryAddRq>";
}

struct TStatus {
    QString Name;
    int Code = -1;
    QString Severity;
    QString Message;
};

// The statuses of a response text, in order.
std::vector<TStatus> Statuses(const QString& response) {
    static const QRegularExpression re(
        u"<(\\w+Rs)[^>]*statusCode=\"(\\d+)\" statusSeverity=\"(\\w+)\" "
        u"statusMessage=\"([^\"]*)\""_s);
    std::vector<TStatus> out;
    for (const auto& m : re.globalMatch(response))
        out.push_back({m.captured(1), m.captured(2).toInt(), m.captured(3),
                       m.captured(4).replace(u"&quot;"_s, u"\""_s)});
    return out;
}

QString Element(const QString& response, const QString& name, int index = 0) {
    const QRegularExpression re(u'<' + name + u">([^<]*)</" + name + u'>');
    auto it = re.globalMatch(response);
    for (int i = 0; it.hasNext(); ++i) {
        const auto m = it.next();
        if (i == index)
            return m.captured(1);
    }
    return QString();
}

const QString InvalidTail = u"  QuickBooks error message: Invalid argument.  The specified "
                            u"record does not exist in the list."_s;

} // namespace

Q_DECLARE_METATYPE(TSbFaults)

class TestQBSandbox : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void statuses_data();
    void statuses();
    void stopOnErrorSkipsTheRest();
    void continueOnErrorGoesOn();
    void rejectedMessageSets_data();
    void rejectedMessageSets();
    void checkAddedAndQueried();
    void depositAndJournalEntry();
    void voidKeepsNumberAndPayee();
    void clearedStatus();
    void versions();
    void faultsRefuseTheSession_data();
    void faultsRefuseTheSession();
    void failRequestIsOneShot();
    void answerKeptForRecovery();
    void lostAndFailedSets_data();
    void lostAndFailedSets();
    void macroNamesTheAddedTransaction();
    void twoSessionsSeeCommittedData();
    void namedCompanyFile_data();
    void namedCompanyFile();
    void txnDel_data();
    void txnDel();
    void editSequenceRisesAtEveryChange_data();
    void editSequenceRisesAtEveryChange();
    void toolInitAndList();
    void toolAddAndRefusals_data();
    void toolAddAndRefusals();
    void toolEditChangesOneTransaction();
    void toolFaultAndTransactions();

private:
    QString Send(const QString& requests, const QString& onError = u"stopOnError"_s);
    int TxnCount(const QString& type);
    std::unique_ptr<TQBSandboxProcessor> Processor(const QString& file);

    QTemporaryDir m_dir;
    QString m_file;
    std::unique_ptr<TQBSandboxProcessor> m_processor;
    QString m_ticket;
    int m_count = 0;
};

std::unique_ptr<TQBSandboxProcessor> TestQBSandbox::Processor(const QString& file) {
    TQBSandboxProcessor::TOptions o;
    o.CompanyFile = file;
    o.DemoDataDir = DemoDir();
    o.Clock = [] { return QDateTime(QDate(2024, 3, 9), QTime(7, 21, 56), QTimeZone(-5 * 3600)); };
    auto p = std::make_unique<TQBSandboxProcessor>(o);
    p->OpenConnection(QString(), u"test"_s);
    return p;
}

void TestQBSandbox::init() {
    m_ticket.clear();
    m_processor.reset();
    m_file = m_dir.filePath(u"company%1.qbsb"_s.arg(++m_count));
    m_processor = Processor(m_file);
    m_ticket = m_processor->BeginSession(QString(), 2);
}

QString TestQBSandbox::Send(const QString& requests, const QString& onError) {
    return m_processor->ProcessRequest(m_ticket, Envelope(requests, onError));
}

int TestQBSandbox::TxnCount(const QString& type) {
    TQBSandboxCompany company(m_file, false);
    TSbTxnFilter f;
    f.Type = type;
    return static_cast<int>(company.Txns(f).size());
}

void TestQBSandbox::statuses_data() {
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("severity");
    QTest::addColumn<QString>("message");
    QTest::newRow("query finds nothing")
        << u"<CheckQueryRq><TxnDateRangeFilter><FromTxnDate>2024-01-01</FromTxnDate>"
           u"</TxnDateRangeFilter></CheckQueryRq>"_s
        << 1 << "Info"
        << "A query request did not find a matching object in QuickBooks";
    QTest::newRow("exact name not found")
        << u"<AccountQueryRq><FullName>Checking</FullName><FullName>Gone</FullName>"
           u"</AccountQueryRq>"_s
        << 500 << "Warn"
        << "The query request has not been fully completed. There was a required element "
           "(\"Gone\") that could not be found in QuickBooks.";
    QTest::newRow("list query") << u"<ClassQueryRq/>"_s << 0 << "Info"
                                << "Status OK";
    QTest::newRow("unknown bank account")
        << CheckAdd(u"Nope"_s, u"1.00"_s) << 3140 << "Error"
        << u"There is an invalid reference to QuickBooks Account \"Nope\" in the Check." +
               InvalidTail;
    QTest::newRow("unknown payee")
        << CheckAdd(u"Checking"_s, u"1.00"_s,
                    u"<PayeeEntityRef><FullName>Nobody</FullName></PayeeEntityRef>"_s)
        << 3140 << "Error"
        << u"There is an invalid reference to QuickBooks Entity \"Nobody\" in the Check." +
               InvalidTail;
    QTest::newRow("unknown class on a line")
        << CheckAdd(u"Checking"_s, u"1.00"_s, QString(),
                    u"<ClassRef><FullName>Kitchen</FullName></ClassRef>"_s)
        << 3140 << "Error"
        << u"There is an invalid reference to QuickBooks Class \"Kitchen\" in the Check line." +
               InvalidTail;
    QTest::newRow("unknown customer on a line")
        << CheckAdd(u"Checking"_s, u"1.00"_s, QString(),
                    u"<CustomerRef><FullName>Division 99</FullName></CustomerRef>"_s)
        << 3140 << "Error"
        << u"There is an invalid reference to QuickBooks Customer \"Division 99\" in the Check "
           u"line." +
               InvalidTail;
    QTest::newRow("class list id used as an account")
        << u"<CheckAddRq><CheckAdd><AccountRef><ListID>{Bakery}</ListID></AccountRef>"
           u"</CheckAdd></CheckAddRq>"_s
        << 3140 << "Error"
        << u"There is an invalid reference to QuickBooks Account \"{Bakery}\" in the Check." +
               InvalidTail;
    QTest::newRow("unknown deposit line account")
        << u"<DepositAddRq><DepositAdd><DepositToAccountRef><FullName>Checking</FullName>"
           u"</DepositToAccountRef><DepositLineAdd><AccountRef><FullName>Nope</FullName>"
           u"</AccountRef><Amount>5.00</Amount></DepositLineAdd></DepositAdd></DepositAddRq>"_s
        << 3140 << "Error"
        << u"There is an invalid reference to QuickBooks Account \"Nope\" in the Deposit line." +
               InvalidTail;
    QTest::newRow("void of an unknown transaction")
        << u"<TxnVoidRq><TxnVoidType>Check</TxnVoidType><TxnID>1-1</TxnID></TxnVoidRq>"_s << 3120
        << "Error" << u"Object \"1-1\" specified in the request cannot be found." + InvalidTail;
    QTest::newRow("cleared status of an unknown transaction")
        << u"<ClearedStatusModRq><ClearedStatusMod><TxnID>1-1</TxnID><ClearedStatus>Cleared"
           u"</ClearedStatus></ClearedStatusMod></ClearedStatusModRq>"_s
        << 3120 << "Error"
        << u"Object \"1-1\" specified in the request cannot be found." + InvalidTail;
    QTest::newRow("journal entry not in balance")
        << JournalEntry(u"100.00"_s, u"99.99"_s) << 3180 << "Error"
        << "There was an error when saving a Journal Entry.  QuickBooks error message: "
           "Transaction not in balance.";
    QTest::newRow("journal entry in balance")
        << JournalEntry(u"100.00"_s, u"100.00"_s) << 0 << "Info"
        << "Status OK";
    QTest::newRow("one decimal")
        << CheckAdd(u"Checking"_s, u"97.5"_s) << 3040 << "Error"
        << "There was an error when converting the amount \"97.5\" in the field \"Amount\"";
    QTest::newRow("three decimals") << CheckAdd(u"Checking"_s, u"1.234"_s) << 3040 << "Error"
                                    << "There was an error when converting the amount \"1.234\" "
                                       "in the field \"Amount\"";
    QTest::newRow("check number too long")
        << CheckAdd(u"Checking"_s, u"1.00"_s, u"<RefNumber>123456789012</RefNumber>"_s) << 3070
        << "Error"
        << "The string \"123456789012\" in the field \"RefNumber\" is too long.";
    // Full names by what they name: accounts and classes 159 characters,
    // other names 209; lengths in characters, not UTF-16 units.
    const QString account160(160, u'A');
    QTest::newRow("account name of 160 characters")
        << CheckAdd(account160, u"1.00"_s) << 3070 << "Error"
        << u"The string \""_s + account160 + u"\" in the field \"FullName\" is too long.";
    const QString payee210(210, u'P');
    QTest::newRow("payee name of 210 characters")
        << CheckAdd(u"Checking"_s, u"1.00"_s,
                    u"<PayeeEntityRef><FullName>"_s + payee210 + u"</FullName></PayeeEntityRef>"_s)
        << 3070 << "Error"
        << u"The string \""_s + payee210 + u"\" in the field \"FullName\" is too long.";
    QString emoji;
    for (int i = 0; i < 4095; ++i)
        emoji += QString::fromUcs4(U"\U0001F600");
    QTest::newRow("memo of 4095 characters outside the BMP")
        << CheckAdd(u"Checking"_s, u"1.00"_s, u"<Memo>"_s + emoji + u"</Memo>"_s) << 0 << "Info"
        << "Status OK";
    QTest::newRow("impossible date")
        << CheckAdd(u"Checking"_s, u"1.00"_s, u"<TxnDate>2024-02-30</TxnDate>"_s) << 3020 << "Error"
        << "There was an error when converting the date value \"2024-02-30\" in the field "
           "\"TxnDate\".";
    QTest::newRow("negative check")
        << CheckAdd(u"Checking"_s, u"-1.00"_s) << 3180 << "Error"
        << "There was an error when saving a Check.  QuickBooks error message: The amount of a "
           "check cannot be negative.";
}

void TestQBSandbox::statuses() {
    QFETCH(QString, request);
    QFETCH(int, code);
    QFETCH(QString, severity);
    QFETCH(QString, message);
    const QString bakery =
        TQBSandboxCompany(m_file, false).FindByFullName({TSbListKind::Class}, u"Bakery"_s)->ListID;
    request.replace(u"{Bakery}"_s, bakery);
    message.replace(u"{Bakery}"_s, bakery);
    const auto st = Statuses(Send(request));
    QCOMPARE(st.size(), size_t(1));
    QCOMPARE(st[0].Code, code);
    QCOMPARE(st[0].Severity, severity);
    QCOMPARE(st[0].Message, message);
    if (severity == u"Error") {
        QCOMPARE(TxnCount(u"Check"_s), 0);
        QCOMPARE(TxnCount(u"JournalEntry"_s), 0);
    }
}

void TestQBSandbox::stopOnErrorSkipsTheRest() {
    const QString answer =
        Send(CheckAdd(u"Checking"_s, u"1.00"_s) + CheckAdd(u"Nope"_s, u"2.00"_s) +
             CheckAdd(u"Checking"_s, u"3.00"_s));
    const auto st = Statuses(answer);
    QCOMPARE(st.size(), size_t(3));
    QCOMPARE(st[0].Code, 0);
    QCOMPARE(st[1].Code, 3140);
    QCOMPARE(st[2].Code, 3231);
    QCOMPARE(st[2].Message, u"The request has not been processed."_s);
    QCOMPARE(TxnCount(u"Check"_s), 1);
}

void TestQBSandbox::continueOnErrorGoesOn() {
    const auto st = Statuses(Send(
        CheckAdd(u"Nope"_s, u"2.00"_s) + CheckAdd(u"Checking"_s, u"3.00"_s), u"continueOnError"_s));
    QCOMPARE(st.size(), size_t(2));
    QCOMPARE(st[0].Code, 3140);
    QCOMPARE(st[1].Code, 0);
    QCOMPARE(TxnCount(u"Check"_s), 1);
}

void TestQBSandbox::rejectedMessageSets_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");
    const QString good = CheckAdd(u"Checking"_s, u"1.00"_s);
    QTest::newRow("not xml") << u"hello"_s << "";
    QTest::newRow("unclosed") << Envelope(good).chopped(10) << "";
    QTest::newRow("no onError") << Envelope(good).replace(u" onError=\"stopOnError\""_s, QString())
                                << "onError";
    QTest::newRow("rollbackOnError") << Envelope(good, u"rollbackOnError"_s) << "onError";
    QTest::newRow("message-set ID of 24 characters")
        << Recoverable(good, QString(24, u'x')) << "longer than 23 characters";
    QTest::newRow("status request with requests")
        << Envelope(good, u"continueOnError\" oldMessageSetID=\"run-1"_s) << "holds requests";
    QTest::newRow("no qbxml instruction")
        << Envelope(good).replace(u"<?qbxml version=\"7.0\"?>"_s, QString())
        << "version instruction";
    QTest::newRow("unsupported version")
        << Envelope(good, u"stopOnError"_s, u"8.0"_s) << "qbXML version 8.0 is not supported";
    QTest::newRow("date before number")
        << Envelope(CheckAdd(u"Checking"_s, u"1.00"_s,
                             u"<TxnDate>2024-03-07</TxnDate><RefNumber>1</RefNumber>"_s))
        << "not in the required order";
    QTest::newRow("payee after number")
        << Envelope(CheckAdd(u"Checking"_s, u"1.00"_s,
                             u"<RefNumber>1</RefNumber><PayeeEntityRef><FullName>Wei "
                             u"Chen</FullName></PayeeEntityRef>"_s))
        << "not in the required order";
    QTest::newRow("line items before the filter")
        << Envelope(u"<CheckQueryRq><IncludeLineItems>true</IncludeLineItems>"
                    u"<TxnDateRangeFilter/></CheckQueryRq>"_s)
        << "not in the required order";
    QTest::newRow("number with a date filter")
        << Envelope(u"<CheckQueryRq><RefNumber>1</RefNumber><TxnDateRangeFilter/>"
                    u"</CheckQueryRq>"_s)
        << "not in the required order";
    QTest::newRow("deposit without lines")
        << Envelope(u"<DepositAddRq><DepositAdd><DepositToAccountRef><FullName>Checking"
                    u"</FullName></DepositToAccountRef></DepositAdd></DepositAddRq>"_s)
        << "DepositAdd";
    QTest::newRow("journal entry without lines")
        << Envelope(u"<JournalEntryAddRq><JournalEntryAdd><TxnDate>2024-03-07</TxnDate>"
                    u"</JournalEntryAdd></JournalEntryAddRq>"_s)
        << "JournalEntryAdd";
    QTest::newRow("unknown element")
        << Envelope(u"<CheckQueryRq><Colour>red</Colour></CheckQueryRq>"_s) << "";
    QTest::newRow("boolean yes")
        << Envelope(u"<CheckQueryRq><IncludeLineItems>yes</IncludeLineItems></CheckQueryRq>"_s)
        << "IncludeLineItems";
    QTest::newRow("document type")
        << u"<?xml version=\"1.0\"?><!DOCTYPE QBXML [<!ENTITY a \"b\">]><?qbxml "
           u"version=\"7.0\"?><QBXML><QBXMLMsgsRq onError=\"stopOnError\"/></QBXML>"_s
        << "document type";
}

// QuickBooks answers nothing to such a set: the processor fails, and nothing
// of the set is saved, not even its well-formed requests.
void TestQBSandbox::rejectedMessageSets() {
    QFETCH(QString, text);
    QFETCH(QString, reason);
    const QString request =
        text.contains(u"QBXMLMsgsRq"_s)
            ? text.replace(u"</QBXMLMsgsRq>"_s,
                           CheckAdd(u"Checking"_s, u"1.00"_s) + u"</QBXMLMsgsRq>")
            : text;
    try {
        m_processor->ProcessRequest(m_ticket, request);
        QFAIL("the set was accepted");
    } catch (const EQBProcessorError& e) {
        QCOMPARE(e.HResult(), qbhr::ParseError);
        QVERIFY(e.Message().startsWith(SandboxParseErrorMessage));
        QVERIFY2(e.Message().contains(reason), qPrintable(e.Message()));
    }
    QCOMPARE(TxnCount(u"Check"_s), 0);
}

void TestQBSandbox::checkAddedAndQueried() {
    const QString added = Send(CheckAdd(u"checking"_s, u"1234.50"_s,
                                        u"<PayeeEntityRef><FullName>Maria A. Lopez</FullName>"
                                        u"</PayeeEntityRef><RefNumber>100</RefNumber>"
                                        u"<TxnDate>2024-03-07</TxnDate><Memo>Pay &amp; "
                                        u"more</Memo><IsToBePrinted>false</IsToBePrinted>"_s,
                                        u"<Memo>line</Memo>"_s));
    QCOMPARE(Statuses(added).at(0).Code, 0);
    QCOMPARE(Element(added, u"TimeCreated"_s), u"2024-03-09T07:21:56-05:00"_s);
    QVERIFY(
        QRegularExpression(u"^[0-9A-F]{8}-\\d+$"_s).match(Element(added, u"TxnID"_s)).hasMatch());
    QCOMPARE(Element(added, u"EditSequence"_s),
             QString::number(QDateTime(QDate(2024, 3, 9), QTime(7, 21, 56), QTimeZone(-5 * 3600))
                                 .toSecsSinceEpoch()));
    QCOMPARE(Element(added, u"TxnNumber"_s), u"1"_s);
    QCOMPARE(Element(added, u"FullName"_s, 0), u"Checking"_s); // the name as QuickBooks holds it
    QCOMPARE(Element(added, u"FullName"_s, 1), u"Maria A. Lopez"_s);
    QCOMPARE(Element(added, u"Amount"_s), u"1234.50"_s);
    QCOMPARE(Element(added, u"Memo"_s), u"Pay &amp; more"_s);
    QVERIFY(added.contains(u"<ExpenseLineRet><TxnLineID>"_s));

    Send(CheckAdd(u"Checking"_s, u"5.00"_s,
                  u"<RefNumber>1000</RefNumber><TxnDate>2024-03-08</TxnDate>"_s));
    const auto range = [&](const QString& from, const QString& to, bool lines) {
        return Send(u"<CheckQueryRq><TxnDateRangeFilter><FromTxnDate>" + from +
                    u"</FromTxnDate><ToTxnDate>" + to + u"</ToTxnDate></TxnDateRangeFilter>" +
                    (lines ? u"<IncludeLineItems>true</IncludeLineItems>"_s : QString()) +
                    u"</CheckQueryRq>");
    };
    QCOMPARE(range(u"2024-03-07"_s, u"2024-03-07"_s, true).count(u"<CheckRet>"_s), 1);
    QCOMPARE(range(u"2024-03-07"_s, u"2024-03-08"_s, true).count(u"<CheckRet>"_s), 2);
    QCOMPARE(range(u"2024-03-07"_s, u"2024-03-08"_s, true).count(u"<ExpenseLineRet>"_s), 2);
    QCOMPARE(range(u"2024-03-07"_s, u"2024-03-08"_s, false).count(u"<ExpenseLineRet>"_s), 0);
    QCOMPARE(Statuses(range(u"2024-03-09"_s, u"2024-12-31"_s, true)).at(0).Code, 1);
    const QString byNumber = Send(u"<CheckQueryRq><RefNumber>100</RefNumber></CheckQueryRq>"_s);
    QCOMPARE(byNumber.count(u"<CheckRet>"_s), 1); // "1000" is another number
    QVERIFY(byNumber.contains(u"retCount=\"1\""_s));
}

void TestQBSandbox::depositAndJournalEntry() {
    const QString deposit =
        Send(u"<DepositAddRq><DepositAdd><TxnDate>2024-03-07</TxnDate><DepositToAccountRef>"
             u"<FullName>Checking</FullName></DepositToAccountRef><Memo>Voided</Memo>"
             u"<DepositLineAdd><EntityRef><FullName>Wei Chen</FullName></EntityRef><AccountRef>"
             u"<FullName>Payroll Liabilities</FullName></AccountRef><CheckNumber>10230"
             u"</CheckNumber><Amount>500.00</Amount></DepositLineAdd></DepositAdd>"
             u"</DepositAddRq>"_s);
    QCOMPARE(Statuses(deposit).at(0).Code, 0);
    QCOMPARE(Element(deposit, u"DepositTotal"_s), u"500.00"_s);
    QCOMPARE(Element(deposit, u"CheckNumber"_s), u"10230"_s);
    const QString deposits = Send(u"<DepositQueryRq><TxnDateRangeFilter><FromTxnDate>2024-03-07"
                                  u"</FromTxnDate></TxnDateRangeFilter><IncludeLineItems>true"
                                  u"</IncludeLineItems></DepositQueryRq>"_s);
    QCOMPARE(deposits.count(u"<DepositLineRet>"_s), 1);

    QCOMPARE(Statuses(Send(JournalEntry(u"250.00"_s, u"250.00"_s))).at(0).Code, 0);
    const QString entries = Send(u"<JournalEntryQueryRq><TxnDateRangeFilter><FromTxnDate>"
                                 u"2024-03-07</FromTxnDate><ToTxnDate>2024-03-07</ToTxnDate>"
                                 u"</TxnDateRangeFilter><IncludeLineItems>true</IncludeLineItems>"
                                 u"</JournalEntryQueryRq>"_s);
    QCOMPARE(entries.count(u"<JournalEntryRet>"_s), 1);
    QCOMPARE(entries.count(u"<JournalDebitLine>"_s), 1);
    QCOMPARE(entries.count(u"<JournalCreditLine>"_s), 1);
}

void TestQBSandbox::voidKeepsNumberAndPayee() {
    const QString added = Send(CheckAdd(u"Checking"_s, u"12.50"_s,
                                        u"<PayeeEntityRef><FullName>Wei Chen</FullName>"
                                        u"</PayeeEntityRef><RefNumber>555</RefNumber>"
                                        u"<TxnDate>2024-03-07</TxnDate><Memo>Pay</Memo>"_s));
    const QString id = Element(added, u"TxnID"_s);
    QCOMPARE(Statuses(Send(u"<TxnVoidRq><TxnVoidType>Deposit</TxnVoidType><TxnID>" + id +
                           u"</TxnID></TxnVoidRq>"))
                 .at(0)
                 .Code,
             3120);
    const QString voided =
        Send(u"<TxnVoidRq><TxnVoidType>Check</TxnVoidType><TxnID>" + id + u"</TxnID></TxnVoidRq>");
    QCOMPARE(Statuses(voided).at(0).Code, 0);
    QCOMPARE(Element(voided, u"TxnID"_s), id);
    QCOMPARE(Element(voided, u"RefNumber"_s), u"555"_s);
    const QString check = Send(u"<CheckQueryRq><TxnID>" + id +
                               u"</TxnID><IncludeLineItems>true</IncludeLineItems></CheckQueryRq>");
    QCOMPARE(Element(check, u"Amount"_s, 0), u"0.00"_s);
    QCOMPARE(Element(check, u"Amount"_s, 1), u"0.00"_s);
    QCOMPARE(Element(check, u"Memo"_s), u"VOID: Pay"_s);
    QCOMPARE(Element(check, u"RefNumber"_s), u"555"_s);
    QVERIFY(check.contains(u"<FullName>Wei Chen</FullName>"_s));
}

void TestQBSandbox::clearedStatus() {
    const QString id = Element(Send(CheckAdd(u"Checking"_s, u"1.00"_s)), u"TxnID"_s);
    const QString answer = Send(u"<ClearedStatusModRq><ClearedStatusMod><TxnID>" + id +
                                u"</TxnID><ClearedStatus>Cleared</ClearedStatus>"
                                u"</ClearedStatusMod></ClearedStatusModRq>");
    QCOMPARE(Statuses(answer).at(0).Code, 0);
    QCOMPARE(TQBSandboxCompany(m_file, false).FindTxn(id)->Cleared, u"Cleared"_s);
}

void TestQBSandbox::versions() {
    QCOMPARE(m_processor->QBXMLVersionsForSession(m_ticket).first(), u"1.0"_s);
    QCOMPARE(m_processor->QBXMLVersionsForSession(m_ticket).last(), u"7.0"_s);
    {
        TQBSandboxCompany company(m_file, false);
        company.Begin();
        company.SetVersions({u"2.0"_s, u"6.0"_s});
        company.Commit();
    }
    QCOMPARE(m_processor->QBXMLVersionsForSession(m_ticket), (QStringList{"2.0", "6.0"}));
}

void TestQBSandbox::faultsRefuseTheSession_data() {
    QTest::addColumn<bool>("notRunning");
    QTest::addColumn<uint>("hresult");
    QTest::newRow("QuickBooks not running") << true << uint(qbhr::NotRunning);
    QTest::newRow("access denied") << false << uint(qbhr::AccessDenied);
}

void TestQBSandbox::faultsRefuseTheSession() {
    QFETCH(bool, notRunning);
    QFETCH(uint, hresult);
    {
        TQBSandboxCompany company(m_file, false);
        TSbFaults f;
        f.NotRunning = notRunning;
        f.AccessDenied = !notRunning;
        company.Begin();
        company.SetFaults(f);
        company.Commit();
    }
    try {
        m_processor->BeginSession(QString(), 2);
        QFAIL("session opened");
    } catch (const EQBProcessorError& e) {
        QCOMPARE(e.HResult(), quint32(hresult));
        QVERIFY(e.Message().contains(u"QuickBooks"_s));
    }
}

void TestQBSandbox::failRequestIsOneShot() {
    {
        TQBSandboxCompany company(m_file, false);
        TSbFaults f;
        f.FailRequest = 2;
        company.Begin();
        company.SetFaults(f);
        company.Commit();
    }
    const auto st =
        Statuses(Send(CheckAdd(u"Checking"_s, u"1.00"_s) + CheckAdd(u"Checking"_s, u"2.00"_s) +
                      CheckAdd(u"Checking"_s, u"3.00"_s)));
    QCOMPARE(st.at(0).Code, 0);
    QCOMPARE(st.at(1).Code, 3180);
    QCOMPARE(st.at(2).Code, 3231);
    QCOMPARE(Statuses(Send(CheckAdd(u"Checking"_s, u"4.00"_s))).at(0).Code, 0);
    QCOMPARE(TxnCount(u"Check"_s), 2);
}

void TestQBSandbox::answerKeptForRecovery() {
    Send(CheckAdd(u"Checking"_s, u"1.00"_s));
    const QString answer = m_processor->ProcessRequest(
        m_ticket, Recoverable(CheckAdd(u"Checking"_s, u"2.00"_s) + CheckAdd(u"Nope"_s, u"3.00"_s),
                              u"run-1"_s));
    QVERIFY(answer.contains(u"newMessageSetID=\"run-1\""_s));
    QCOMPARE(SetStatus(answer), u"0"_s);
    const auto status = [&](const QString& id) {
        return m_processor->ProcessRequest(m_ticket, StatusRequest(id));
    };
    // The kept answer comes back as it was answered; asking changes nothing.
    const QString kept = status(u"run-1"_s);
    QCOMPARE(SetStatus(kept), u"0"_s);
    QCOMPARE(Responses(kept), Responses(answer));
    QCOMPARE(Statuses(kept).size(), size_t(2));
    QCOMPARE(TxnCount(u"Check"_s), 2);
    // Another ID, or another application, finds none.
    QCOMPARE(SetStatus(status(u"run-0"_s)), u"1"_s);
    QCOMPARE(Responses(status(u"run-0"_s)), QString());
    auto other = Processor(m_file);
    other->OpenConnection(QString(), u"another application"_s);
    const QString otherTicket = other->BeginSession(QString(), 2);
    QCOMPARE(SetStatus(other->ProcessRequest(otherTicket, StatusRequest(u"run-1"_s))), u"1"_s);
    other->EndSession(otherTicket);
    // A set without an ID keeps the answer; the next set with one replaces it.
    Send(u"<ClassQueryRq/>"_s);
    QCOMPARE(SetStatus(status(u"run-1"_s)), u"0"_s);
    m_processor->ProcessRequest(m_ticket, Recoverable(u"<ClassQueryRq/>"_s, u"run-2"_s));
    QCOMPARE(SetStatus(status(u"run-1"_s)), u"1"_s);
    QCOMPARE(Statuses(status(u"run-2"_s)).at(0).Name, u"ClassQueryRs"_s);
    QCOMPARE(SetStatus(status(u"ClearAllMessageSets"_s)), u"0"_s);
    QCOMPARE(SetStatus(status(u"run-2"_s)), u"1"_s);
}

void TestQBSandbox::lostAndFailedSets_data() {
    QTest::addColumn<TSbFaults>("faults");
    QTest::addColumn<int>("saved");
    QTest::addColumn<int>("kept");
    TSbFaults lost;
    lost.LoseResponse = 2;
    QTest::newRow("answer lost after saving") << lost << 3 << 3;
    TSbFaults before;
    before.FailBeforeSave = 2;
    QTest::newRow("failure before saving") << before << 0 << 0;
    TSbFaults forgotten = lost;
    forgotten.ForgetAnswers = true;
    QTest::newRow("answer lost, none kept") << forgotten << 3 << 0;
}

void TestQBSandbox::lostAndFailedSets() {
    // The fault strikes the second request: the set is saved whole or not
    // at all, and a status request finds its answer only where it was kept.
    QFETCH(TSbFaults, faults);
    QFETCH(int, saved);
    QFETCH(int, kept);
    {
        TQBSandboxCompany company(m_file, false);
        company.Begin();
        company.SetFaults(faults);
        company.Commit();
    }
    const QString set =
        Recoverable(CheckAdd(u"Checking"_s, u"1.00"_s) + CheckAdd(u"Checking"_s, u"2.00"_s) +
                        CheckAdd(u"Checking"_s, u"3.00"_s),
                    u"run-7"_s);
    try {
        m_processor->ProcessRequest(m_ticket, set);
        QFAIL("answered");
    } catch (const EQBProcessorError& e) {
        QCOMPARE(e.HResult(), qbhr::CannotAccess);
    }
    QCOMPARE(TxnCount(u"Check"_s), saved);
    const QString status = m_processor->ProcessRequest(m_ticket, StatusRequest(u"run-7"_s));
    QCOMPARE(SetStatus(status), kept > 0 ? u"0"_s : u"1"_s);
    QCOMPARE(int(Statuses(status).size()), kept);
    // Each fault fires once.
    QCOMPARE(Statuses(Send(CheckAdd(u"Checking"_s, u"4.00"_s))).at(0).Code, 0);
}

void TestQBSandbox::macroNamesTheAddedTransaction() {
    const QString clear = u"<ClearedStatusModRq><ClearedStatusMod><TxnID useMacro=\"TxnId:0\"/>"
                          u"<ClearedStatus>Cleared</ClearedStatus></ClearedStatusMod>"
                          u"</ClearedStatusModRq>"_s;
    const QString entry =
        JournalEntry(u"10.00"_s, u"10.00"_s)
            .replace(u"<JournalEntryAdd>"_s, u"<JournalEntryAdd defMacro=\"TxnId:0\">"_s);
    const QString answer = Send(entry + clear);
    QCOMPARE(Statuses(answer).at(1).Code, 0);
    TQBSandboxCompany company(m_file, false);
    QCOMPARE(company.FindTxn(Element(answer, u"TxnID"_s))->Cleared, u"Cleared"_s);
    // A macro no add of the set defined names nothing; a refused add defines none.
    QCOMPARE(Statuses(Send(clear, u"continueOnError"_s)).at(0).Code, 3120);
    const auto refused =
        Statuses(Send(QString(entry).replace(u"<Amount>10.00</Amount></JournalCreditLine>"_s,
                                             u"<Amount>9.00</Amount></JournalCreditLine>"_s) +
                          clear,
                      u"continueOnError"_s));
    QCOMPARE(refused.at(0).Code, 3180);
    QCOMPARE(refused.at(1).Code, 3120);
}

void TestQBSandbox::twoSessionsSeeCommittedData() {
    auto other = Processor(m_file);
    const QString ticket = other->BeginSession(QString(), 2);
    Send(CheckAdd(u"Checking"_s, u"1.00"_s, u"<RefNumber>77</RefNumber>"_s));
    const QString seen = other->ProcessRequest(
        ticket, Envelope(u"<CheckQueryRq><RefNumber>77</RefNumber></CheckQueryRq>"_s));
    QCOMPARE(seen.count(u"<CheckRet>"_s), 1);
    // Both sessions write; the ids stay unique.
    const QString a = Element(Send(CheckAdd(u"Checking"_s, u"1.00"_s)), u"TxnID"_s);
    const QString b = Element(
        other->ProcessRequest(ticket, Envelope(CheckAdd(u"Checking"_s, u"1.00"_s))), u"TxnID"_s);
    QVERIFY(a != b);
    other->EndSession(ticket);
}

void TestQBSandbox::namedCompanyFile_data() {
    QTest::addColumn<QString>("content"); // of the file named: "company", "text" or none
    QTest::addColumn<QString>("error");   // empty: it opens
    QTest::newRow("a company file, named after its file") << "company"
                                                          << "";
    QTest::newRow("missing file") << ""
                                  << "does not exist";
    QTest::newRow("not a company file") << "text"
                                        << "is not a sandbox QuickBooks company file";
}

// The file an application names is the session's company; one that cannot
// be opened fails as QuickBooks does, and a missing one is not made.
void TestQBSandbox::namedCompanyFile() {
    QFETCH(QString, content);
    QFETCH(QString, error);
    const QString path = m_dir.filePath(u"Maple Deli.qbsb"_s);
    QFile::remove(path);
    if (content == u"company")
        CreateSandboxCompany(path, QString());
    else if (content == u"text")
        QFile(path).open(QIODevice::WriteOnly);
    try {
        const QString ticket = m_processor->BeginSession(path, 2);
        QVERIFY(error.isEmpty());
        QCOMPARE(m_processor->GetCurrentCompanyFileName(ticket), path);
        const QString answer =
            m_processor->ProcessRequest(ticket, Envelope(u"<CompanyQueryRq/>"_s));
        QCOMPARE(Element(answer, u"CompanyName"_s) + Element(answer, u"LegalCompanyName"_s),
                 u"Maple DeliMaple Deli"_s);
    } catch (const EQBProcessorError& e) {
        QCOMPARE(e.HResult(), qbhr::CannotOpenFile);
        QVERIFY(e.Message().startsWith(QBProcessorMessage(qbhr::CannotOpenFile)));
        QVERIFY2(!error.isEmpty() && e.Message().contains(error), qPrintable(e.Message()));
        QCOMPARE(QFile::exists(path), !content.isEmpty());
    }
}

void TestQBSandbox::txnDel_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("id"); // empty: the added check's, voided
    QTest::addColumn<int>("code");
    QTest::newRow("voided check") << "Check"
                                  << "" << 0;
    QTest::newRow("unknown TxnID") << "Check"
                                   << "80000099-1" << 3120;
    QTest::newRow("of another kind") << "Deposit"
                                     << "" << 3120;
}

void TestQBSandbox::txnDel() {
    QFETCH(QString, type);
    QFETCH(QString, id);
    QFETCH(int, code);
    const QString check = Element(Send(CheckAdd(u"Checking"_s, u"1.00"_s)), u"TxnID"_s);
    Send(u"<TxnVoidRq><TxnVoidType>Check</TxnVoidType><TxnID>" + check + u"</TxnID></TxnVoidRq>");
    const QString target = id.isEmpty() ? check : id;
    const QString del = u"<TxnDelRq><TxnDelType>" + type + u"</TxnDelType><TxnID>" + target +
                        u"</TxnID></TxnDelRq>";
    const QString answer = Send(del);
    QCOMPARE(Statuses(answer).at(0).Code, code);
    QCOMPARE(TxnCount(u"Check"_s), code == 0 ? 0 : 1);
    if (code != 0)
        return;
    QCOMPARE(Element(answer, u"TxnDelType"_s) + Element(answer, u"TxnID"_s), type + target);
    QCOMPARE(Element(answer, u"TimeDeleted"_s), u"2024-03-09T07:21:56-05:00"_s);
}

void TestQBSandbox::editSequenceRisesAtEveryChange_data() {
    QTest::addColumn<QString>("change");
    QTest::newRow("void") << "<TxnVoidRq><TxnVoidType>Check</TxnVoidType><TxnID>@</TxnID>"
                             "</TxnVoidRq>";
    QTest::newRow("cleared status") << "<ClearedStatusModRq><ClearedStatusMod><TxnID>@</TxnID>"
                                       "<ClearedStatus>Cleared</ClearedStatus></ClearedStatusMod>"
                                       "</ClearedStatusModRq>";
}

// The clock stands still: each change must still give a new EditSequence,
// or a change could pass for none.
void TestQBSandbox::editSequenceRisesAtEveryChange() {
    QFETCH(QString, change);
    const QString added = Send(CheckAdd(u"Checking"_s, u"1.00"_s));
    const QString id = Element(added, u"TxnID"_s);
    QList<qint64> seen{Element(added, u"EditSequence"_s).toLongLong()};
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(Statuses(Send(QString(change).replace(u'@', id))).at(0).Code, 0);
        seen << Element(Send(u"<CheckQueryRq><TxnID>" + id + u"</TxnID></CheckQueryRq>"),
                        u"EditSequence"_s)
                    .toLongLong();
    }
    QCOMPARE(seen, (QList<qint64>{seen[0], seen[0] + 1, seen[0] + 2}));
}

namespace {

int Tool(const QStringList& args, QString* output = nullptr, QString* error = nullptr) {
    QString out, err;
    QTextStream o(&out), e(&err);
    const int code = RunQBSandboxTool(args, o, e);
    o.flush();
    e.flush();
    if (output)
        *output = out;
    if (error)
        *error = err;
    return code;
}

} // namespace

void TestQBSandbox::toolInitAndList() {
    const QString file = m_dir.filePath(u"tool.qbsb"_s);
    QCOMPARE(Tool({u"init"_s, file, u"--demo"_s, u"--demo-dir"_s, DemoDir()}), 0);
    QString out;
    const QString named = m_dir.filePath(u"named.qbsb"_s);
    QCOMPARE(Tool({u"init"_s, named, u"--name"_s, u" Maple Deli "_s}, &out), 0);
    QCOMPARE(out, u"created " + named + u": Maple Deli\n");
    QCOMPARE(Tool({u"list"_s, u"accounts"_s, file}, &out), 0);
    QVERIFY(QRegularExpression(u"\\nChecking +Bank +1000 "_s).match(out).hasMatch());
    QVERIFY(out.contains(u"Payroll Liabilities "_s));
    QVERIFY(out.endsWith(u"18 rows\n"_s));
    QCOMPARE(Tool({u"list"_s, u"employees"_s, file}, &out), 0);
    QVERIFY(out.contains(u"Maria A. Lopez"_s));
    QCOMPARE(Tool({u"list"_s, u"checks"_s, file}, &out), 0);
    QVERIFY(out.endsWith(u"0 rows\n"_s));
    QCOMPARE(Tool({u"init"_s, file}), 1); // exists already
}

void TestQBSandbox::toolAddAndRefusals_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("account") << QStringList{"add",     "account", "@", "Payroll Expenses:Bonus",
                                            "Expense", "6550"}
                             << 0 << "added account 8";
    QTest::newRow("employee") << QStringList{"add", "employee", "@", "Ann", "Lee", "B."} << 0
                              << "added employee";
    QTest::newRow("name in use") << QStringList{"add", "vendor", "@", "Wei Chen"} << 1
                                 << "The name \"Wei Chen\" of the list element is already in use.";
    QTest::newRow("missing parent")
        << QStringList{"add", "class", "@", "Kitchen:Ovens"} << 1
        << "The parent \"Kitchen\" of \"Kitchen:Ovens\" does not exist.";
    QTest::newRow("bad account type")
        << QStringList{"add", "account", "@", "Petty", "Cash"} << 1 << "is not an account type";
    QTest::newRow("unknown command") << QStringList{"frobnicate"} << 2 << "usage:";
    QTest::newRow("bad date") << QStringList{"list", "checks", "@", "--from", "07/03/2024"} << 2
                              << "is not a date of the form YYYY-MM-DD";
    QTest::newRow("missing file") << QStringList{"list", "accounts", "/nonexistent/x.qbsb"} << 1
                                  << "does not exist";
    QTest::newRow("latency") << QStringList{"latency", "@", "30", "--open", "500"} << 0
                             << "latency: 30 ms per request set, 500 ms to open the company file";
    QTest::newRow("company renamed")
        << QStringList{"name", "@", "Second Street Deli"} << 0 << "Second Street Deli";
    QTest::newRow("blank company name")
        << QStringList{"name", "@", " "} << 1 << "A company needs a name.";
    QTest::newRow("edit of no transaction")
        << QStringList{"edit", "@", "--ref", "999", "--memo", "m"} << 1
        << "No transaction has the number \"999\".";
    QTest::newRow("bad latency") << QStringList{"latency", "@", "-5"} << 2
                                 << "is not a latency of 0 to 60000 milliseconds";
    QTest::newRow("fail with a status")
        << QStringList{"fault", "@", "fail-request", "2", "3070"} << 0 << "fail-request: 2 (3070)";
    QTest::newRow("fail with an unknown status")
        << QStringList{"fault", "@", "fail-request", "2", "3999"} << 2
        << "fail-request answers with 3070, 3140 or 3180";
    QTest::newRow("fail before saving")
        << QStringList{"fault", "@", "fail-before-save", "4"} << 0 << "fail-before-save: 4";
    QTest::newRow("forget answers")
        << QStringList{"fault", "@", "forget-answers"} << 0 << "forget-answers: armed";
}

void TestQBSandbox::toolAddAndRefusals() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, text);
    const QString file = m_dir.filePath(u"tooladd%1.qbsb"_s.arg(m_count));
    QCOMPARE(Tool({u"init"_s, file, u"--demo"_s, u"--demo-dir"_s, DemoDir()}), 0);
    args.replaceInStrings(u"@"_s, file);
    QString out, err;
    QCOMPARE(Tool(args, &out, &err), code);
    QVERIFY2((code == 0 ? out : err).contains(text), qPrintable(out + err));
}

// A check and a deposit line may share a number: --type picks one, and its
// EditSequence changes as at a user's edit.
void TestQBSandbox::toolEditChangesOneTransaction() {
    Send(CheckAdd(u"Checking"_s, u"1.00"_s, u"<RefNumber>555</RefNumber>"_s));
    const QString deposit =
        Send(u"<DepositAddRq><DepositAdd><DepositToAccountRef><FullName>Checking</FullName>"
             u"</DepositToAccountRef><DepositLineAdd><AccountRef><FullName>Payroll Liabilities"
             u"</FullName></AccountRef><CheckNumber>555</CheckNumber></DepositLineAdd>"
             u"</DepositAdd></DepositAddRq>"_s);
    const QString id = Element(deposit, u"TxnID"_s);
    const QStringList edit{u"edit"_s, m_file, u"--ref"_s, u"555"_s, u"--memo"_s, u"Fixed"_s};
    QString out, err;
    QCOMPARE(Tool(edit, &out, &err), 1);
    QVERIFY2(err.contains(u"2 transactions have the number \"555\" (Check "_s), qPrintable(err));
    QCOMPARE(Tool(edit + QStringList{u"--type"_s, u"deposit"_s}, &out), 0);
    const auto edited = TQBSandboxCompany(m_file, false).FindTxn(id, false);
    QCOMPARE(edited->Memo, u"Fixed"_s);
    QCOMPARE(out, u"changed Deposit 555 (" + id + u"): EditSequence " +
                      Element(deposit, u"EditSequence"_s) + u" -> " + edited->EditSequence + u'\n');
    QVERIFY(edited->EditSequence.toLongLong() > Element(deposit, u"EditSequence"_s).toLongLong());
}

void TestQBSandbox::toolFaultAndTransactions() {
    QString out;
    QCOMPARE(Tool({u"fault"_s, m_file, u"fail-request"_s, u"1"_s}, &out), 0);
    QVERIFY(out.contains(u"fail-request: 1"_s));
    QCOMPARE(Statuses(Send(CheckAdd(u"Checking"_s, u"1.00"_s))).at(0).Code, 3180);
    Send(CheckAdd(u"Checking"_s, u"1.00"_s,
                  u"<RefNumber>3001</RefNumber><TxnDate>2024-03-07</TxnDate>"_s));
    Send(CheckAdd(u"Checking"_s, u"2.00"_s,
                  u"<RefNumber>3002</RefNumber><TxnDate>2024-04-07</TxnDate>"_s));
    QCOMPARE(Tool({u"list"_s, u"checks"_s, m_file, u"--from"_s, u"2024-03-01"_s, u"--to"_s,
                   u"2024-03-31"_s},
                  &out),
             0);
    QVERIFY(out.contains(u"3001"_s));
    QVERIFY(!out.contains(u"3002"_s));
    QVERIFY(out.endsWith(u"1 row\n"_s));
    QCOMPARE(Tool({u"fault"_s, m_file, u"not-running"_s}), 0);
    QVERIFY_THROWS_EXCEPTION(EQBProcessorError, m_processor->BeginSession(QString(), 2));
    QCOMPARE(Tool({u"fault"_s, m_file, u"clear"_s}), 0);
    m_processor->EndSession(m_processor->BeginSession(QString(), 2));
}

QTEST_GUILESS_MAIN(TestQBSandbox)
#include "tst_qbsandbox.moc"
