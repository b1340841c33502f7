#include "RecordingLogSink.h"
#include "TestSupport.h"
#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "reports/OrvGLParser.h"
#include "reports/ReportFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

Q_DECLARE_METATYPE(TGLTagParsing)

namespace {

// An 87-character line from its nine fields, text left-aligned and amounts
// right-aligned as the service writes them.
QString FixedLine(const QString& company, const QString& date, const QString& tag,
                  const QString& amount, const QString& debit, const QString& credit,
                  const QString& extra1 = QString()) {
    const QString line = company.leftJustified(4) + date.leftJustified(8) +
                         extra1.leftJustified(6) + QString(12, u' ') + tag.leftJustified(15) +
                         amount.rightJustified(14) + debit.rightJustified(14) +
                         credit.rightJustified(14);
    Q_ASSERT(line.size() == GLFixedLineLength);
    return line;
}

TQBGLExportParam TagParam(TGLTagParsing parsing, const QString& delimiter) {
    TQBGLExportParam param;
    param.GLTagParsing = parsing;
    param.DelimiterInGLTag = delimiter;
    return param;
}

QString Fixture(const QString& name) {
    return ReadReportFile(testsupport::DataPath("reports/" + name));
}

const QString CsvLine = QStringLiteral("ORV1,20240308,a,b,c,6000,10.00,10.00,");

} // namespace

class TestGLParser : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void parsesCommaSeparatedJournal();
    void parsesFixedWidthJournal();
    void detectsLayoutOnFirstLine_data();
    void detectsLayoutOnFirstLine();
    void splitsCsvLine_data();
    void splitsCsvLine();
    void cutsFixedLineByColumns();
    void measuresFixedLineInCharacters();
    void parsesDate_data();
    void parsesDate();
    void parsesAmount_data();
    void parsesAmount();
    void followsRegionalDecimalSeparator();
    void normalizesFullName_data();
    void normalizesFullName();
    void splitsGLTag_data();
    void splitsGLTag();
    void failsWithMessage_data();
    void failsWithMessage();
    void logsFailingLineOnceInItsBlock();
    void namesSourceAndLine_data();
    void namesSourceAndLine();
    void quotesHugeFieldsShortened_data();
    void quotesHugeFieldsShortened();
    void readsWindows1252FixedWidth();
    void survivesHostileInput_data();
    void survivesHostileInput();
    void parsesLargeJournal();
    void bundledSamplesBalanceAgainstDemoCompany_data();
    void bundledSamplesBalanceAgainstDemoCompany();

private:
    std::unique_ptr<TRecordingLogger> m_log;
};

void TestGLParser::init() {
    m_log = std::make_unique<TRecordingLogger>();
}

void TestGLParser::cleanup() {
    // Every block the parser opened is closed again, also after a failure.
    QCOMPARE(m_log->Depth(), 1);
    m_log.reset();
}

void TestGLParser::parsesCommaSeparatedJournal() {
    const TGLRecordArray records =
        ParseGLJournal(m_log->Logger(), Fixture("gl_comma.csv"), TagParam(gtpAssignClass, "-"));
    QCOMPARE(records.size(), size_t(3));

    const TGLRecord& wages = records[0];
    QCOMPARE(wages.CompanyCode, QString("ORV1"));
    QCOMPARE(wages.JournalDate, QDate(2024, 3, 8));
    QCOMPARE(wages.Extra1, QString("PR0042"));
    QCOMPARE(wages.Extra2, QString("DIV01"));
    QCOMPARE(wages.Extra3, QString("DEPT7"));
    QCOMPARE(wages.GLTag, QString("Payroll Expenses : Wages"));
    QCOMPARE(wages.AccountTag, QString("Payroll Expenses:Wages"));
    QCOMPARE(wages.ClassOrName, QString());
    QCOMPARE(wages.Amount, Currency::FromUnits(1250));
    QCOMPARE(wages.Debit, Currency::FromUnits(1250));
    QCOMPARE(wages.Credit, Currency()); // empty last field
    QCOMPARE(wages.NetAmount, Currency::FromUnits(1250));
    QCOMPARE(wages.LineNumber, 1);

    // Unquoted fields keep their spaces; amounts are trimmed.
    QCOMPARE(records[1].Amount, Currency::FromRaw(3005000));
    QCOMPARE(records[1].ClassOrName, QString("NY"));
    QCOMPARE(records[1].AccountTag, QString("6100"));
    QCOMPARE(records[1].LineNumber, 2);

    const TGLRecord& bank = records[2];
    QCOMPARE(bank.GLTag, QString("Bank \"Main\" Checking"));
    QCOMPARE(bank.Extra2, QString());
    QCOMPARE(bank.Debit, Currency());
    QCOMPARE(bank.Credit, Currency::FromRaw(15505000));
    QCOMPARE(bank.NetAmount, Currency::FromRaw(-15505000));
    QCOMPARE(bank.LineNumber, 3);

    // One outer block, each line in a block of its own with the line as context.
    const QStringList& events = m_log->Sink().Events;
    QCOMPARE(events.count("enter Parsing GL records"), 1);
    QCOMPARE(events.count("enter Parsing GL record"), 3);
    QCOMPARE(events.count("exit Parsing GL record"), 3);
    QCOMPARE(events.first(), QString("enter Parsing GL records"));
    QCOMPARE(events.last(), QString("exit Parsing GL records"));
}

