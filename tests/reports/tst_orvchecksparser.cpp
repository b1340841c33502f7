#include "RecordingLogSink.h"
#include "TestSupport.h"
#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "reports/ReportFile.h"
#include "reports/orvchecksparser.h"

#include <QtTest>

Q_DECLARE_METATYPE(TReportKind)

class TestChecksParser : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void parsesEmployeeReport();
    void parsesAgencyReport();
    void recognisesKindFromFirstLine_data();
    void recognisesKindFromFirstLine();
    void failsWithMessage_data();
    void failsWithMessage();
    void logsFailingLineOnceInItsBlock();
    void namesSourceAndLine_data();
    void namesSourceAndLine();
    void keepsMemoAsSplitAndTrimsNames();
    void roundsAmountsToFourDecimals();
    void followsRegionalSettings();
    void readsFilesInEitherEncoding();
    void dateRangeSpansAllRecords();
    void survivesHostileInput_data();
    void survivesHostileInput();

private:
    std::unique_ptr<TRecordingLogger> m_log;
};

void TestChecksParser::init() {
    m_log = std::make_unique<TRecordingLogger>();
}

void TestChecksParser::cleanup() {
    // Every block the parser opened is closed again, also after a failure.
    QCOMPARE(m_log->Depth(), 1);
    m_log.reset();
}

void TestChecksParser::parsesEmployeeReport() {
    const QString text = ReadReportFile(testsupport::DataPath("reports/s1910_employee.txt"));
    const TCheckRecords records = ParseChecksReport(m_log->Logger(), text, rkEmployeeChecks);
    QCOMPARE(records.size(), size_t(3));

    const TCheckRecord& first = records[0];
    QVERIFY(first.IsEmployeeCheck);
    QCOMPARE(first.FirstName, QString("John"));
    QCOMPARE(first.MiddleInitial, QString("A"));
    QCOMPARE(first.LastName, QString("Smith"));
    QCOMPARE(first.Payee, QString());
    QCOMPARE(first.Memo, QString("Pay period 03/01/2024 - 03/07/2024"));
    QCOMPARE(first.CheckDate, QDate(2024, 3, 8));
    QCOMPARE(first.CheckNumber, QString("10234"));
    QCOMPARE(first.Amount, Currency::FromUnits(1250));

    QCOMPARE(records[1].FirstName, QString("Mary Ann"));
    QCOMPARE(records[1].MiddleInitial, QString());
    QCOMPARE(records[1].LastName, QString("O'Neil"));
    QCOMPARE(records[1].CheckNumber, QString("00012345"));
    QCOMPARE(records[1].Amount, Currency::FromRaw(20005000));
    QCOMPARE(records[2].FirstName, QString::fromUtf8("Jos\xc3\xa9"));
    QCOMPARE(records[2].Amount, Currency::FromRaw(-1255000));
    // Each record in a block of its own, with the line as context.
    QCOMPARE(m_log->Sink().Events.count("enter Parsing check record"), 3);
}

void TestChecksParser::parsesAgencyReport() {
    const QString text = ReadReportFile(testsupport::DataPath("reports/s1911_agency.txt"));
    const TCheckRecords records = ParseChecksReport(m_log->Logger(), text, rkAgencyChecks);
    QCOMPARE(records.size(), size_t(2));
    QVERIFY(!records[0].IsEmployeeCheck);
    QCOMPARE(records[0].Payee, QString("Internal Revenue Service"));
    QCOMPARE(records[0].FirstName, QString());
    QCOMPARE(records[0].Memo, QString("Federal tax deposit"));
    QCOMPARE(records[0].CheckNumber, QString("2001"));
    QCOMPARE(records[1].Amount, Currency::FromRaw(3801000));
}

