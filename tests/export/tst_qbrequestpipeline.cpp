// The request pipeline against a sandbox company: the requests of one set,
// refusals sorted from what was done, and sets whose answer was lost,
// recovered or not, or that failed whole.
#include "ChecksTestSupport.h"

#include "export/QBChecksRequests.h"
#include "export/QBRequestPipeline.h"

using namespace checkstest;
using namespace Qt::StringLiterals;

namespace {

// "1001": a check of 10.00; "bad 1001": one in an account QuickBooks lacks;
// "del 1-1": a delete of that TxnID.
TQBRequest Request(const QString& text) {
    const QStringList words = text.split(u' ');
    if (words.first() == u"del") {
        TQBTxnDel del;
        del.TxnDelType.SetValue(tdtCheck);
        del.TxnID.SetValue(words.last());
        return {TQBRequestKind::TxnDel, del};
    }
    TQBChecksExportParam options = DemoOptions();
    options.IncludeEENames = false;
    if (words.first() == u"bad")
        options.CashAccount = u"Nope"_s;
    TCheckRecord record;
    record.CheckNumber = words.last();
    record.CheckDate = QDate(2024, 3, 8);
    record.Amount = Currency::FromUnits(10);
    return CheckAddRequest(record, options, QString());
}

const char* const StateNames[] = {"done", "refused", "failed", "unknown"};

} // namespace

class TestQBRequestPipeline : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answersSortedInRequestOrder_data();
    void answersSortedInRequestOrder();
};

void TestQBRequestPipeline::answersSortedInRequestOrder_data() {
    QTest::addColumn<TSbFaults>("faults");
    // The set's onError, as it left; empty when none left.
    QTest::addColumn<QString>("onError");
    QTest::addColumn<QStringList>("requests");
    // "state text", the text compared as far as given
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("company");

    const QString ok = u"done QB: [0] Status OK"_s;
    const QString badAccount =
        u"refused QB: [3140] There is an invalid reference to QuickBooks Account \"Nope\""_s;
    QTest::newRow("refusals between requests done")
        << TSbFaults() << u"continueOnError"_s
        << QStringList{u"1001"_s, u"bad 1002"_s, u"del 1-1"_s, u"1003"_s}
        << QStringList{ok, badAccount,
                       u"refused QB: [3120] Object \"1-1\" specified in the request cannot be "
                       u"found.  QuickBooks error message: Invalid argument.  The specified "
                       u"record does not exist in the list."_s,
                       ok}
        << QStringList{u"Check 1001 1000"_s, u"Check 1003 1000"_s};
    QTest::newRow("stop on error leaves the rest")
        << TSbFaults() << u"stopOnError"_s << QStringList{u"bad 1001"_s, u"1002"_s}
        << QStringList{badAccount, u"refused QB: [3231] The request has not been processed."_s}
        << QStringList();
    TSbFaults lost;
    lost.LoseResponse = 2;
    QTest::newRow("lost answer recovered")
        << lost << u"continueOnError"_s << QStringList{u"1001"_s, u"1002"_s} << QStringList{ok, ok}
        << QStringList{u"Check 1001 1000"_s, u"Check 1002 1000"_s};
    TSbFaults forgotten = lost;
    forgotten.ForgetAnswers = true;
    const QString unknown = u"unknown The answer of QuickBooks to request set "_s;
    QTest::newRow("lost answer none kept")
        << forgotten << u"continueOnError"_s << QStringList{u"1001"_s, u"1002"_s}
        << QStringList{unknown, unknown} << QStringList{u"Check 1001 1000"_s, u"Check 1002 1000"_s};
    TSbFaults before;
    before.FailBeforeSave = 1;
    QTest::newRow("processor failed, nothing kept")
        << before << u"continueOnError"_s << QStringList{u"1001"_s, u"1002"_s}
        << QStringList{unknown, unknown} << QStringList();
    const QString refusedWhole =
        u"failed The text \"1-\x01\" holds a control character that QuickBooks cannot take."_s;
    QTest::newRow("set refused whole")
        << TSbFaults() << QString() << QStringList{u"1001"_s, u"del 1-\x01"_s}
        << QStringList{refusedWhole, refusedWhole} << QStringList();
}

void TestQBRequestPipeline::answersSortedInRequestOrder() {
    QFETCH(TSbFaults, faults);
    QFETCH(QString, onError);
    QFETCH(QStringList, requests);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, company);
    TDemoCompany demo;
    demo.SetFaults(faults);
    TRecordingLogger log;
    auto sets = std::make_shared<TRequestSets>();
    TScopedSink scoped(log.Stateful(), sets);
    auto connection = demo.Connect(log.LoggerPtr());
    TQBRequestPipeline pipeline(*connection, static_cast<int>(requests.size()));

    std::vector<TQBRequest> sent;
    for (const QString& r : requests)
        sent.push_back(Request(r));
    const TQBAnswers got = pipeline.Send(
        std::move(sent), onError == u"stopOnError" ? oeStopOnError : oeContinueOnError);

    QCOMPARE(sets->Sets.isEmpty(), onError.isEmpty());
    if (!onError.isEmpty())
        QVERIFY(sets->Sets.first().contains(u"onError=\""_s + onError + u'"'));
    QCOMPARE(int(got.size()), answers.size());
    for (size_t i = 0; i < got.size(); ++i) {
        const TQBAnswer& a = got[i];
        const QString text = QString::fromLatin1(StateNames[a.State()]) + u' ' + a.Text();
        QVERIFY2(text.startsWith(answers[int(i)]), qPrintable(text));
        // Only what was done is taken; the rest throws to its owner.
        bool threw = false;
        try {
            a.Take(log.Logger());
        } catch (const EztException&) {
            threw = true;
        }
        QCOMPARE(threw, a.State() != qasDone);
    }
    QCOMPARE(demo.Summary(), company);
}

QTEST_GUILESS_MAIN(TestQBRequestPipeline)
#include "tst_qbrequestpipeline.moc"