void TestGLParser::parsesFixedWidthJournal() {
    const TGLRecordArray records =
        ParseGLJournal(m_log->Logger(), Fixture("gl_fixed.txt"), TagParam(gtpAssignClass, "-"));
    QCOMPARE(records.size(), size_t(3));
    // Text fields keep their padding; tags, dates and amounts do not.
    QCOMPARE(records[0].CompanyCode, QString("ORV1"));
    QCOMPARE(records[0].Extra2, QString("DIV01 "));
    QCOMPARE(records[0].GLTag, QString("Wages          "));
    QCOMPARE(records[0].AccountTag, QString("Wages"));
    QCOMPARE(records[0].JournalDate, QDate(2024, 3, 8));
    QCOMPARE(records[0].Debit, Currency::FromUnits(1250));
    QCOMPARE(records[0].Credit, Currency());
    QCOMPARE(records[1].ClassOrName, QString("NY"));
    QCOMPARE(records[1].AccountTag, QString("6100"));
    QCOMPARE(records[2].Extra1, QString("PR0042"));
    QCOMPARE(records[2].Extra3, QString("      "));
    QCOMPARE(records[2].Amount, Currency::FromRaw(-15505000));
    QCOMPARE(records[2].NetAmount, Currency::FromRaw(-15505000));
    QCOMPARE(records[2].LineNumber, 3);
}

void TestGLParser::detectsLayoutOnFirstLine_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("companyCode"); // as split: the fixed layout keeps 4 columns
    QTest::addColumn<QString>("glTag");
    const QString fixed = FixedLine("AB", "20240308", "6000", "5", "5", "");
    QTest::newRow("87 characters without commas") << fixed << "AB  "
                                                  << "6000           ";
    // Commas in a fixed-width tag give fewer than nine comma-separated fields.
    QTest::newRow("87 characters with a few commas")
        << FixedLine("AB", "20240308", "Wages, Salary", "5", "5", "") << "AB  "
        << "Wages, Salary  ";
    const QString csv87 = "AB,20240308,,,," + QString(67, u'x') + ",5,5,";
    QVERIFY(csv87.size() == GLFixedLineLength);
    QTest::newRow("nine comma-separated fields in 87 characters")
        << csv87 << "AB" << QString(67, u'x');
    QTest::newRow("comma-separated") << CsvLine << "ORV1"
                                     << "6000";
    QTest::newRow("fixed-width file with commas") << Fixture("gl_fixed_with_commas.txt") << "ORV1"
                                                  << "Wages, Salaries";
}

void TestGLParser::detectsLayoutOnFirstLine() {
    QFETCH(QString, text);
    QFETCH(QString, companyCode);
    QFETCH(QString, glTag);
    const TGLRecordArray records = ParseGLJournal(m_log->Logger(), text, TQBGLExportParam());
    QCOMPARE(records.front().CompanyCode, companyCode);
    QCOMPARE(records.front().GLTag, glTag);
}