void TestChecksParser::recognisesKindFromFirstLine_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("employee");
    QTest::addColumn<QString>("event");
    QTest::newRow("seven fields") << "a,b,c,d,1/2/2024,1,2" << true
                                  << "Report recognized as S1910 Employee Checks Report";
    QTest::newRow("five fields") << "p,m,1/2/2024,1,2" << false
                                 << "Report recognized as S1911 Agency Checks Report";
}

void TestChecksParser::recognisesKindFromFirstLine() {
    QFETCH(QString, text);
    QFETCH(bool, employee);
    QFETCH(QString, event);
    const TCheckRecords records = ParseChecksReport(m_log->Logger(), text, rkNone);
    QCOMPARE(records.front().IsEmployeeCheck, employee);
    const auto events = m_log->Sink().OfKind(lmEvent);
    QCOMPARE(events.size(), size_t(1));
    QCOMPARE(events[0].Message, event);
}

void TestChecksParser::failsWithMessage_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<TReportKind>("kind");
    QTest::addColumn<QString>("message");
    const QString seven = "a,b,c,d,1/2/2024,1,2";
    const QString five = "p,m,1/2/2024,1,2";
    QTest::newRow("empty text") << "" << rkNone << "Orvane Checks report is empty";
    QTest::newRow("blank lines only")
        << " \r\n\t\n\r" << rkEmployeeChecks << "Orvane Checks report is empty";
    QTest::newRow("component stream")
        << "TPF0" + seven << rkNone << "Orvane Checks report is empty";
    QTest::newRow("agency placeholder") << ",\"Payroll Agency\",,,\r\n\r\n"
                                        << rkAgencyChecks << "Orvane Agency Checks report is empty";
    QTest::newRow("placeholder with a second line")
        << ",\"Payroll Agency\",,,\r\n" + five << rkAgencyChecks << "'' is not a valid date";
    QTest::newRow("placeholder is case sensitive")
        << ",\"payroll agency\",,," << rkAgencyChecks << "'' is not a valid date";
    QTest::newRow("employee expected")
        << five << rkEmployeeChecks << "Wrong number of fields. Expected 7 fields, got 5.";
    QTest::newRow("agency expected")
        << seven << rkAgencyChecks << "Wrong number of fields. Expected 5 fields, got 7.";
    QTest::newRow("either expected")
        << "a,b,c" << rkNone
        << "Wrong number of fields. Expected 5 (for Agency Checks) or 7 fields (for Employee "
           "Checks), got 3.";
    QTest::newRow("blank line between checks")
        << seven + "\r\n\r\n" + seven << rkEmployeeChecks
        << "Wrong number of fields. Expected 7 fields, got 0.";
    QTest::newRow("later line of the other layout")
        << seven + "\n" + five << rkNone << "Wrong number of fields. Expected 7 fields, got 5.";
    QTest::newRow("unquoted name with space")
        << "John Smith,b,c,d,1/2/2024,1,2" << rkNone << "Invalid delimited text";
    QTest::newRow("amount with thousands separator")
        << "a,b,c,d,1/2/2024,1,1,000.00" << rkEmployeeChecks
        << "Wrong number of fields. Expected 7 fields, got 8.";
    QTest::newRow("bad date") << "a,b,c,d,2/30/2024,1,2" << rkEmployeeChecks
                              << "'2/30/2024' is not a valid date";
    QTest::newRow("bad amount") << "a,b,c,d,1/2/2024,1,12x" << rkEmployeeChecks
                                << "'12x' is not a valid floating point value";
    QTest::newRow("amount out of range")
        << "p,m,1/2/2024,1,1e308" << rkAgencyChecks << "'1e308' is not a valid floating point value";
}

void TestChecksParser::failsWithMessage() {
    QFETCH(QString, text);
    QFETCH(TReportKind, kind);
    QFETCH(QString, message);
    try {
        ParseChecksReport(m_log->Logger(), text, kind);
        QFAIL("no exception");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), message);
    }
}

