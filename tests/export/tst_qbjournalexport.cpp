#include "GLTestSandbox.h"
#include "RecordingLogSink.h"

#include "base/RegionalSettings.h"
#include "export/QBJournalExport.h"

#include <QtTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TSbFaults)

namespace {

TQBGLExportParam Param(bool numbers, TGLTagParsing parsing = gtpDontParse,
                       const QString& delimiter = QString()) {
    TQBGLExportParam p;
    p.UseAccountNumbers = numbers;
    p.GLTagParsing = parsing;
    p.DelimiterInGLTag = delimiter;
    return p;
}

// Comma-separated journal lines "company,date,tag,debit,credit".
TGLRecordArray Journal(const QStringList& lines, const TQBGLExportParam& param) {
    QString text;
    for (const QString& line : lines) {
        const QStringList f = line.split(u',');
        text += f[0] + u',' + f[1] + u",PR01,WK1,," + f[2] + u",0," + f[3] + u',' + f[4] + u"\n";
    }
    TRecordingLogger log;
    return ParseGLJournal(log.Logger(), text, param);
}

// Options by account numbers with the clearing as asked.
TQBGLExportParam ClearParam(bool clear, int batchSize) {
    TQBGLExportParam p = Param(true);
    p.Clear = clear;
    p.BatchSize = batchSize;
    return p;
}

// A balanced journal of one debit and one credit.
TGLRecordArray TenDollars(const TQBGLExportParam& param) {
    return Journal({"HLB1,20240308,6510,10.00,", "HLB1,20240308,2110,,10.00"}, param);
}

QStringList Texts(const std::vector<TRecordedMessage>& messages, bool details = false) {
    QStringList result;
    for (const TRecordedMessage& m : messages)
        result << (details ? m.Details : m.Message);
    return result;
}

} // namespace

class TestQBJournalExport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void missingNames_data();
    void missingNames();
    void validation_data();
    void validation();
    void validationStopsBeforeAccountsOnRecordErrors();
    void accountNumberCaseVariantIsExported();
    void linesByNumberWithClasses();
    void linesByNameWithCustomers();
    void recordsWithBothOrNoAmounts();
    void clearMarksTheEntry();
    void clearWithoutTheAddedEntry();
    void entryPostedWhateverBecameOfTheRest_data();
    void entryPostedWhateverBecameOfTheRest();
    void unbalancedEntryRefused();
    void unknownAccountNumberFailsBeforeSending();
    void tooLongClassRefusedBeforeSending();
};

void TestQBJournalExport::missingNames_data() {
    QTest::addColumn<QStringList>("known");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("missing");
    QTest::newRow("all known") << QStringList{"1000", "6510"} << QStringList{"6510", "1000"}
                               << QStringList{};
    QTest::newRow("known in other case")
        << QStringList{"Payroll:Wages"} << QStringList{"payroll:wages", "PAYROLL:WAGES"}
        << QStringList{};
    QTest::newRow("case variants once, first form")
        << QStringList{"Rent"} << QStringList{"Wages", "Rent", "WAGES", "wages"}
        << QStringList{"Wages"};
    QTest::newRow("sorted without regard to case")
        << QStringList{} << QStringList{"b", "C", "a", "B"} << QStringList{"a", "b", "C"};
    QTest::newRow("nothing to check") << QStringList{"x"} << QStringList{} << QStringList{};
}

void TestQBJournalExport::missingNames() {
    QFETCH(QStringList, known);
    QFETCH(QStringList, names);
    QFETCH(QStringList, missing);
    QCOMPARE(MissingNames(known, names), missing);
}