void TestGLParser::splitsCsvLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("message"); // empty: must split
    QTest::newRow("spaces stay in unquoted fields")
        << " a , b" << 2 << QStringList{" a ", " b"} << "";
    QTest::newRow("quoted comma and doubled quotes")
        << "\"x,\"\"y\"\"\",z" << 2 << QStringList{"x,\"y\"", "z"} << "";
    QTest::newRow("text after closing quote starts a field")
        << "\"ab\"c" << 2 << QStringList{"ab", "c"} << "";
    QTest::newRow("quote never closes") << "a,\"b,c" << 2 << QStringList{"a", "b,c"} << "";
    QTest::newRow("trailing comma adds an empty field")
        << "a,b," << 3 << QStringList{"a", "b", ""} << "";
    QTest::newRow("adjacent commas") << ",," << 3 << QStringList{"", "", ""} << "";
    QTest::newRow("too many fields")
        << "a,b,c" << 2 << QStringList()
        << "Wrong number of fields. Got more than 2 fields while parsing <a,b,c>";
    QTest::newRow("trailing comma one too many")
        << "a,b," << 2 << QStringList()
        << "Wrong number of fields. Got more than 2 fields while parsing <a,b,>";
    QTest::newRow("too few fields")
        << "a,b" << 9 << QStringList() << "Wrong number of fields. Expected 9 fields, got 2.";
    QTest::newRow("empty line") << "" << 9 << QStringList()
                                << "Wrong number of fields. Expected 9 fields, got 0.";
}

void TestGLParser::splitsCsvLine() {
    QFETCH(QString, line);
    QFETCH(int, count);
    QFETCH(QStringList, fields);
    QFETCH(QString, message);
    try {
        const QStringList split = SplitGLCsvLine(line, count);
        QVERIFY2(message.isEmpty(), "split although it should fail");
        QCOMPARE(split, fields);
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), message);
    }
}

void TestGLParser::cutsFixedLineByColumns() {
    const QString line =
        "CCCCDDDDDDDD111111222222333333TTTTTTTTTTTTTTTAAAAAAAAAAAAAADDDDDDDDDDDDDDCCCCCCCCCCCCCC";
    QCOMPARE(SplitGLFixedLine(line),
             (QStringList{"CCCC", "DDDDDDDD", "111111", "222222", "333333", "TTTTTTTTTTTTTTT",
                          "AAAAAAAAAAAAAA", "DDDDDDDDDDDDDD", "CCCCCCCCCCCCCC"}));
    for (const QString& wrong : QStringList{line.chopped(1), line + u' '}) {
        try {
            SplitGLFixedLine(wrong);
            QFAIL("no exception");
        } catch (const EztException& e) {
            QCOMPARE(e.Message(), Format("Wrong length of fixed width record. Expected 87, got %d.",
                                         {wrong.size()}));
        }
    }
}

void TestGLParser::measuresFixedLineInCharacters() {
    // An emoji is two UTF-16 units but one character: the line is still 87
    // characters, and the columns after it are not shifted or split.
    const QString emoji = QString::fromUcs4(U"\U0001F600");
    const QString tag = "NY-Wages " + emoji + QString(5, u' ');
    const QString line = "ORV1" + QString("20240308") + "abcde" + emoji + QString(12, u' ') + tag +
                         QString("5.00").rightJustified(14) + QString("5.00").rightJustified(14) +
                         QString(14, u' ');
    QCOMPARE(line.size(), GLFixedLineLength + 2);
    const QStringList fields = SplitGLFixedLine(line);
    QCOMPARE(fields[2], "abcde" + emoji);
    QCOMPARE(fields[5], tag);
    QCOMPARE(fields[7], QString("5.00").rightJustified(14));
    const TGLRecordArray records =
        ParseGLJournal(m_log->Logger(), line + "\r\n" + line, TagParam(gtpAssignClass, "-"));
    QCOMPARE(records.size(), size_t(2));
    QCOMPARE(records[1].AccountTag, "Wages " + emoji);
    QCOMPARE(records[1].Debit, Currency::FromRaw(50000));

    // 87 UTF-16 units holding two emoji are 85 characters.
    try {
        SplitGLFixedLine(line.chopped(2));
        QFAIL("no exception");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), QString("Wrong length of fixed width record. Expected 87, got 85."));
    }
}

