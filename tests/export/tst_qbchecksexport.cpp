// ExportChecks against a sandbox company: outcome counts, what QuickBooks
// holds afterwards, the difference warnings, faults in the middle and the
// re-run, and the summary sentence.
#include "ChecksTestSupport.h"

#include "logging/vlxLogWriters.h"

using namespace checkstest;
using namespace Qt::StringLiterals;

namespace {

const QString Maria = u"\"Maria\",A,\"Lopez\",\"Pay 03/01-03/07\",3/8/2024,1001,1250.10"_s;
const QString James = u"\"James\",T,\"Okafor\",\"Pay 03/01-03/07\",3/8/2024,1002,980.29"_s;
const QString Wei = u"\"Wei\",,\"Chen\",\"Pay 03/01-03/07\",3/8/2024,1003,0.29"_s;
const QString WeiDD = u"\"Wei\",,\"Chen\",\"Direct deposit\",3/8/2024,00012345,2000.50"_s;
const QString AnnaReturned = u"\"Anna\",K,\"Novak\",\"Returned pay\",3/9/2024,1999,-75.01"_s;

TChecksExportResult Counts(int added, int existed, int voided, int alreadyVoided, int depositsAdded,
                           int depositsExisted, int errors) {
    TChecksExportResult r;
    r.ChecksAdded = added;
    r.ChecksExisted = existed;
    r.ChecksVoided = voided;
    r.ChecksAlreadyVoided = alreadyVoided;
    r.DepositsAdded = depositsAdded;
    r.DepositsExisted = depositsExisted;
    r.Errors = errors;
    return r;
}

TChecksExportResult Export(TDemoCompany& company, TRecordingLogger& log, const QStringList& lines,
                           const TQBChecksExportParam& options = DemoOptions()) {
    const TCheckRecords records = Records(log, lines);
    auto connection = company.Connect(log.LoggerPtr());
    return ExportChecks(*connection, records, options);
}

TQBChecksExportParam Batched(int batchSize, bool clear = false) {
    TQBChecksExportParam options = DemoOptions();
    options.BatchSize = batchSize;
    options.Clear = clear;
    return options;
}

// One export as the user and the company see it.
struct TLoggedExport {
    TChecksExportResult Result;
    QStringList UserLog;
    QStringList Sets;
    QStringList Company;
};

TLoggedExport LoggedExport(TDemoCompany& company, const QStringList& lines,
                           const TQBChecksExportParam& options) {
    TLoggedExport out;
    TLoggerChain chain = CreateLoggerChain();
    auto sets = std::make_shared<TRequestSets>();
    TScopedSink user(chain.Stateful, std::make_shared<TPlainTextUserLogWriter>(
                                         std::make_shared<TStringsLogOutput>(&out.UserLog)));
    TScopedSink recorder(chain.Stateful, sets);
    const TCheckRecords records =
        ParseChecksReport(*chain.Common, lines.join(u"\r\n"_s), rkNone);
    auto connection = company.Connect(chain.Common);
    out.Result = ExportChecks(*connection, records, options);
    out.Sets = sets->Sets;
    out.Company = company.Summary();
    return out;
}

} // namespace

namespace QTest {
template <> char* toString(const TChecksExportResult& r) {
    return qstrdup(qPrintable(FormatChecksExportResult(r)));
}
} // namespace QTest

class TestQBChecksExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void directDeposit_data();
    void directDeposit();
    void summary_data();
    void summary();
    void freshExportThenReRun();
    void amountsExactToTheCent_data();
    void amountsExactToTheCent();
    void fractionOfACentIsRefused();
    void voidThenAlreadyVoided();
    void checkDifferences_data();
    void checkDifferences();
    void depositDifferences();
    void directDepositOnlyWithIncludeDD();
    void sameNumberTwiceCreatesTwo();
    void otherBankAccountIsNotExisting();
    void withoutPayeeNamesChecksWithPayeeAreNotVoided();
    void unknownEmployeeFailsOnlyItsRecord();
    void accountNamesInQuickBooksSpelling_data();
    void accountNamesInQuickBooksSpelling();
    void unknownAccountStopsBeforePosting_data();
    void unknownAccountStopsBeforePosting();
    void valuesQuickBooksCannotStoreFailTheirRecord_data();
    void valuesQuickBooksCannotStoreFailTheirRecord();
    void failedRequestThenCleanReRun();
    void batchedRunLogsAsOneRequestASet_data();
    void batchedRunLogsAsOneRequestASet();
    void someRequestsOfASetFail();
    void lostOrFailedSetThenCleanReRun_data();
    void lostOrFailedSetThenCleanReRun();
    void voidOfACheckNotAddedIsLeftForTheReRun_data();
    void voidOfACheckNotAddedIsLeftForTheReRun();
    void clearMarksCreatedTransactions();
    void cancelFinishesBegunRecords_data();
    void cancelFinishesBegunRecords();
    void progressCountsRecordsFinished();
    void agencyChecks();
    void queryFailureEndsExport();
    void reRunOfTenThousandChecks();
};

void TestQBChecksExport::directDeposit_data() {
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("dd");
    QTest::newRow("eight characters") << u"00012345"_s << true;
    QTest::newRow("with dash") << u"DD-123"_s << true;
    QTest::newRow("seven characters") << u"1234567"_s << false;
    QTest::newRow("nine characters") << u"123456789"_s << false;
    QTest::newRow("plain check") << u"10234"_s << false;
}

void TestQBChecksExport::directDeposit() {
    QFETCH(QString, number);
    QFETCH(bool, dd);
    TCheckRecord r;
    r.CheckNumber = number;
    QCOMPARE(IsDirectDepositCheck(r), dd);
}