void TestChecksParser::namesSourceAndLine_data() {
    // The lines of records are named the same way (the runs' tests).
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("first line of the wrong kind")
        << "a,b,c"
        << "Wrong number of fields. Expected 7 fields, got 3. (line 1 of "
           "/reports/s1910.txt: <a,b,c>)";
    QTest::newRow("first line not comma text")
        << "John Smith\t,b"
        << "Invalid delimited text (line 1 of /reports/s1910.txt: "
           "<John Smith\\x09,b>)";
    // Dates and amounts that posted something else than the report meant.
    const QString good = "Ann,,Lee,\"pay\",3/8/2024,8001,1.00\r\n";
    QTest::newRow("date without a year")
        << good + "Wei,,Chen,\"pay\",3/8,8002,2.00"
        << "'3/8' is not a valid date (line 2 of /reports/s1910.txt: "
           "<Wei,,Chen,\"pay\",3/8,8002,2.00>)";
    QTest::newRow("two-digit year")
        << good + "Wei,,Chen,\"pay\",3/8/24,8002,2.00"
        << "'3/8/24' is not a valid date (line 2 of /reports/s1910.txt: "
           "<Wei,,Chen,\"pay\",3/8/24,8002,2.00>)";
    QTest::newRow("exponent amount")
        << good + "Wei,,Chen,\"pay\",3/8/2024,8002,1.5e2"
        << "'1.5e2' is not a valid floating point value (line 2 of /reports/s1910.txt: "
           "<Wei,,Chen,\"pay\",3/8/2024,8002,1.5e2>)";
}

void TestChecksParser::namesSourceAndLine() {
    QFETCH(QString, text);
    QFETCH(QString, message);
    try {
        ParseChecksReport(m_log->Logger(), text, rkEmployeeChecks, "/reports/s1910.txt");
        QFAIL("no exception");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), message);
    }
}

void TestChecksParser::logsFailingLineOnceInItsBlock() {
    const QString bad = "a,b,c,d,1/2/2024,1,oops";
    const QString text = "a,b,c,d,1/2/2024,1,2\r\n" + bad + "\r\na,b,c,d,1/2/2024,1,2";
    QVERIFY_THROWS_EXCEPTION(EztException, [&] {
        try {
            ParseChecksReport(m_log->Logger(), text, rkEmployeeChecks);
        } catch (...) {
            // An outer handler passing it on adds nothing.
            m_log->Logger().PassthroughException();
        }
    }());
    const auto exceptions = m_log->Sink().OfKind(lmException);
    QCOMPARE(exceptions.size(), size_t(1));
    QCOMPARE(exceptions[0].Message, QString("'oops' is not a valid floating point value"));
    QCOMPARE(exceptions[0].Block, QString("Parsing check record"));
    QCOMPARE(exceptions[0].Context, QStringList{"Check record=" + bad});
    // The parse stops at the failing line.
    QCOMPARE(m_log->Sink().Events.count("enter Parsing check record"), 2);
}

void TestChecksParser::keepsMemoAsSplitAndTrimsNames() {
    const TCheckRecord r = ParseCheckRecord(
        m_log->Logger(), "\" John \", \tQ ,Smith,\"  say \"\"hi\"\"  \",1/2/2024,\" 77 \",5", 7);
    QCOMPARE(r.FirstName, QString("John"));
    QCOMPARE(r.MiddleInitial, QString("Q"));
    QCOMPARE(r.Memo, QString("  say \"hi\"  "));
    QCOMPARE(r.CheckNumber, QString("77"));
}

void TestChecksParser::roundsAmountsToFourDecimals() {
    auto amount = [&](const QString& text) {
        return ParseCheckRecord(m_log->Logger(), "p,m,1/2/2024,1," + text, 5).Amount.Raw();
    };
    QCOMPARE(amount("125.5055"), qint64(1255055));
    QCOMPARE(amount("125.50554"), qint64(1255055));
    QCOMPARE(amount("125.50555"), qint64(1255056));
    QCOMPARE(amount("-125.50"), qint64(-1255000));
}