void TestGLParser::parsesDate_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("message"); // empty: must parse
    QTest::newRow("plain") << "20240308" << QDate(2024, 3, 8) << "";
    QTest::newRow("blanks around") << " 20241231  " << QDate(2024, 12, 31) << "";
    QTest::newRow("leap day") << "20240229" << QDate(2024, 2, 29) << "";
    QTest::newRow("30 February") << "20240230" << QDate() << "Invalid argument to date encode";
    QTest::newRow("month 13") << "20241301" << QDate() << "Invalid argument to date encode";
    QTest::newRow("year 0") << "00000101" << QDate() << "Invalid argument to date encode";
    QTest::newRow("negative year")
        << "-0010101" << QDate() << "'-001' is not a valid integer value";
    QTest::newRow("dashes, eight characters")
        << "2024-1-1" << QDate() << "'-1' is not a valid integer value";
    // A sign made a shorter date eight characters long.
    QTest::newRow("signed month and day")
        << "2024+3+8" << QDate() << "'+3' is not a valid integer value";
    QTest::newRow("signed two-digit year")
        << "+0240308" << QDate() << "'+024' is not a valid integer value";
    QTest::newRow("ISO form") << "2024-01-01" << QDate() << "Wrong date: 2024-01-01";
    QTest::newRow("seven digits") << " 2024031 " << QDate() << "Wrong date:  2024031 ";
    QTest::newRow("blank") << "        " << QDate() << "Wrong date:         ";
    QTest::newRow("letter in month")
        << "2024O301" << QDate() << "'O3' is not a valid integer value";
    QTest::newRow("inner blank") << "2024 301" << QDate() << "' 3' is not a valid integer value";
    QTest::newRow("sign only") << "2024-+01" << QDate() << "'-+' is not a valid integer value";
}

void TestGLParser::parsesDate() {
    QFETCH(QString, text);
    QFETCH(QDate, date);
    QFETCH(QString, message);
    try {
        QCOMPARE(ParseGLDate(text), date);
        QVERIFY2(message.isEmpty(), "parsed although it should fail");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), message);
    }
}

void TestGLParser::parsesAmount_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("raw"); // ten-thousandths
    QTest::addColumn<QString>("message");
    QTest::newRow("plain") << "1250.00" << qint64(12500000) << "";
    QTest::newRow("padded") << "      -300.5" << qint64(-3005000) << "";
    QTest::newRow("blank is zero") << "  " << qint64(0) << "";
    QTest::newRow("empty is zero") << "" << qint64(0) << "";
    QTest::newRow("minus zero") << "-0" << qint64(0) << "";
    QTest::newRow("fifth decimal rounds") << "0.00005" << qint64(1) << "";
    for (const char* text : {"1.5e2", "1E2", "1e-400", "1e308", "0x10", "inf", "1 000", "+-1"})
        QTest::newRow(text) << QString::fromLatin1(text) << qint64(0)
                            << "'" + QString::fromLatin1(text) +
                                   "' is not a valid floating point value";
    QTest::newRow("thousands separator")
        << " 1,000.00 " << qint64(0) << "'1,000.00' is not a valid floating point value";
    QTest::newRow("currency sign")
        << "$5" << qint64(0) << "'$5' is not a valid floating point value";
    QTest::newRow("not a number") << "NaN" << qint64(0)
                                  << "'NaN' is not a valid floating point value";
}

void TestGLParser::parsesAmount() {
    QFETCH(QString, text);
    QFETCH(qint64, raw);
    QFETCH(QString, message);
    try {
        QCOMPARE(ParseGLAmount(text).Raw(), raw);
        QVERIFY2(message.isEmpty(), "parsed although it should fail");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), message);
    }
}

void TestGLParser::followsRegionalDecimalSeparator() {
    TRegionalSettings german;
    german.DateOrder = TDateOrder::DayMonthYear;
    german.DateSeparator = u'.';
    german.DecimalSeparator = u',';
    TRegionalSettingsOverride guard(german);
    QCOMPARE(ParseGLAmount(" 1250,75 "), Currency::FromRaw(12507500));
    // Journal dates are fixed YYYYMMDD whatever the regional settings.
    const TGLRecordArray records = ParseGLJournal(
        m_log->Logger(), FixedLine("AB", "20240308", "6000", "5,5", "5,5", ""), TQBGLExportParam());
    QCOMPARE(records[0].JournalDate, QDate(2024, 3, 8));
    QCOMPARE(records[0].Debit, Currency::FromRaw(55000));
}

void TestGLParser::normalizesFullName_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normalized");
    QTest::newRow("no colon") << "  Wages\t"
                              << "Wages";
    QTest::newRow("spaces around colons") << "Payroll Expenses : Wages "
                                          << "Payroll Expenses:Wages";
    QTest::newRow("inner spaces stay") << "A B : C D"
                                       << "A B:C D";
    QTest::newRow("adjacent colons stay two") << "A :: B"
                                              << "A::B";
    QTest::newRow("trailing colon stays") << "A: "
                                          << "A:";
    QTest::newRow("empty") << ""
                           << "";
}

void TestGLParser::normalizesFullName() {
    QFETCH(QString, text);
    QFETCH(QString, normalized);
    QCOMPARE(NormalizeFullName(text), normalized);
}