void TestQBChecksExport::summary_data() {
    QTest::addColumn<TChecksExportResult>("result");
    QTest::addColumn<QString>("text");
    QTest::newRow("two added one existed")
        << Counts(2, 1, 0, 0, 0, 0, 0)
        << u"successfully completed: 2 checks added, 0 checks voided, 0 deposits added, 1 check "
           u"already existed, 0 checks were already voided, 0 deposits already existed"_s;
    QTest::newRow("one failed record only")
        << Counts(0, 0, 0, 0, 0, 0, 1)
        << u"failed: 1 error occured, 0 checks added, 0 checks voided, 0 deposits added, 0 checks "
           u"already existed, 0 checks were already voided, 0 deposits already existed"_s;
    QTest::newRow("partial with singulars")
        << Counts(1, 0, 1, 1, 1, 1, 2)
        << u"partially completed: 2 errors occured, 1 check added, 1 check voided, 1 deposit "
           u"added, 0 checks already existed, 1 check was already voided, 1 deposit already "
           u"existed"_s;
    QTest::newRow("only an existing deposit counts as done")
        << Counts(0, 0, 0, 0, 0, 1, 3)
        << u"partially completed: 3 errors occured, 0 checks added, 0 checks voided, 0 deposits "
           u"added, 0 checks already existed, 0 checks were already voided, 1 deposit already "
           u"existed"_s;
}

void TestQBChecksExport::summary() {
    QFETCH(TChecksExportResult, result);
    QFETCH(QString, text);
    QCOMPARE(FormatChecksExportResult(result), text);
}

void TestQBChecksExport::freshExportThenReRun() {
    TDemoCompany company;
    TRecordingLogger log;
    const int depth = log.Depth();
    const QStringList report{Maria, James, Wei, WeiDD, AnnaReturned};
    QCOMPARE(Export(company, log, report), Counts(3, 0, 0, 0, 1, 0, 0));
    QCOMPARE(company.Summary(), QStringList({u"Check 1001 125010"_s, u"Check 1002 98029"_s,
                                             u"Check 1003 29"_s, u"Deposit 1999 7501"_s}));
    const auto checks = company.Txns(u"Check"_s);
    QCOMPARE(checks[0].Account, u"Payroll Checking"_s);
    QCOMPARE(checks[0].Payee, u"Maria A. Lopez"_s);
    QCOMPARE(checks[0].Memo, u"Pay 03/01-03/07"_s);
    QCOMPARE(checks[0].Lines,
             QStringList(u"Payroll Liabilities:Net Pay Clearing|125010|Pay 03/01-03/07||"_s));
    const auto deposit = company.Txns(u"Deposit"_s).front();
    QCOMPARE(deposit.Account, u"Payroll Checking"_s);
    QCOMPARE(deposit.Lines,
             QStringList(u"Payroll Liabilities:Net Pay Clearing|7501|Returned pay|1999|Anna K "
                         u"Novak"_s));
    // Each record in a block of its own, with its context.
    const auto blocks = log.Sink().Events.filter(u"enter Exporting Check/Deposit to QB"_s);
    QCOMPARE(blocks.size(), 5);
    QCOMPARE(log.Depth(), depth);

    TRecordingLogger again;
    QCOMPARE(Export(company, again, report), Counts(0, 3, 0, 0, 0, 1, 0));
    QCOMPARE(company.Summary().size(), 4);
    QCOMPARE(Messages(again.Sink(), lmWarning), QStringList());
}

void TestQBChecksExport::amountsExactToTheCent_data() {
    QTest::addColumn<QString>("amount");
    QTest::addColumn<qint64>("cents");
    QTest::newRow("0.29") << u"0.29"_s << qint64(29);
    QTest::newRow("0.01") << u"0.01"_s << qint64(1);
    QTest::newRow("1.15") << u"1.15"_s << qint64(115);
    QTest::newRow("large") << u"1234567.89"_s << qint64(123456789);
    QTest::newRow("zero") << u"0.00"_s << qint64(0);
    QTest::newRow("negative 0.29 becomes a deposit") << u"-0.29"_s << qint64(29);
}

void TestQBChecksExport::amountsExactToTheCent() {
    QFETCH(QString, amount);
    QFETCH(qint64, cents);
    TDemoCompany company;
    TRecordingLogger log;
    const QString line = u"\"Wei\",,\"Chen\",\"Pay\",3/8/2024,4711,"_s + amount;
    const TChecksExportResult r = Export(company, log, {line});
    QCOMPARE(r.Errors, 0);
    const auto txns = company.Txns();
    QCOMPARE(txns.size(), size_t(1));
    QCOMPARE(txns[0].Cents, cents);
    // The re-run compares the stored amount with the report's exactly.
    TRecordingLogger again;
    const TChecksExportResult r2 = Export(company, again, {line});
    QCOMPARE(r2.ChecksExisted + r2.DepositsExisted, 1);
    QCOMPARE(Messages(again.Sink(), lmWarning), QStringList());
}

void TestQBChecksExport::fractionOfACentIsRefused() {
    // Rounding would change money silently: the record fails, the others go on.
    TDemoCompany company;
    TRecordingLogger log;
    const QString fraction = u"\"Wei\",,\"Chen\",\"Pay\",3/8/2024,4712,10.125"_s;
    QCOMPARE(Export(company, log, {fraction, Maria}), Counts(1, 0, 0, 0, 0, 0, 1));
    const QStringList errors = Messages(log.Sink(), lmException);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors[0].contains(u"more than two decimals"_s), qPrintable(errors[0]));
    QCOMPARE(company.Summary(), QStringList(u"Check 1001 125010"_s));
}

void TestQBChecksExport::voidThenAlreadyVoided() {
    TDemoCompany company;
    TRecordingLogger log;
    QCOMPARE(Export(company, log, {Maria}), Counts(1, 0, 0, 0, 0, 0, 0));
    const QString voidOfMaria =
        u"\"Maria\",A,\"Lopez\",\"Void of check 1001\",3/15/2024,1001,-1250.10"_s;
    QCOMPARE(Export(company, log, {voidOfMaria}), Counts(0, 0, 1, 0, 0, 0, 0));
    QCOMPARE(company.Summary(), QStringList(u"Check 1001 0"_s));
    QCOMPARE(Export(company, log, {voidOfMaria}), Counts(0, 0, 0, 1, 0, 0, 0));
    // A void of another amount finds no matching check: it becomes a deposit.
    const QString otherVoid = u"\"Maria\",A,\"Lopez\",\"Void\",3/15/2024,1002,-10.00"_s;
    QCOMPARE(Export(company, log, {otherVoid}), Counts(0, 0, 0, 0, 1, 0, 0));
}