void TestChecksParser::followsRegionalSettings() {
    TRegionalSettings german;
    german.DateOrder = TDateOrder::DayMonthYear;
    german.DateSeparator = u'.';
    german.DecimalSeparator = u',';
    TRegionalSettingsOverride guard(german);
    const TCheckRecord r = ParseCheckRecord(m_log->Logger(), "p,m,8.3.2024,1,\"1250,75\"", 5);
    QCOMPARE(r.CheckDate, QDate(2024, 3, 8));
    QCOMPARE(r.Amount, Currency::FromRaw(12507500));

    // A short date of d.M.yy: the report writes the year in two digits.
    german.YearDigits = 2;
    TRegionalSettingsOverride twoDigits(german);
    QCOMPARE(ParseCheckRecord(m_log->Logger(), "p,m,8.3.24,1,1", 5).CheckDate, QDate(2024, 3, 8));
    QVERIFY_THROWS_EXCEPTION(EztException, ParseCheckRecord(m_log->Logger(), "p,m,8.3,1,1", 5));
}

void TestChecksParser::readsFilesInEitherEncoding() {
    const QString text = ReadReportFile(testsupport::DataPath("reports/s1910_windows1252.txt"));
    const TCheckRecords records = ParseChecksReport(m_log->Logger(), text, rkNone);
    QCOMPARE(records[0].FirstName, QString::fromUtf8("Jos\xc3\xa9"));
    QCOMPARE(records[0].LastName, QString::fromUtf8("Garc\xc3\xad"
                                                    "a"));
    try {
        ReadReportFile(testsupport::DataPath("reports/no-such-file.txt"));
        QFAIL("no exception");
    } catch (const EztException& e) {
        QVERIFY(e.Message().startsWith("Cannot open file \""));
        QVERIFY(e.Message().contains("no-such-file.txt"));
    }
}

void TestChecksParser::dateRangeSpansAllRecords() {
    TCheckRecords records(3);
    records[0].CheckDate = QDate(2024, 3, 3);
    records[1].CheckDate = QDate(2024, 3, 1);
    records[2].CheckDate = QDate(2024, 3, 2);
    const TCheckDateRange range = GetCheckDateRange(records);
    QCOMPARE(range.FromDate, QDate(2024, 3, 1));
    QCOMPARE(range.ToDate, QDate(2024, 3, 3));
    records.resize(1);
    QCOMPARE(GetCheckDateRange(records).FromDate, QDate(2024, 3, 3));
    QCOMPARE(GetCheckDateRange(records).ToDate, QDate(2024, 3, 3));
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, GetCheckDateRange(TCheckRecords()));
}

void TestChecksParser::survivesHostileInput_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("records"); // -1: must fail cleanly
    QByteArray random(64 * 1024, '\0');
    quint32 seed = 12345;
    for (char& c : random) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    QTest::newRow("random bytes") << random << -1;
    QTest::newRow("NUL bytes in fields") << QByteArray("p\0q,m,1/2/2024,1,2", 18) << 1;
    QTest::newRow("lone CR line ends") << QByteArray("p,m,1/2/2024,1,2\rq,m,1/2/2024,2,3\r") << 2;
    QTest::newRow("quote never closes") << QByteArray("p,\"m,1/2/2024,1,2\r\n") << -1;
    QTest::newRow("ten megabyte line")
        << QByteArray("p,\"" + QByteArray(10 * 1024 * 1024, 'x') + "\",1/2/2024,1,2") << 1;
}

void TestChecksParser::survivesHostileInput() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, records);
    try {
        const TCheckRecords parsed =
            ParseChecksReport(m_log->Logger(), DecodeReportBytes(bytes), rkNone);
        QCOMPARE(int(parsed.size()), records);
    } catch (const EztException& e) {
        QVERIFY2(records == -1, qPrintable(e.Message()));
        QVERIFY(!e.Message().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestChecksParser)
#include "tst_orvchecksparser.moc"