void TestGLParser::splitsGLTag_data() {
    QTest::addColumn<TGLTagParsing>("parsing");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("classOrName");
    QTest::addColumn<QString>("accountTag");
    QTest::addColumn<QString>("warning");
    QTest::newRow("class and account") << gtpAssignClass << "-"
                                       << "NY-6000"
                                       << "NY"
                                       << "6000"
                                       << "";
    QTest::newRow("customer and account") << gtpAssignName << "-"
                                          << "Acme-6000"
                                          << "Acme"
                                          << "6000"
                                          << "";
    QTest::newRow("leftmost of several delimiters")
        << gtpAssignClass << "-"
        << "NY-6000-1"
        << "NY"
        << "6000-1"
        << "Multiple occurences of delimiter \"-\" in GL tag (\"NY-6000-1\"). Using the leftmost "
           "one.";
    QTest::newRow("no delimiter") << gtpAssignClass << "-"
                                  << "6000"
                                  << ""
                                  << "6000"
                                  << "";
    QTest::newRow("empty delimiter means space") << gtpAssignClass << ""
                                                 << "NY 6000"
                                                 << "NY"
                                                 << "6000"
                                                 << "";
    QTest::newRow("tag trimmed before splitting") << gtpAssignClass << ""
                                                  << "  NY 6000   "
                                                  << "NY"
                                                  << "6000"
                                                  << "";
    QTest::newRow("never split without parsing") << gtpDontParse << "-"
                                                 << "NY-6000"
                                                 << ""
                                                 << "NY-6000"
                                                 << "";
    QTest::newRow("both parts normalized") << gtpAssignClass << "/"
                                           << "East : NY/Payroll : Wages"
                                           << "East:NY"
                                           << "Payroll:Wages"
                                           << "";
    QTest::newRow("colon as delimiter")
        << gtpAssignClass << ":"
        << "NY:Payroll:Wages"
        << "NY"
        << "Payroll:Wages"
        << "Multiple occurences of delimiter \":\" in GL tag (\"NY:Payroll:Wages\"). Using the "
           "leftmost one.";
    QTest::newRow("delimiter first") << gtpAssignClass << "-"
                                     << "-6000"
                                     << ""
                                     << "6000"
                                     << "";
}

void TestGLParser::splitsGLTag() {
    QFETCH(TGLTagParsing, parsing);
    QFETCH(QString, delimiter);
    QFETCH(QString, tag);
    QFETCH(QString, classOrName);
    QFETCH(QString, accountTag);
    QFETCH(QString, warning);
    const QString line = "ORV1,20240308,,,,\"" + tag + "\",1,1,0";
    const TGLRecordArray records =
        ParseGLJournal(m_log->Logger(), line, TagParam(parsing, delimiter));
    QCOMPARE(records[0].GLTag, tag);
    QCOMPARE(records[0].ClassOrName, classOrName);
    QCOMPARE(records[0].AccountTag, accountTag);

    const auto warnings = m_log->Sink().OfKind(lmWarning);
    QCOMPARE(warnings.size(), size_t(warning.isEmpty() ? 0 : 1));
    if (!warning.isEmpty()) {
        QCOMPARE(warnings[0].Message, warning);
        QCOMPARE(warnings[0].Block, QString("Parsing GL record"));
        QCOMPARE(warnings[0].Context, QStringList{"GL record=" + line});
    }
}