void TestQBChecksExport::checkDifferences_data() {
    QTest::addColumn<QString>("rerunLine");
    QTest::addColumn<QString>("liability");
    QTest::addColumn<QString>("fields");
    const QString base = u"\"James\",T,\"Okafor\",\"%1\",%2,1002,%3"_s;
    QTest::newRow("memo") << base.arg(u"Other memo", u"3/8/2024", u"980.29") << QString()
                          << u"Memo, Expense Memo"_s;
    QTest::newRow("amount") << base.arg(u"Pay 03/01-03/07", u"3/8/2024", u"980.28") << QString()
                            << u"Amount"_s;
    QTest::newRow("date") << base.arg(u"Pay 03/01-03/07", u"3/7/2024", u"980.29") << QString()
                          << u"Date"_s;
    QTest::newRow("payee") << u"\"Daniel\",,\"Brooks\",\"Pay 03/01-03/07\",3/8/2024,1002,980.29"_s
                           << QString() << u"Payee"_s;
    QTest::newRow("expense account") << James << u"Payroll Liabilities"_s << u"Expense Account"_s;
    QTest::newRow("everything") << u"\"Wei\",,\"Chen\",\"x\",3/9/2024,1002,1.00"_s
                                << u"Payroll Liabilities"_s
                                << u"Amount, Payee, Date, Memo, Expense Account, Expense Memo"_s;
}

void TestQBChecksExport::checkDifferences() {
    QFETCH(QString, rerunLine);
    QFETCH(QString, liability);
    QFETCH(QString, fields);
    TDemoCompany company;
    TRecordingLogger log;
    QCOMPARE(Export(company, log, {James}).ChecksAdded, 1);
    TQBChecksExportParam options = DemoOptions();
    if (!liability.isEmpty())
        options.LiabilityAccount = liability;
    TRecordingLogger again;
    // The second record is the exported one: it differs at most in the
    // expense account of the changed options.
    QCOMPARE(Export(company, again, {rerunLine, James}, options).ChecksExisted, 2);
    const QString warning = u"Check with Bank Acoount Payroll Checking and Number 1002 already "
                            u"exists and some fields are different (%1)"_s;
    QStringList expected{warning.arg(fields)};
    if (!liability.isEmpty())
        expected << warning.arg(u"Expense Account"_s);
    QCOMPARE(Messages(again.Sink(), lmWarning), expected);
    QCOMPARE(again.Sink().OfKind(lmWarning)[0].Block, u"Exporting Check/Deposit to QB"_s);
    QCOMPARE(company.Txns().size(), size_t(1));
}

void TestQBChecksExport::depositDifferences() {
    TDemoCompany company;
    TRecordingLogger log;
    QCOMPARE(Export(company, log, {AnnaReturned}).DepositsAdded, 1);
    TRecordingLogger again;
    const QString changed = u"\"Wei\",,\"Chen\",\"Other\",3/10/2024,1999,-75.00"_s;
    TQBChecksExportParam options = DemoOptions();
    options.LiabilityAccount = u"Payroll Liabilities"_s;
    QCOMPARE(Export(company, again, {changed, AnnaReturned}, options), Counts(0, 0, 0, 0, 0, 2, 0));
    const QString warning = u"Deposit to account Payroll Checking with a line with Check Number "
                            u"1999 already exists and some fields are different (%1)"_s;
    QCOMPARE(Messages(again.Sink(), lmWarning),
             QStringList({warning.arg(u"Date, Memo, Deposit From Account, Amount, Line's Memo, "
                                      u"Received From"_s),
                          warning.arg(u"Deposit From Account"_s)}));
}

void TestQBChecksExport::directDepositOnlyWithIncludeDD() {
    TDemoCompany company;
    TRecordingLogger log;
    QCOMPARE(Export(company, log, {WeiDD}), Counts(0, 0, 0, 0, 0, 0, 0));
    QCOMPARE(company.Txns().size(), size_t(0));
    TQBChecksExportParam options = DemoOptions();
    options.IncludeDD = true;
    QCOMPARE(Export(company, log, {WeiDD}, options), Counts(1, 0, 0, 0, 0, 0, 0));
    // A negative direct-deposit amount still voids its check, included or not.
    const QString reversal = u"\"Wei\",,\"Chen\",\"Reversal\",3/9/2024,00012345,-2000.50"_s;
    QCOMPARE(Export(company, log, {reversal}), Counts(0, 0, 1, 0, 0, 0, 0));
    // ... and when nothing matches, it creates nothing unless included.
    const QString otherReversal = u"\"Wei\",,\"Chen\",\"Reversal\",3/9/2024,DD-77,-5.00"_s;
    QCOMPARE(Export(company, log, {otherReversal}), Counts(0, 0, 0, 0, 0, 0, 0));
    QCOMPARE(company.Summary(), QStringList(u"Check 00012345 0"_s));
}

void TestQBChecksExport::sameNumberTwiceCreatesTwo() {
    TDemoCompany company;
    TRecordingLogger log;
    QCOMPARE(Export(company, log, {Maria, Maria}), Counts(2, 0, 0, 0, 0, 0, 0));
    QCOMPARE(company.Txns().size(), size_t(2));
}

void TestQBChecksExport::otherBankAccountIsNotExisting() {
    TDemoCompany company;
    TRecordingLogger log;
    TQBChecksExportParam checking = DemoOptions();
    checking.CashAccount = u"Checking"_s;
    QCOMPARE(Export(company, log, {Maria}, checking).ChecksAdded, 1);
    QCOMPARE(Export(company, log, {Maria}).ChecksAdded, 1);
    QCOMPARE(Export(company, log, {Maria}).ChecksExisted, 1);
}