void TestQBJournalExport::validation_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("numbers");
    QTest::addColumn<int>("parsing");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<QString>("details");

    const QString d = u"HLB1,20240308,"_s;
    QTest::newRow("numbers known") << QStringList{d + "6510,100,", d + "2110,,100"} << true
                                   << int(gtpDontParse) << true << QStringList{} << QString();
    QTest::newRow("full names in another case")
        << QStringList{d + "payroll expenses:wages,100,", d + "CHECKING,,100"} << false
        << int(gtpDontParse) << true << QStringList{} << QString();
    QTest::newRow("two company codes and two dates")
        << QStringList{d + "6510,100,", "HLB2,20240308,2110,,50", "HLB1,20240309,2110,,50"} << true
        << int(gtpDontParse) << false
        << QStringList{"Company code must be the same for all GL records. Found <HLB1> and <HLB2>",
                       "Date must be the same for all GL records. Found <3/8/2024> and "
                       "<3/9/2024>"}
        << QString();
    QTest::newRow("one number missing")
        << QStringList{d + "6510,100,", d + "9999,,100"} << true << int(gtpDontParse) << false
        << QStringList{"Account with number <9999> doesn't exist in QB"} << QString();
    QTest::newRow("account without number counts as missing")
        << QStringList{d + "Savings,100,", d + "1000,,100"} << true << int(gtpDontParse) << false
        << QStringList{"Account with number <Savings> doesn't exist in QB"} << QString();
    QTest::newRow("huge tag quoted in part")
        << QStringList{d + QString(100000, u'x') + ",1,", d + "2110,,1"} << true
        << int(gtpDontParse) << false
        << QStringList{u"Account with number <"_s + QString(256, u'x') +
                       u"...> doesn't exist in QB"_s}
        << QString();
    QTest::newRow("Wages and WAGES are one missing account")
        << QStringList{d + "Wages,100,", d + "WAGES,,100"} << false << int(gtpDontParse) << false
        << QStringList{"Account with full name <Wages> doesn't exist in QB"} << QString();
    QTest::newRow("several accounts missing")
        << QStringList{d + "zeta,1,", d + "Alpha,1,", d + "6510,,1", d + "beta,,1", d + "ALPHA,,1"}
        << true << int(gtpDontParse) << false
        << QStringList{"3 accounts don't exist in QB. See details for missing accounts list."}
        << u"Alpha\r\nbeta\r\nzeta"_s;
    QTest::newRow("classes known, tag without class unchecked")
        << QStringList{d + "bakery|6510,100,", d + "Office:Delivery|6540,5,", d + "2110,,105"}
        << true << int(gtpAssignClass) << true << QStringList{} << QString();
    QTest::newRow("one class missing")
        << QStringList{d + "Bakery|6510,100,", d + "Garage|2110,,100"} << true
        << int(gtpAssignClass) << false
        << QStringList{"Class with full name <Garage> doesn't exist in QB"} << QString();
    QTest::newRow("several classes missing")
        << QStringList{d + "Garage|6510,100,", d + "Attic|2110,,100", d + "garage|6520,1,"} << true
        << int(gtpAssignClass) << false
        << QStringList{"2 classes don't exist in QB. See details for missing classes list."}
        << u"Attic\r\nGarage"_s;
    QTest::newRow("one customer missing")
        << QStringList{d + "Division 10|6510,100,", d + "Nobody|2110,,100"} << true
        << int(gtpAssignName) << false
        << QStringList{"Customer with full name <Nobody> doesn't exist in QB"} << QString();
    QTest::newRow("several customers missing")
        << QStringList{d + "Nobody|6510,100,", d + "Anybody|2110,,100"} << true
        << int(gtpAssignName) << false
        << QStringList{"2 customers don't exist in QB. See details for missing customer list."}
        << u"Anybody\r\nNobody"_s;
    QTest::newRow("classes unchecked when accounts are missing")
        << QStringList{d + "Garage|9999,100,", d + "Bakery|2110,,100"} << true
        << int(gtpAssignClass) << false
        << QStringList{"Account with number <9999> doesn't exist in QB"} << QString();
    QTest::newRow("class names ignored without tag parsing")
        << QStringList{d + "6510,100,", d + "2110,,100"} << true << int(gtpDontParse) << true
        << QStringList{} << QString();
}