void TestGLParser::failsWithMessage_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString fixed = FixedLine("AB", "20240308", "6000", "5", "5", "");
    QTest::newRow("empty text") << ""
                                << "Orvane Journal is empty";
    QTest::newRow("blank lines only") << " \r\n\t\n\r"
                                      << "Orvane Journal is empty";
    QTest::newRow("component stream") << "TPF0" + CsvLine << "Orvane Journal is empty";
    QTest::newRow("neither layout")
        << "a,b,c\r\n" + CsvLine
        << "Wrong format of Orvane Journal file. The file is neither comma-separated nor "
           "fixed-width Orvane Journal file.\r\nError messages are:\r\nWrong number of fields. "
           "Expected 9 fields, got 3.\r\nWrong length of fixed width record. Expected 87, got 5.";
    QTest::newRow("ten fields on the first line")
        << CsvLine + ","
        << "Wrong format of Orvane Journal file. The file is neither comma-separated nor "
           "fixed-width Orvane Journal file.\r\nError messages are:\r\nWrong number of fields. Got "
           "more than 9 fields while parsing <" +
               CsvLine + ",>\r\nWrong length of fixed width record. Expected 87, got 38.";
    QTest::newRow("leading blank line")
        << "\r\n" + CsvLine
        << "Wrong format of Orvane Journal file. The file is neither comma-separated nor "
           "fixed-width Orvane Journal file.\r\nError messages are:\r\nWrong number of fields. "
           "Expected 9 fields, got 0.\r\nWrong length of fixed width record. Expected 87, got 0.";
    QTest::newRow("later line with too many fields")
        << CsvLine + "\n" + CsvLine + ",x"
        << "Wrong number of fields. Got more than 9 fields while parsing <" + CsvLine + ",x>";
    QTest::newRow("blank line between postings")
        << CsvLine + "\r\n\r\n" + CsvLine << "Wrong number of fields. Expected 9 fields, got 0.";
    QTest::newRow("fixed-width line in a comma-separated file")
        << Fixture("gl_mixed_layouts.txt") << "Wrong number of fields. Expected 9 fields, got 1.";
    QTest::newRow("comma-separated line in a fixed-width file")
        << fixed + "\r\n" + CsvLine << "Wrong length of fixed width record. Expected 87, got 37.";
    QTest::newRow("86-character line")
        << Fixture("gl_fixed_short_line.txt")
        << "Wrong length of fixed width record. Expected 87, got 86.";
    QTest::newRow("blank line in a fixed-width file")
        << fixed + "\n   \n" + fixed << "Wrong length of fixed width record. Expected 87, got 3.";
    QTest::newRow("short date") << "ORV1,2024038,,,,6000,1,1,0"
                                << "Wrong date: 2024038";
    QTest::newRow("impossible date") << "ORV1,20240230,,,,6000,1,1,0"
                                     << "Invalid argument to date encode";
    QTest::newRow("bad debit") << "ORV1,20240308,,,,6000,1,1x,0"
                               << "'1x' is not a valid floating point value";
    QTest::newRow("huge credit") << "ORV1,20240308,,,,6000,1,0,1e308"
                                 << "'1e308' is not a valid floating point value";
    // Each amount fits, but debit minus credit would wrap around.
    QTest::newRow("net amount out of range")
        << "ORV1,20240308,,,,6000,0,900000000000000,-900000000000000"
        << "Net amount of debit 900000000000000 and credit -900000000000000 is out of range";
}

void TestGLParser::failsWithMessage() {
    QFETCH(QString, text);
    QFETCH(QString, message);
    try {
        ParseGLJournal(m_log->Logger(), text, TagParam(gtpAssignClass, "-"));
        QFAIL("no exception");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), message);
    }
    // Logged exactly once, wherever it arose.
    QCOMPARE(m_log->Sink().OfKind(lmException).size(), size_t(1));
}

void TestGLParser::logsFailingLineOnceInItsBlock() {
    const QString bad = "ORV1,20240308,,,,6000,1,oops,0";
    const QString text = CsvLine + "\r\n" + bad + "\r\n" + CsvLine;
    QVERIFY_THROWS_EXCEPTION(EztException, [&] {
        try {
            ParseGLJournal(m_log->Logger(), text, TQBGLExportParam());
        } catch (...) {
            // The run passing it on adds nothing.
            m_log->Logger().PassthroughException();
        }
    }());
    const auto exceptions = m_log->Sink().OfKind(lmException);
    QCOMPARE(exceptions.size(), size_t(1));
    QCOMPARE(exceptions[0].Message, QString("'oops' is not a valid floating point value"));
    QCOMPARE(exceptions[0].Block, QString("Parsing GL record"));
    QCOMPARE(exceptions[0].Context, QStringList{"GL record=" + bad});
    // The parse stops at the failing line.
    QCOMPARE(m_log->Sink().Events.count("enter Parsing GL record"), 2);

    // A journal-level failure is logged in the outer block.
    m_log = std::make_unique<TRecordingLogger>();
    QVERIFY_THROWS_EXCEPTION(EztException,
                             ParseGLJournal(m_log->Logger(), "\r\n", TQBGLExportParam()));
    const auto empty = m_log->Sink().OfKind(lmException);
    QCOMPARE(empty.size(), size_t(1));
    QCOMPARE(empty[0].Block, QString("Parsing GL records"));
}