void TestQBChecksExport::withoutPayeeNamesChecksWithPayeeAreNotVoided() {
    TDemoCompany company;
    TRecordingLogger log;
    QCOMPARE(Export(company, log, {Maria}).ChecksAdded, 1);
    TQBChecksExportParam noNames = DemoOptions();
    noNames.IncludeEENames = false;
    const QString voidOfMaria = u"\"Maria\",A,\"Lopez\",\"Void\",3/15/2024,1001,-1250.10"_s;
    QCOMPARE(Export(company, log, {voidOfMaria}, noNames), Counts(0, 0, 0, 0, 1, 0, 0));
    QCOMPARE(company.Summary(), QStringList({u"Check 1001 125010"_s, u"Deposit 1001 125010"_s}));
}

void TestQBChecksExport::unknownEmployeeFailsOnlyItsRecord() {
    TDemoCompany company;
    TRecordingLogger log;
    const QString john = u"\"John\",A,\"Smith\",\"Pay\",3/8/2024,1005,10.00"_s;
    const TChecksExportResult r = Export(company, log, {Maria, john, Wei});
    QCOMPARE(r, Counts(2, 0, 0, 0, 0, 0, 1));
    QVERIFY(FormatChecksExportResult(r).startsWith(u"partially completed: "_s));
    const auto errors = log.Sink().OfKind(lmException);
    QCOMPARE(errors.size(), size_t(1));
    QCOMPARE(errors[0].Message, u"Cannot find QB employee record with First Name = 'John', "
                                u"Middle Initial = 'A', Last Name = 'Smith'"_s);
    QCOMPARE(errors[0].Block, u"Exporting Check/Deposit to QB"_s);
    QVERIFY(errors[0].Context.contains(u"CheckNumber=1005"_s));
    QCOMPARE(company.Summary(), QStringList({u"Check 1001 125010"_s, u"Check 1003 29"_s}));
}

void TestQBChecksExport::accountNamesInQuickBooksSpelling_data() {
    QTest::addColumn<QString>("cash");
    QTest::addColumn<QString>("liability");
    QTest::newRow("lower case") << u"payroll checking"_s
                                << u"payroll liabilities:net pay clearing"_s;
    QTest::newRow("blanks around")
        << u" Payroll Checking "_s << u"Payroll Liabilities:Net Pay Clearing "_s;
    QTest::newRow("upper case and a trailing blank")
        << u"PAYROLL CHECKING "_s << u"PAYROLL LIABILITIES:NET PAY CLEARING"_s;
}

void TestQBChecksExport::accountNamesInQuickBooksSpelling() {
    // However the options spell the accounts, a re-run finds what the first
    // run added, and QuickBooks holds its own names.
    QFETCH(QString, cash);
    QFETCH(QString, liability);
    TDemoCompany company;
    TQBChecksExportParam options = DemoOptions();
    options.CashAccount = cash;
    options.LiabilityAccount = liability;
    const QStringList report{Maria, AnnaReturned};
    for (int run = 0; run < 3; ++run) {
        TRecordingLogger log;
        QCOMPARE(Export(company, log, report, options),
                 run == 0 ? Counts(1, 0, 0, 0, 1, 0, 0) : Counts(0, 1, 0, 0, 0, 1, 0));
        QCOMPARE(Messages(log.Sink(), lmWarning), QStringList());
    }
    QCOMPARE(company.Summary(), QStringList({u"Check 1001 125010"_s, u"Deposit 1999 7501"_s}));
    for (const TTxnView& t : company.Txns()) {
        QCOMPARE(t.Account, u"Payroll Checking"_s);
        QVERIFY(t.Lines.first().startsWith(u"Payroll Liabilities:Net Pay Clearing|"_s));
    }
    TRecordingLogger exact;
    QCOMPARE(Export(company, exact, report), Counts(0, 1, 0, 0, 0, 1, 0));
}

void TestQBChecksExport::unknownAccountStopsBeforePosting_data() {
    QTest::addColumn<QString>("cash");
    QTest::addColumn<QString>("liability");
    QTest::addColumn<QString>("message");
    QTest::newRow("cash") << u"Payroll Checkin"_s << u"payroll liabilities"_s
                          << u"Cash account <Payroll Checkin> doesn't exist in QB"_s;
    QTest::newRow("liability") << u"Payroll Checking"_s << u"No Such Liability "_s
                               << u"Liability account <No Such Liability> doesn't exist in QB"_s;
    QTest::newRow("both") << u"Nope"_s << u"Payroll Liabilities:"_s
                          << u"Cash account <Nope> doesn't exist in QB; Liability account "
                             u"<Payroll Liabilities:> doesn't exist in QB"_s;
}

void TestQBChecksExport::unknownAccountStopsBeforePosting() {
    QFETCH(QString, cash);
    QFETCH(QString, liability);
    QFETCH(QString, message);
    TDemoCompany company;
    TRecordingLogger log;
    const int depth = log.Depth();
    TQBChecksExportParam options = DemoOptions();
    options.CashAccount = cash;
    options.LiabilityAccount = liability;
    const TCheckRecords records = Records(log, {Maria, James, AnnaReturned});
    auto connection = company.Connect(log.LoggerPtr());
    try {
        ExportChecks(*connection, records, options);
        QFAIL("the export ran with an account QuickBooks does not have");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), message);
    }
    QCOMPARE(Messages(log.Sink(), lmException), QStringList(message));
    QCOMPARE(company.Txns().size(), size_t(0));
    QCOMPARE(log.Depth(), depth);
}