void TestQBJournalExport::validation() {
    QFETCH(QStringList, lines);
    QFETCH(bool, numbers);
    QFETCH(int, parsing);
    QFETCH(bool, valid);
    QFETCH(QStringList, errors);
    QFETCH(QString, details);
    const TQBGLExportParam param =
        Param(numbers, static_cast<TGLTagParsing>(parsing), QStringLiteral("|"));
    const TGLRecordArray records = Journal(lines, param);

    TGLSandbox sandbox;
    TRecordingLogger log;
    const int depth = log.Depth();
    auto qb = sandbox.Connect(log.LoggerPtr());
    QCOMPARE(ValidateJournal(*qb, records, param), valid);
    const auto logged = log.Sink().OfKind(lmError);
    QCOMPARE(Texts(logged), errors);
    for (const TRecordedMessage& m : logged)
        QCOMPARE(m.Block, u"Validating Orvane Journal"_s);
    if (!details.isNull())
        QCOMPARE(logged.at(0).Details, details);
    QCOMPARE(log.Depth(), depth);
    QCOMPARE(sandbox.Sent->Adds.size(), size_t(0));
}

void TestQBJournalExport::validationStopsBeforeAccountsOnRecordErrors() {
    const TQBGLExportParam param = Param(true);
    const TGLRecordArray records =
        Journal({"HLB1,20240308,9999,1,", "HLB2,20240308,8888,,1"}, param);
    TGLSandbox sandbox;
    TRecordingLogger log;
    auto qb = sandbox.Connect(log.LoggerPtr());
    const int setsAfterOpen = sandbox.Sent->RequestSets;
    QCOMPARE(ValidateJournal(*qb, records, param), false);
    // Neither the account list nor anything else was asked for.
    QCOMPARE(sandbox.Sent->RequestSets, setsAfterOpen);
    QCOMPARE(log.Sink().OfKind(lmError).size(), size_t(1));
}

void TestQBJournalExport::accountNumberCaseVariantIsExported() {
    TGLSandbox sandbox;
    sandbox.AddElements({{TSbListKind::Account,
                          u"Clearing"_s,
                          u"OtherCurrentLiability"_s,
                          u"cl-100"_s,
                          {},
                          {},
                          {},
                          {},
                          true}});
    const TQBGLExportParam param = Param(true);
    const TGLRecordArray records =
        Journal({"HLB1,20240308,CL-100,25.00,", "HLB1,20240308,6510,,25.00"}, param);
    TRecordingLogger log;
    auto qb = sandbox.Connect(log.LoggerPtr());
    QVERIFY(ValidateJournal(*qb, records, param));
    ExportJournal(*qb, records, param);
    const auto entries = sandbox.JournalEntries();
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(sandbox.StoredLines(entries[0]).at(0).Account, u"Clearing"_s);
}

void TestQBJournalExport::linesByNumberWithClasses() {
    const TQBGLExportParam param = Param(true, gtpAssignClass, u"-"_s);
    const TGLRecordArray records =
        Journal({"HLB1,20240308,Bakery-6510,5150.00,", "HLB1,20240308,Office:Delivery-6540,85.00,",
                 "HLB1,20240308,2110,,5235.00"},
                param);
    TGLSandbox sandbox;
    TRecordingLogger log;
    auto qb = sandbox.Connect(log.LoggerPtr());
    QVERIFY(ValidateJournal(*qb, records, param));
    ExportJournal(*qb, records, param);

    QCOMPARE(sandbox.Sent->Adds.size(), size_t(1));
    const TQBJournalEntryAdd& add = sandbox.Sent->Adds[0];
    QCOMPARE(add.DefMacro.GetValue(), u"TxnID:JournalEntry"_s);
    QCOMPARE(add.Memo.GetValue(), u"Payroll from Orvane"_s);
    QCOMPARE(add.TxnDate.GetValue(), QDate(2024, 3, 8));
    for (const TQBJournalLineAdd& line : add.JournalLineList) {
        // By number the account goes by list id, never by name.
        QVERIFY(line.AccountRef.ListID.IsSet());
        QVERIFY(!line.AccountRef.FullName.IsSet());
        QVERIFY(!line.EntityRef.IsSet());
    }
    QVERIFY(!add.JournalLineList[2].ClassRef.IsSet());

    const auto entries = sandbox.JournalEntries();
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(entries[0].Memo, u"Payroll from Orvane"_s);
    QCOMPARE(entries[0].TxnDate, QDate(2024, 3, 8));
    const QString memo = u"Payroll from Orvane"_s;
    const std::vector<TStoredLine> expected{
        {u"Debit"_s, u"Payroll Expenses:Wages"_s, u"5150.00"_s, memo, u"Bakery"_s, {}},
        {u"Debit"_s,
         u"Payroll Expenses:Service Fees"_s,
         u"85.00"_s,
         memo,
         u"Office:Delivery"_s,
         {}},
        {u"Credit"_s, u"Payroll Liabilities:Federal Withholding"_s, u"5235.00"_s, memo, {}, {}}};
    QCOMPARE(sandbox.StoredLines(entries[0]), expected);
}