void TestGLParser::namesSourceAndLine_data() {
    // The lines of records are named the same way (the runs' tests).
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("first line of neither layout")
        << QString("a,b")
        << "Wrong format of Orvane Journal file. The file is neither comma-separated nor "
           "fixed-width Orvane Journal file.\r\nError messages are:\r\nWrong number of "
           "fields. Expected 9 fields, got 2.\r\nWrong length of fixed width record. Expected "
           "87, got 3. (line 1 of Orvane Journal report: <a,b>)";
    // Amounts and dates that posted something else than the journal meant.
    for (const char* amount : {"1E2", "1e-400"}) {
        const QString line = "ORV1,20240308,,,,6000,0," + QString::fromLatin1(amount) + ",";
        QTest::newRow(amount) << CsvLine + "\r\n" + line
                              << "'" + QString::fromLatin1(amount) +
                                     "' is not a valid floating point value (line 2 of Orvane "
                                     "Journal report: <" +
                                     line + ">)";
    }
    QTest::newRow("signed date parts")
        << CsvLine + "\r\nORV1,2024+3+8,,,,6000,0,1,"
        << "'+3' is not a valid integer value (line 2 of Orvane Journal report: "
           "<ORV1,2024+3+8,,,,6000,0,1,>)";
}

void TestGLParser::namesSourceAndLine() {
    QFETCH(QString, text);
    QFETCH(QString, message);
    try {
        ParseGLJournal(m_log->Logger(), text, TQBGLExportParam(), "Orvane Journal report");
        QFAIL("no exception");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), message);
    }
}

void TestGLParser::quotesHugeFieldsShortened_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString huge(1024 * 1024, u'7');
    const QString first256 = huge.left(256) + "...";
    QTest::newRow("line with too many fields")
        << CsvLine + "\n" + CsvLine + "," + huge
        << "Wrong number of fields. Got more than 9 fields while parsing <" +
               QString(CsvLine + "," + huge).left(256) + "...>";
    QTest::newRow("date") << "ORV1," + huge + ",,,,6000,1,1,0"
                          << "Wrong date: " + first256;
    QTest::newRow("amount") << "ORV1,20240308,,,,6000,1,x" + huge + ",0"
                            << "'x" + huge.left(255) + "...' is not a valid floating point value";
    // Up to 256 characters are quoted whole.
    const QString date256 = QString(248, u' ') + "2024030";
    QTest::newRow("date of 256 characters") << "ORV1," + date256 + ",,,,6000,1,1,0"
                                            << "Wrong date: " + date256;
}

void TestGLParser::quotesHugeFieldsShortened() {
    QFETCH(QString, text);
    QFETCH(QString, message);
    try {
        ParseGLJournal(m_log->Logger(), text, TQBGLExportParam());
        QFAIL("no exception");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), message);
    }
}

void TestGLParser::readsWindows1252FixedWidth() {
    // One byte a column: the decoded "é" must not shift the columns.
    const TGLRecordArray records = ParseGLJournal(
        m_log->Logger(), Fixture("gl_fixed_windows1252.txt"), TagParam(gtpAssignClass, "-"));
    QCOMPARE(records.size(), size_t(2));
    QCOMPARE(records[0].Extra1, QString::fromUtf8("Caf\xc3\xa9  "));
    QCOMPARE(records[0].ClassOrName, QString("NY"));
    QCOMPARE(records[1].Credit, Currency::FromRaw(3005000));
}

void TestGLParser::survivesHostileInput_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("records"); // -1: must fail cleanly
    QByteArray random(64 * 1024, '\0');
    quint32 seed = 4711;
    for (char& c : random) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    QTest::newRow("random bytes") << random << -1;
    const QByteArray csv = CsvLine.toUtf8();
    QTest::newRow("NUL bytes in a field") << QByteArray("OR\0V,20240308,a,b,c,6000,1,1,0", 30) << 1;
    QTest::newRow("lone CR line ends") << csv + "\r" + csv + "\r" << 2;
    QTest::newRow("quote never closes") << QByteArray("ORV1,20240308,\"a,b,c,6000,1,1,0") << -1;
    QTest::newRow("ten megabyte tag")
        << QByteArray("ORV1,20240308,a,b,c,\"" + QByteArray(10 * 1024 * 1024, '-') + "\",1,1,0")
        << 1;
    QTest::newRow("ten megabyte line of commas") << QByteArray(10 * 1024 * 1024, ',') << -1;
}