void TestQBChecksExport::valuesQuickBooksCannotStoreFailTheirRecord_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("check number of 15 characters")
        << u"\"Wei\",,\"Chen\",\"Pay\",3/8/2024,123456789012345,10.00"_s
        << u"Check number <123456789012345> is too long for QuickBooks: it holds at most 11 "
           u"characters, this has 15."_s;
    QTest::newRow("void of a 12-character check number")
        << u"\"Wei\",,\"Chen\",\"Void\",3/8/2024,123456789012,-10.00"_s
        << u"Check number <123456789012> is too long for QuickBooks: it holds at most 11 "
           u"characters, this has 12."_s;
    QTest::newRow("memo of 4096 characters")
        << u"\"Wei\",,\"Chen\",\""_s + QString(4096, u'm') + u"\",3/8/2024,4711,10.00"_s
        << u"Memo <"_s + QString(40, u'm') +
               u"...> is too long for QuickBooks: it holds at most 4095 characters, this has "
               u"4096."_s;
    QTest::newRow("agency payee of 210 characters")
        << u"\""_s + QString(210, u'P') + u"\",\"Tax\",3/8/2024,2001,10.00"_s
        << u"Payee <"_s + QString(40, u'P') +
               u"...> is too long for QuickBooks: it holds at most 209 characters, this has 210."_s;
}

void TestQBChecksExport::valuesQuickBooksCannotStoreFailTheirRecord() {
    // Refused before anything is sent for the record; the others go on.
    QFETCH(QString, line);
    QFETCH(QString, message);
    const bool agency = line.count(u',') == 4;
    const QString good =
        agency ? u"\"Internal Revenue Service\",\"Tax\",3/8/2024,2002,380.10"_s : Maria;
    TDemoCompany company;
    TRecordingLogger log;
    QCOMPARE(Export(company, log, {line, good}), Counts(1, 0, 0, 0, 0, 0, 1));
    QCOMPARE(Messages(log.Sink(), lmException), QStringList(message));
    QCOMPARE(company.Summary(),
             QStringList(agency ? u"Check 2002 38010"_s : u"Check 1001 125010"_s));
}

void TestQBChecksExport::failedRequestThenCleanReRun() {
    TDemoCompany company;
    // Requests: accounts, employees, deposits, checks, then one add a
    // record; the third add fails.
    TSbFaults faults;
    faults.FailRequest = 7;
    company.SetFaults(faults);
    TRecordingLogger log;
    const QStringList report{Maria, James, Wei, AnnaReturned};
    QCOMPARE(Export(company, log, report), Counts(2, 0, 0, 0, 1, 0, 1));
    QCOMPARE(company.Summary(),
             QStringList({u"Check 1001 125010"_s, u"Check 1002 98029"_s, u"Deposit 1999 7501"_s}));
    TRecordingLogger again;
    QCOMPARE(Export(company, again, report), Counts(1, 2, 0, 0, 0, 1, 0));
    QCOMPARE(company.Summary(), QStringList({u"Check 1001 125010"_s, u"Check 1002 98029"_s,
                                             u"Check 1003 29"_s, u"Deposit 1999 7501"_s}));
}

void TestQBChecksExport::batchedRunLogsAsOneRequestASet_data() {
    QTest::addColumn<QStringList>("held");
    QTest::addColumn<QStringList>("report");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<TChecksExportResult>("counts");
    const QString wei = u"\"Wei\",,\"Chen\",\"Pay\",3/8/2024,1003,0.29"_s;
    const QString weiVoid = u"\"Wei\",,\"Chen\",\"Void\",3/9/2024,1003,-0.29"_s;
    QTest::newRow("employee checks, cleared")
        << QStringList{Maria, James, AnnaReturned}
        << QStringList{Maria,
                       u"\"James\",T,\"Okafor\",\"Other memo\",3/8/2024,1002,980.29"_s,
                       wei,
                       wei,
                       u"\"Maria\",A,\"Lopez\",\"Void\",3/9/2024,1001,-1250.10"_s,
                       weiVoid,
                       weiVoid,
                       u"\"Anna\",K,\"Novak\",\"Returned late\",3/9/2024,1999,-75.01"_s,
                       u"\"John\",A,\"Smith\",\"Pay\",3/8/2024,1005,10.00"_s,
                       u"\"Wei\",,\"Chen\",\"Pay\",3/8/2024,123456789012345,10.00"_s,
                       u"\"Sarah\",J,\"O'Neil\",\"Void\",3/9/2024,1002,-980.29"_s,
                       WeiDD,
                       u"\"Daniel\",,\"Brooks\",\"Pay\",3/8/2024,1006,100.00"_s}
        << true << Counts(3, 2, 2, 1, 1, 1, 2);
    const QString irs = u"\"Internal Revenue Service\",\"Federal tax deposit\",3/8/2024,2001,"
                        u"4520.33"_s;
    const QString sui = u"\"State Unemployment Fund\",\"SUI\",3/8/2024,2003,380.10"_s;
    QTest::newRow("agency checks, unknown payee")
        << QStringList{irs}
        << QStringList{irs,
                       u"\"Nobody Agency\",\"Tax\",3/8/2024,2002,15.00"_s,
                       sui,
                       u"\"Internal Revenue Service\",\"Void\",3/9/2024,2001,-4520.33"_s,
                       u"\"Harbor Health Plan\",\"Premium\",3/8/2024,2004,99.00"_s,
                       u"\"Harbor Health Plan\",\"Void\",3/9/2024,2004,-99.00"_s,
                       u"\"Nobody Agency\",\"Refund\",3/9/2024,2005,-5.00"_s,
                       sui,
                       u"\"Internal Revenue Service\",\"Tax\",3/8/2024,2001,4520.33"_s,
                       u"\"Nobody Agency\",\"Void\",3/9/2024,2002,-15.00"_s}
        << false << Counts(3, 2, 2, 0, 0, 0, 3);
}