void TestQBJournalExport::linesByNameWithCustomers() {
    const TQBGLExportParam param = Param(false, gtpAssignName, u"|"_s);
    const TGLRecordArray records =
        Journal({"HLB1,20240308,division 20:catering|Payroll Expenses:Wages,300.00,",
                 "HLB1,20240308,payroll liabilities:net pay clearing,,300.00"},
                param);
    TGLSandbox sandbox;
    TRecordingLogger log;
    auto qb = sandbox.Connect(log.LoggerPtr());
    QVERIFY(ValidateJournal(*qb, records, param));
    ExportJournal(*qb, records, param);

    const TQBJournalEntryAdd& add = sandbox.Sent->Adds.at(0);
    QCOMPARE(add.JournalLineList[0].AccountRef.FullName.GetValue(), u"Payroll Expenses:Wages"_s);
    QVERIFY(!add.JournalLineList[0].AccountRef.ListID.IsSet());
    QVERIFY(!add.JournalLineList[0].ClassRef.IsSet());
    // Names validated without regard to letter case go out as QuickBooks
    // spells them.
    QCOMPARE(add.JournalLineList[0].EntityRef.FullName.GetValue(), u"Division 20:Catering"_s);
    QCOMPARE(add.JournalLineList[1].AccountRef.FullName.GetValue(),
             u"Payroll Liabilities:Net Pay Clearing"_s);
    const QString memo = u"Payroll from Orvane"_s;
    const std::vector<TStoredLine> expected{
        {u"Debit"_s, u"Payroll Expenses:Wages"_s, u"300.00"_s, memo, {}, u"Division 20:Catering"_s},
        {u"Credit"_s, u"Payroll Liabilities:Net Pay Clearing"_s, u"300.00"_s, memo, {}, {}}};
    QCOMPARE(sandbox.StoredLines(sandbox.JournalEntries().at(0)), expected);
}

void TestQBJournalExport::recordsWithBothOrNoAmounts() {
    const TQBGLExportParam param = Param(true);
    // A record with both amounts gives its debit line first; one without
    // amounts gives none.
    const TGLRecordArray records =
        Journal({"HLB1,20240308,6510,100.00,40.00", "HLB1,20240308,6520,,",
                 "HLB1,20240308,2110,40.00,100.00"},
                param);
    TGLSandbox sandbox;
    TRecordingLogger log;
    auto qb = sandbox.Connect(log.LoggerPtr());
    ExportJournal(*qb, records, param);
    const QString memo = u"Payroll from Orvane"_s;
    const QString wages = u"Payroll Expenses:Wages"_s;
    const QString withholding = u"Payroll Liabilities:Federal Withholding"_s;
    const std::vector<TStoredLine> expected{{u"Debit"_s, wages, u"100.00"_s, memo, {}, {}},
                                            {u"Credit"_s, wages, u"40.00"_s, memo, {}, {}},
                                            {u"Debit"_s, withholding, u"40.00"_s, memo, {}, {}},
                                            {u"Credit"_s, withholding, u"100.00"_s, memo, {}, {}}};
    QCOMPARE(sandbox.StoredLines(sandbox.JournalEntries().at(0)), expected);
}