void TestGLParser::survivesHostileInput() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, records);
    try {
        const TGLRecordArray parsed = ParseGLJournal(m_log->Logger(), DecodeReportBytes(bytes),
                                                     TagParam(gtpAssignClass, "-"));
        QCOMPARE(int(parsed.size()), records);
    } catch (const EztException& e) {
        QVERIFY2(records == -1, qPrintable(e.Message()));
        QVERIFY(!e.Message().isEmpty());
    }
}

void TestGLParser::parsesLargeJournal() {
    // 100,000 postings of both layouts; the last line of each is broken.
    constexpr int lines = 100000;
    QString csv, fixed;
    csv.reserve(lines * 50);
    fixed.reserve(lines * 89);
    for (int i = 0; i < lines; ++i) {
        const QString amount = QString::number(i / 2 % 5000) + ".25";
        const bool debit = i % 2 == 0;
        csv += QStringLiteral("ORV1,20240308,,,,NY-%1,%2,%3,%4\r\n")
                   .arg(6000 + i % 500)
                   .arg(amount, debit ? amount : QString(), debit ? QString() : amount);
        fixed += FixedLine("ORV1", "20240308", QStringLiteral("NY-%1").arg(6000 + i % 500), amount,
                           debit ? amount : QString(), debit ? QString() : amount) +
                 u'\n';
    }
    for (const QString& text : {csv, fixed}) {
        m_log = std::make_unique<TRecordingLogger>();
        const TGLRecordArray records =
            ParseGLJournal(m_log->Logger(), text, TagParam(gtpAssignClass, "-"));
        QCOMPARE(int(records.size()), lines);
        QCOMPARE(records.back().LineNumber, lines);
        QCOMPARE(records.back().AccountTag, QString::number(6000 + (lines - 1) % 500));
        Currency net;
        for (const TGLRecord& r : records)
            net += r.NetAmount;
        QCOMPARE(net, Currency()); // every debit is followed by the same credit
        QCOMPARE(m_log->Sink().Events.count("enter Parsing GL record"), lines);

        m_log = std::make_unique<TRecordingLogger>();
        QVERIFY_THROWS_EXCEPTION(EztException,
                                 ParseGLJournal(m_log->Logger(), text + "ORV1,20240230\r\n",
                                                TagParam(gtpAssignClass, "-")));
        QCOMPARE(m_log->Sink().OfKind(lmException).size(), size_t(1));
    }
}

void TestGLParser::bundledSamplesBalanceAgainstDemoCompany_data() {
    QTest::addColumn<QString>("sample");
    QTest::addColumn<TGLTagParsing>("parsing");
    QTest::newRow("comma-separated") << "s348-journal.csv" << gtpDontParse;
    QTest::newRow("fixed-width") << "s348-journal-fixed.txt" << gtpDontParse;
    QTest::newRow("with classes") << "s348-journal-classes.csv" << gtpAssignClass;
}

void TestGLParser::bundledSamplesBalanceAgainstDemoCompany() {
    QFETCH(QString, sample);
    QFETCH(TGLTagParsing, parsing);
    const QString root = qEnvironmentVariable("ORVQ_SOURCE_DIR") + "/data/";
    const QJsonObject company =
        QJsonDocument::fromJson(testsupport::ReadFile(root + "demo/company.json")).object();
    QSet<QString> accountNumbers, classes;
    for (const QJsonValue& account : company["accounts"].toArray())
        accountNumbers << account["number"].toString();
    for (const QJsonValue& cls : company["classes"].toArray())
        classes << cls["name"].toString();
    QVERIFY(!accountNumbers.isEmpty());

    const TGLRecordArray records = ParseGLJournal(
        m_log->Logger(), ReadReportFile(root + "samples/" + sample), TagParam(parsing, "-"));
    QVERIFY(records.size() > 1);
    Currency debits, credits;
    for (const TGLRecord& r : records) {
        QVERIFY2(accountNumbers.contains(r.AccountTag), qPrintable(r.AccountTag));
        QVERIFY2(r.ClassOrName.isEmpty() || classes.contains(r.ClassOrName),
                 qPrintable(r.ClassOrName));
        QCOMPARE(r.CompanyCode.trimmed(), QString("HLB1"));
        QCOMPARE(r.JournalDate, records.front().JournalDate);
        QCOMPARE(r.Amount, r.NetAmount);
        debits += r.Debit;
        credits += r.Credit;
    }
    QCOMPARE(debits, credits);
    QVERIFY(!debits.IsZero());
    QCOMPARE(m_log->Sink().OfKind(lmWarning).size(), size_t(0));
}

QTEST_GUILESS_MAIN(TestGLParser)
#include "tst_orvglparser.moc"