void TestQBChecksExport::batchedRunLogsAsOneRequestASet() {
    // Shared request sets change the round trips, nothing a user sees: each
    // record's block, warnings and error in report order, the counts, and
    // what QuickBooks holds, including voids of checks this run added.
    QFETCH(QStringList, held);
    QFETCH(QStringList, report);
    QFETCH(bool, clear);
    QFETCH(TChecksExportResult, counts);
    std::vector<TLoggedExport> runs;
    for (const int batchSize : {1, 3, 50}) {
        TDemoCompany company;
        TRecordingLogger setup;
        QCOMPARE(Export(company, setup, held).Errors, 0);
        runs.push_back(LoggedExport(company, report, Batched(batchSize, clear)));
        for (const QString& set : runs.back().Sets)
            QVERIFY2(set.count(u"requestID="_s) <= batchSize, qPrintable(set));
    }
    const TLoggedExport& single = runs.front();
    QCOMPARE(single.Result, counts);
    for (const TLoggedExport& batched : {runs[1], runs[2]}) {
        QCOMPARE(batched.Result, single.Result);
        QCOMPARE(batched.UserLog, single.UserLog);
        QCOMPARE(batched.Company, single.Company);
    }
    QVERIFY(runs[2].Sets.size() * 2 < single.Sets.size());
}

void TestQBChecksExport::someRequestsOfASetFail() {
    // One set: an unknown payee (3140), a value QuickBooks finds too long
    // (3070, armed) and two good checks. Each record gets its own outcome.
    TDemoCompany company;
    TSbFaults faults;
    faults.FailRequest = 7; // accounts, employees, deposits, checks, then the adds
    faults.FailStatus = 3070;
    company.SetFaults(faults);
    TRecordingLogger log;
    const QStringList report{
        u"\"Internal Revenue Service\",\"Federal tax deposit\",3/8/2024,2001,4520.33"_s,
        u"\"Nobody Agency\",\"Tax\",3/8/2024,2002,15.00"_s,
        u"\"State Unemployment Fund\",\"SUI\",3/8/2024,2003,380.10"_s,
        u"\"Harbor Health Plan\",\"Premium\",3/8/2024,2004,99.00"_s};
    QCOMPARE(Export(company, log, report), Counts(2, 0, 0, 0, 0, 0, 2));
    const auto errors = log.Sink().OfKind(lmException);
    QCOMPARE(errors.size(), size_t(2));
    QVERIFY2(errors[0].Message.startsWith(u"QB: [3140] There is an invalid reference to "
                                          u"QuickBooks Entity \"Nobody Agency\""_s),
             qPrintable(errors[0].Message));
    QVERIFY(errors[0].Context.contains(u"CheckNumber=2002"_s));
    QVERIFY2(errors[1].Message.startsWith(u"QB: [3070] The string"_s),
             qPrintable(errors[1].Message));
    QVERIFY(errors[1].Context.contains(u"CheckNumber=2003"_s));
    QCOMPARE(company.Summary(), QStringList({u"Check 2001 452033"_s, u"Check 2004 9900"_s}));
}

void TestQBChecksExport::lostOrFailedSetThenCleanReRun_data() {
    // Six new checks, three a set: requests 5 to 7 in the first set, 8 to 10
    // in the second; the fault strikes the second set in its middle.
    QTest::addColumn<TSbFaults>("faults");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<TChecksExportResult>("counts");
    QTest::addColumn<int>("held");
    QTest::addColumn<TChecksExportResult>("rerun");
    TSbFaults lost;
    lost.LoseResponse = 9;
    QTest::newRow("answer lost after saving: recovered")
        << lost << false << Counts(6, 0, 0, 0, 0, 0, 0) << 6 << Counts(0, 6, 0, 0, 0, 0, 0);
    TSbFaults before;
    before.FailBeforeSave = 9;
    QTest::newRow("processor fails before saving")
        << before << false << Counts(3, 0, 0, 0, 0, 0, 3) << 3 << Counts(3, 3, 0, 0, 0, 0, 0);
    TSbFaults forgotten = lost;
    forgotten.ForgetAnswers = true;
    QTest::newRow("answer lost, none kept: not sent again")
        << forgotten << false << Counts(3, 0, 0, 0, 0, 0, 3) << 6 << Counts(0, 6, 0, 0, 0, 0, 0);
    // With clearing, the second set holds the first three records' clearings.
    QTest::newRow("clearings lost, none kept")
        << forgotten << true << Counts(6, 0, 0, 0, 0, 0, 3) << 6 << Counts(0, 6, 0, 0, 0, 0, 0);
}

void TestQBChecksExport::lostOrFailedSetThenCleanReRun() {
    QFETCH(TSbFaults, faults);
    QFETCH(bool, clear);
    QFETCH(TChecksExportResult, counts);
    QFETCH(int, held);
    QFETCH(TChecksExportResult, rerun);
    TDemoCompany company;
    company.SetFaults(faults);
    QStringList report;
    for (int i = 0; i < 6; ++i)
        report << u"\"Wei\",,\"Chen\",\"Pay\",3/8/2024,%1,1%2.00"_s.arg(3001 + i).arg(i);
    TRecordingLogger log;
    QCOMPARE(Export(company, log, report, Batched(3, clear)), counts);
    QCOMPARE(company.Txns().size(), size_t(held));
    const QStringList errors = Messages(log.Sink(), lmException);
    QCOMPARE(errors.size(), counts.Errors);
    for (const QString& error : errors)
        QVERIFY2(error.endsWith(u": state unknown: check QuickBooks"_s), qPrintable(error));
    QCOMPARE(Messages(log.Sink(), lmWarning).filter(u"marked cleared is unknown"_s).size(),
             clear ? counts.Errors : 0);
    const QStringList events = Messages(log.Sink(), lmEvent).filter(u"was recovered"_s);
    QCOMPARE(events.size(), counts.Errors == 0 ? 1 : 0);
    TRecordingLogger again;
    QCOMPARE(Export(company, again, report, Batched(3)), rerun);
    QCOMPARE(company.Txns().size(), size_t(6));
}