void TestQBJournalExport::clearMarksTheEntry() {
    // One request a set clears in a set of its own; more than one sends the
    // clearing after the add in its set, naming the entry by the add's macro.
    for (const bool clear : {false, true}) {
        for (const int batchSize : {1, 50}) {
            const TQBGLExportParam param = ClearParam(clear, batchSize);
            const TGLRecordArray records = TenDollars(param);
            TGLSandbox sandbox;
            TRecordingLogger log;
            auto qb = sandbox.Connect(log.LoggerPtr());
            ExportJournal(*qb, records, param);
            QCOMPARE(sandbox.JournalEntries().at(0).Cleared,
                     clear ? u"Cleared"_s : u"NotCleared"_s);
            // The account query, the add, and the clearing alone with one a set.
            QCOMPARE(sandbox.Sent->RequestSets, clear && batchSize == 1 ? 3 : 2);
        }
    }
}

void TestQBJournalExport::clearWithoutTheAddedEntry() {
    // One a set: the clearing needs the entry's TxnID from the answer.
    const TQBGLExportParam param = ClearParam(true, 1);
    const TGLRecordArray records = TenDollars(param);
    TGLSandbox sandbox;
    sandbox.Sent->DropAddedEntry = true;
    TRecordingLogger log;
    auto qb = sandbox.Connect(log.LoggerPtr());
    // The entry was created; only the clearing is missing, and it is said so.
    QCOMPARE(ExportJournal(*qb, records, param).State, jesNotCleared);
    QCOMPARE(Texts(log.Sink().OfKind(lmException)),
             QStringList{u"QuickBooks did not return the journal entry it created, so it cannot "
                         u"be marked cleared."_s});
    QCOMPARE(sandbox.JournalEntries().at(0).Cleared, u"NotCleared"_s);
}

void TestQBJournalExport::entryPostedWhateverBecameOfTheRest_data() {
    // Requests: the account query, then the add and the clearing, in one
    // set or, at one a set, in two.
    QTest::addColumn<int>("batchSize");
    QTest::addColumn<TSbFaults>("faults");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("warning"); // how it starts; %1 the number, %2 the TxnID
    const QString entry = u"The journal entry of 3/8/2024 (number %1, TxnID %2) was created in "
                          u"QuickBooks"_s;
    TSbFaults refused;
    refused.FailRequest = 3;
    QTest::newRow("clearing refused after the add in its set")
        << 50 << refused << int(jesNotCleared)
        << entry + u" and stays there, not marked cleared. "
                   u"Mark it cleared in QuickBooks, and do "
                   u"not post this journal again"_s;
    TSbFaults lost;
    lost.FailBeforeSave = 3;
    QTest::newRow("clearing's set lost") << 1 << lost << int(jesNotCleared)
                                         << entry + u"; whether it was marked cleared is unknown"_s;
    TSbFaults unknown;
    unknown.LoseResponse = 2;
    unknown.ForgetAnswers = true;
    QTest::newRow("add saved, answer lost")
        << 50 << unknown << int(jesStateUnknown)
        << u"Whether the journal entry of 3/8/2024 was created in QuickBooks is unknown"_s;
}