void TestQBChecksExport::voidOfACheckNotAddedIsLeftForTheReRun_data() {
    // Sixty checks, then voids of the first, the 51st and the last. At 50 a
    // set the adds fill the first set, the last ten adds and the three void
    // queries the second, the voids the third; at one a set the requests
    // come in the same order. After the four queries before the first
    // record, request 5 is the first add (first set), 55 the add of check
    // 500051 (middle set), 70 the last void (last set).
    QTest::addColumn<int>("batchSize");
    QTest::addColumn<TSbFaults>("faults");
    QTest::addColumn<QString>("left"); // the message of the first void, when it is left
    const QString refused = u"Check 500001 was not added in this run, so its void is left for the "
                            u"next run"_s;
    const QString unknown = u"Whether check 500001 was added in this run is unknown, so its void "
                            u"is left for the next run"_s;
    const std::pair<const char*, int> places[] = {{"first", 5}, {"middle", 55}, {"last", 70}};
    for (const int batchSize : {1, 50}) {
        for (const auto& [where, request] : places) {
            const bool first = request == 5;
            TSbFaults fail;
            fail.FailRequest = request;
            TSbFaults before;
            before.FailBeforeSave = request;
            TSbFaults lost;
            lost.LoseResponse = request;
            lost.ForgetAnswers = true;
            const auto row = [&](const char* fault) -> QTestData& {
                return QTest::addRow("%d a set, %s at the %s set", batchSize, fault, where);
            };
            row("refused") << batchSize << fail << (first ? refused : QString());
            row("lost before saving") << batchSize << before << (first ? unknown : QString());
            row("saved, answer lost") << batchSize << lost << (first ? unknown : QString());
        }
    }
}

void TestQBChecksExport::voidOfACheckNotAddedIsLeftForTheReRun() {
    // A void whose check failed or is unknown must not become returned pay:
    // the re-run then adds and voids the check, and the company ends as
    // after a clean run, without a deposit.
    QFETCH(int, batchSize);
    QFETCH(TSbFaults, faults);
    QFETCH(QString, left);
    const QList<int> voided{1, 51, 60};
    QStringList report;
    QStringList clean;
    for (int i = 1; i <= 60; ++i) {
        report << u"\"Wei\",,\"Chen\",\"Pay\",3/8/2024,%1,%2.00"_s.arg(500000 + i).arg(100 + i);
        clean << u"Check %1 %2"_s.arg(500000 + i).arg(voided.contains(i) ? 0 : (100 + i) * 100);
    }
    for (const int i : voided)
        report << u"\"Wei\",,\"Chen\",\"Void\",3/9/2024,%1,-%2.00"_s.arg(500000 + i).arg(100 + i);

    TDemoCompany company;
    company.SetFaults(faults);
    TRecordingLogger log;
    const TChecksExportResult faulted = Export(company, log, report, Batched(batchSize));
    QVERIFY(faulted.Errors > 0);
    QCOMPARE(faulted.DepositsAdded, 0);
    if (!left.isEmpty())
        QVERIFY2(Messages(log.Sink(), lmException).contains(left),
                 qPrintable(Messages(log.Sink(), lmException).join(u'\n')));
    company.SetFaults(TSbFaults());
    TRecordingLogger again;
    QCOMPARE(Export(company, again, report, Batched(batchSize)).Errors, 0);
    // The same transactions; what the re-run added comes later in the file.
    QStringList held = company.Summary();
    held.sort();
    QCOMPARE(held, clean);
}

void TestQBChecksExport::clearMarksCreatedTransactions() {
    TDemoCompany company;
    TRecordingLogger log;
    TQBChecksExportParam options = DemoOptions();
    options.Clear = true;
    QCOMPARE(Export(company, log, {Maria, AnnaReturned}, options), Counts(1, 0, 0, 0, 1, 0, 0));
    for (const TTxnView& t : company.Txns())
        QCOMPARE(t.Cleared, u"Cleared"_s);
    // A clearing that fails leaves the check, counted and named in the log.
    TSbFaults faults;
    faults.FailRequest = 6; // accounts, employees, deposits, checks, the add, the clearing
    company.SetFaults(faults);
    TRecordingLogger failing;
    QCOMPARE(Export(company, failing, {James}, options), Counts(1, 0, 0, 0, 0, 0, 1));
    QCOMPARE(Messages(failing.Sink(), lmWarning),
             QStringList(u"Check 1002 was created in QuickBooks before the failure and stays "
                         u"there, not marked cleared. Mark it cleared in QuickBooks: a later run "
                         u"will find it and leave it as it is."_s));
    QCOMPARE(company.Txns(u"Check"_s).back().Cleared, u"NotCleared"_s);
}

// Stops at the progress reported after the given set; counts every report.
class TCancelAfterSet : public IRunProgress {
public:
    TCancelAfterSet(TCancelToken& cancel, int set) : m_cancel(cancel), m_set(set) {}
    QStringList Counts;
    void StartWait(const QString&) override {}
    void EndWait() override {}
    void SetProgress(int done, int total) override {
        Counts << QStringLiteral("%1/%2").arg(done).arg(total);
        // The first report comes before any set.
        if (Counts.size() == m_set + 1)
            m_cancel.Cancel();
    }

private:
    TCancelToken& m_cancel;
    int m_set;
};

void TestQBChecksExport::cancelFinishesBegunRecords_data() {
    QTest::addColumn<bool>("clear");
    QTest::addColumn<QStringList>("counts");
    // Without clearing the three records of the first set are done with it.
    QTest::newRow("adds only") << false << QStringList{u"0/5"_s, u"3/5"_s};
    // Their clearings follow in one more set; no record is begun in it.
    QTest::newRow("adds and their clearings") << true << QStringList{u"0/5"_s, u"0/5"_s, u"3/5"_s};
}

void TestQBChecksExport::cancelFinishesBegunRecords() {
    QFETCH(bool, clear);
    QFETCH(QStringList, counts);
    TDemoCompany company;
    TRecordingLogger log;
    const QString Tom = u"\"Tom\",,\"Reyes\",\"Pay\",3/8/2024,1004,10.00"_s;
    const QString Ann = u"\"Ann\",,\"Ng\",\"Pay\",3/8/2024,1005,20.00"_s;
    const TCheckRecords records = Records(log, {Maria, James, Wei, Tom, Ann});
    auto connection = company.Connect(log.LoggerPtr());
    TCancelToken cancel;
    TCancelAfterSet progress(cancel, 1);
    TQBChecksExportParam options = Batched(3, clear);
    options.IncludeEENames = false;
    TChecksExportResult expected = Counts(3, 0, 0, 0, 0, 0, 0);
    expected.NotExported = 2;
    expected.Cancelled = true;
    QCOMPARE(ExportChecks(*connection, records, options, {&progress, &cancel}), expected);
    QCOMPARE(progress.Counts, counts);
    QCOMPARE(company.Summary(),
             (QStringList{u"Check 1001 125010"_s, u"Check 1002 98029"_s, u"Check 1003 29"_s}));
    for (const TTxnView& t : company.Txns())
        QCOMPARE(t.Cleared, clear ? u"Cleared"_s : u"NotCleared"_s);
    // Each record begun is logged whole, none other.
    QCOMPARE(log.Sink().Events.count(u"enter Exporting Check/Deposit to QB"_s), 3);
    QCOMPARE(FormatChecksExportResult(expected),
             u"cancelled, 2 records not exported: 3 checks added, 0 checks voided, 0 deposits "
             u"added, 0 checks already existed, 0 checks were already voided, 0 deposits already "
             u"existed"_s);
}

// A record that waits for a later set (a returned deposit's void query
// first) does not hold back the count of the records after it.
void TestQBChecksExport::progressCountsRecordsFinished() {
    TDemoCompany company;
    TRecordingLogger log;
    const TCheckRecords records = Records(log, {AnnaReturned, Maria, James});
    auto connection = company.Connect(log.LoggerPtr());
    TCancelToken cancel;
    TCancelAfterSet progress(cancel, 99);
    QCOMPARE(ExportChecks(*connection, records, Batched(3), {&progress, &cancel}).Errors, 0);
    QCOMPARE(progress.Counts, (QStringList{u"0/3"_s, u"2/3"_s, u"3/3"_s}));
}

void TestQBChecksExport::agencyChecks() {
    TDemoCompany company;
    TRecordingLogger log;
    const QStringList report{
        u"\"Internal Revenue Service\",\"Federal tax deposit\",3/8/2024,2001,4520.33"_s,
        u"\"State Unemployment Fund\",\"SUI\",3/8/2024,2002,380.10"_s};
    QCOMPARE(Export(company, log, report), Counts(2, 0, 0, 0, 0, 0, 0));
    QCOMPARE(company.Txns().front().Payee, u"Internal Revenue Service"_s);
    const QString otherPayee = u"\"Harbor Health Plan\",\"Federal tax deposit\",3/8/2024,2001,"
                               u"4520.33"_s;
    TRecordingLogger again;
    QCOMPARE(Export(company, again, {otherPayee}).ChecksExisted, 1);
    QCOMPARE(Messages(again.Sink(), lmWarning),
             QStringList(u"Check with Bank Acoount Payroll Checking and Number 2001 already "
                         u"exists and some fields are different (Payee)"_s));
}

void TestQBChecksExport::queryFailureEndsExport() {
    TDemoCompany company;
    TRecordingLogger log;
    const int depth = log.Depth();
    const TCheckRecords records = Records(log, {Maria});
    auto connection = company.Connect(log.LoggerPtr());
    TSbFaults faults;
    faults.FailRequest = 3; // the deposit query
    company.SetFaults(faults);
    QVERIFY_THROWS_EXCEPTION(EQBStatusError, ExportChecks(*connection, records, DemoOptions()));
    const auto errors = log.Sink().OfKind(lmException);
    QCOMPARE(errors.size(), size_t(1));
    QCOMPARE(errors[0].Block, u"Getting QuickBooks Deposit list"_s);
    QCOMPARE(company.Txns().size(), size_t(0));
    QCOMPARE(log.Depth(), depth);
}

void TestQBChecksExport::reRunOfTenThousandChecks() {
    // The company already holds every check; the re-run must find each one
    // (the benchmark in bench/export measures how fast).
    TDemoCompany company;
    const int count = 10000;
    {
        TQBSandboxCompany sb(company.FileName(), false);
        const auto accounts = sb.ListElements(TSbListKind::Account);
        const auto employees = sb.ListElements(TSbListKind::Employee);
        QString bank, liability, wei;
        for (const auto& a : accounts) {
            if (a.FullName == u"Payroll Checking")
                bank = a.ListID;
            if (a.FullName == u"Payroll Liabilities:Net Pay Clearing")
                liability = a.ListID;
        }
        for (const auto& e : employees)
            if (e.FirstName == u"Wei")
                wei = e.ListID;
        sb.Begin();
        for (int i = 0; i < count; ++i) {
            TSbTxn t;
            t.Type = u"Check"_s;
            t.TxnDate = QDate(2024, 3, 8);
            t.RefNumber = QString::number(100000 + i);
            t.Memo = u"Pay"_s;
            t.AccountID = bank;
            t.PayeeID = wei;
            t.Cents = 1000 + i;
            TSbTxnLine line;
            line.Kind = u"Expense"_s;
            line.AccountID = liability;
            line.Cents = t.Cents;
            line.Memo = t.Memo;
            t.Lines.push_back(line);
            sb.AddTxn(t);
        }
        sb.Commit();
    }
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << u"\"Wei\",,\"Chen\",\"Pay\",3/8/2024,%1,%2"_s.arg(100000 + i)
                     .arg(Currency::FromRaw((1000 + i) * 100).ToFixed(2));
    TRecordingLogger log;
    QCOMPARE(Export(company, log, lines), Counts(0, count, 0, 0, 0, 0, 0));
    QCOMPARE(Messages(log.Sink(), lmWarning), QStringList());
}

QTEST_GUILESS_MAIN(TestQBChecksExport)
#include "tst_qbchecksexport.moc"