void TestQBJournalExport::entryPostedWhateverBecameOfTheRest() {
    // An entry that is, or may be, in QuickBooks is no failure: the warning
    // says which entry and what to do, so that nobody posts it twice.
    QFETCH(int, batchSize);
    QFETCH(TSbFaults, faults);
    QFETCH(int, state);
    QFETCH(QString, warning);
    const TQBGLExportParam param = ClearParam(true, batchSize);
    const TGLRecordArray records = TenDollars(param);
    TGLSandbox sandbox;
    sandbox.SetFaults(faults);
    TRecordingLogger log;
    auto qb = sandbox.Connect(log.LoggerPtr());
    const TJournalExportResult result = ExportJournal(*qb, records, param);
    QCOMPARE(int(result.State), state);
    const auto stored = sandbox.JournalEntries();
    QCOMPARE(stored.size(), size_t(1));
    if (state == jesNotCleared)
        QCOMPARE(stored[0].Cleared, u"NotCleared"_s);
    if (warning.contains(u"%1"_s))
        warning = warning.arg(stored[0].TxnNumber).arg(stored[0].TxnID);
    QVERIFY2(result.Warning.startsWith(warning), qPrintable(result.Warning));
    QCOMPARE(Texts(log.Sink().OfKind(lmWarning)).last(), result.Warning);
    QCOMPARE(log.Sink().OfKind(lmException).size(), size_t(1));
}

void TestQBJournalExport::unbalancedEntryRefused() {
    const TQBGLExportParam param = Param(true);
    const TGLRecordArray records =
        Journal({"HLB1,20240308,6510,100.00,", "HLB1,20240308,2110,,99.99"}, param);
    TGLSandbox sandbox;
    TRecordingLogger log;
    const int depth = log.Depth();
    auto qb = sandbox.Connect(log.LoggerPtr());
    QVERIFY(ValidateJournal(*qb, records, param));
    const QString status = u"QB: [3180] There was an error when saving a Journal Entry.  "
                           u"QuickBooks error message: Transaction not in balance."_s;
    try {
        ExportJournal(*qb, records, param);
        QFAIL("an unbalanced entry was accepted");
    } catch (const EQBStatusError& e) {
        QCOMPARE(e.StatusCode(), 3180);
        QVERIFY2(e.Message().startsWith(status + u"\r\n"_s), qPrintable(e.Message()));
    }
    QCOMPARE(sandbox.JournalEntries().size(), size_t(0));
    const auto logged = log.Sink().OfKind(lmException);
    QCOMPARE(logged.size(), size_t(1));
    QVERIFY(logged[0].Message.startsWith(status));
    QCOMPARE(logged[0].Block, u"Exporting to QB"_s);
    QCOMPARE(log.Depth(), depth);
}

void TestQBJournalExport::unknownAccountNumberFailsBeforeSending() {
    const TQBGLExportParam param = Param(true);
    const TGLRecordArray records =
        Journal({"HLB1,20240308,6510,1.00,", "HLB1,20240308,4242,,1.00"}, param);
    TGLSandbox sandbox;
    TRecordingLogger log;
    auto qb = sandbox.Connect(log.LoggerPtr());
    QVERIFY_THROWS_EXCEPTION(EztException, ExportJournal(*qb, records, param));
    QCOMPARE(Texts(log.Sink().OfKind(lmException)),
             QStringList{u"Account with number <4242> doesn't exist in QB"_s});
    QCOMPARE(sandbox.Sent->Adds.size(), size_t(0));
    QCOMPARE(sandbox.JournalEntries().size(), size_t(0));
}

void TestQBJournalExport::tooLongClassRefusedBeforeSending() {
    const TQBGLExportParam param = Param(true, gtpAssignClass, u"-"_s);
    const TGLRecordArray records = Journal(
        {u"HLB1,20240308,"_s + QString(160, u'C') + u"-6510,1.00,"_s, "HLB1,20240308,2110,,1.00"},
        param);
    TGLSandbox sandbox;
    TRecordingLogger log;
    auto qb = sandbox.Connect(log.LoggerPtr());
    QVERIFY_THROWS_EXCEPTION(EztException, ExportJournal(*qb, records, param));
    QCOMPARE(Texts(log.Sink().OfKind(lmException)),
             QStringList(u"Class <"_s + QString(40, u'C') +
                         u"...> is too long for QuickBooks: it holds at most 159 characters, "
                         u"this has 160."_s));
    QCOMPARE(sandbox.JournalEntries().size(), size_t(0));
}

QTEST_GUILESS_MAIN(TestQBJournalExport)
#include "tst_qbjournalexport.moc"
