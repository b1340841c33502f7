// Reports printed as documents: the run report and the bureau report hold
// what a bookkeeper files (their text against golden files, outside text
// never read as markup), and printed pages carry their numbers and repeat
// a table's header row.
#include "TestSupport.h"
#include "runs/BureauReport.h"
#include "runs/LedgerReport.h"
#include "ui/DocumentPrinting.h"

#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QtTest>

#include <ctime>

using namespace Qt::StringLiterals;

namespace {

QDateTime Utc(int day, int hour, int minute) {
    return QDateTime(QDate(2024, 3, day), QTime(hour, minute), Qt::UTC);
}

TLedgerRecord Record(int seq, TLedgerRecordKind kind, const QString& number, const QString& payee,
                     qint64 cents, TLedgerOutcome outcome, const QString& accounts) {
    TLedgerRecord r;
    r.Seq = seq;
    r.Kind = kind;
    r.Number = number;
    r.Date = QDate(2024, 3, 8);
    r.Payee = payee;
    r.Amount = Currency::FromRaw(cents * 100);
    r.Accounts = accounts;
    r.Outcome = outcome;
    r.TxnID = outcome == loAdded ? u"TX-"_s + QString::number(seq) : QString();
    return r;
}

TLedgerRun ChecksRun() {
    TLedgerRun run;
    run.Id = u"1a2b3c4d-0000-4000-8000-000000000001"_s;
    run.Kind = lrkChecks;
    run.ReportKind = lpkEmployeeChecks;
    run.State = lrsFinished;
    run.Started = Utc(8, 10, 15);
    run.Ended = Utc(8, 10, 16);
    run.Identity = {u"ann"_s, u"WS-1"_s, u"0.1.0.2859"_s};
    run.Source.OrvaneCompany = u"34"_s;
    run.Source.Payrolls = {u"1001"_s};
    run.Target = {u"/books/harbor.qbw"_s, u"Harbor Lane Bakery"_s};
    run.FirstDate = run.LastDate = QDate(2024, 3, 8);
    run.Counts = {{loAdded, 3}, {loFailed, 1}};
    return run;
}

QList<TLedgerRecord> ChecksRecords() {
    const QString accounts = u"Checking / Payroll Liabilities"_s;
    QList<TLedgerRecord> records{
        Record(1, lekCheck, u"2001"_s, u"Maria Lopez"_s, 106890, loAdded, accounts),
        // A payee is text from the report, never markup.
        Record(2, lekCheck, u"2002"_s, u"<b>James</b> & Co"_s, 98029, loAdded, accounts),
        Record(3, lekDeposit, u"2003"_s, u"Lee Ann"_s, 123456789, loAdded,
               u"Savings / Payroll Liabilities"_s),
        Record(4, lekCheck, u"2004"_s, u"Kim Park"_s, 5000, loFailed, accounts)};
    records[3].Message = u"Cannot find QB employee record Kim Park\n\nDetails follow"_s;
    return records;
}

QList<TBureauCompanyResult> BureauCompanies() {
    TBureauCompanyResult harbor;
    harbor.Entry.OrvaneCompany = u"34"_s;
    harbor.Entry.CompanyFile = u"/books/harbor.qbw"_s;
    harbor.CompanyName = u"Harbor Lane Bakery"_s;
    TBureauExport checks;
    checks.Payroll = u"1001"_s;
    checks.Caption = u"3/8/2024 run 1"_s;
    checks.Kind = lpkEmployeeChecks;
    checks.Checks.ChecksAdded = 12;
    checks.Checks.DepositsAdded = 2;
    checks.Amount = Currency::FromRaw(128245000);
    harbor.Exports << checks;
    TBureauCompanyResult deli;
    deli.Entry.OrvaneCompany = u"1002"_s;
    deli.Entry.CompanyFile = u"/books/deli.qbw"_s;
    deli.CompanyName = u"Maple <Deli>"_s;
    deli.Problems << u"Check 3001 of payroll 2001 failed: no account\nCheck the account list"_s;
    return {harbor, deli};
}

// The document's text as QTextDocument reads the HTML: a paragraph a line,
// a table row a line with its cells between " | ", so the golden files
// show which text went into which column.
QString FrameText(QTextFrame* frame) {
    QString text;
    if (auto* table = qobject_cast<QTextTable*>(frame)) {
        for (int row = 0; row < table->rows(); ++row) {
            QStringList cells;
            for (int column = 0; column < table->columns(); ++column) {
                const QTextTableCell cell = table->cellAt(row, column);
                QTextCursor cursor = cell.firstCursorPosition();
                cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
                cells << cursor.selectedText().replace(QChar::ParagraphSeparator, u" / "_s);
            }
            text += cells.join(u" | "_s) + u'\n';
        }
        return text;
    }
    for (auto it = frame->begin(); !it.atEnd(); ++it) {
        if (QTextFrame* child = it.currentFrame())
            text += FrameText(child);
        else if (it.currentBlock().isValid() && !it.currentBlock().text().isEmpty())
            text += it.currentBlock().text().replace(QChar::LineSeparator, u'\n') + u'\n';
    }
    return text;
}

QString DocumentText(const QString& html) {
    QTextDocument document;
    document.setHtml(html);
    return FrameText(document.rootFrame());
}

QString Poppler(const QString& tool, const QStringList& args) {
    QProcess process;
    process.start(tool, args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return u"(%1 failed)"_s.arg(tool);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestReportDocuments : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // The reports show local times.
        qputenv("TZ", "UTC");
        tzset();
    }

    void documentText_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("golden");
        QTest::newRow("run report")
            << LedgerRunReportHtml(ChecksRun(), ChecksRecords(),
                                   u"finished, undone by 5e6f7a8b on 2024-03-09 09:00:00"_s)
            << u"ui/run-report.txt"_s;
        QTest::newRow("bureau report")
            << BureauReportHtml({QDate(2024, 3, 1), QDate(2024, 3, 8), Utc(8, 11, 0), u"WS-1"_s,
                                 false, u"ann"_s},
                                BureauCompanies())
            << u"ui/bureau-report.txt"_s;
    }
    void documentText() {
        QFETCH(QString, html);
        QFETCH(QString, golden);
        const QString text = DocumentText(html);
        const QString expected =
            QString::fromUtf8(testsupport::ReadFile(testsupport::DataPath(golden)));
        if (text != expected) {
            QFile actual(QDir::temp().filePath(QFileInfo(golden).fileName()));
            if (actual.open(QIODevice::WriteOnly))
                actual.write(text.toUtf8());
            qWarning("Actual text written to %s", qPrintable(actual.fileName()));
        }
        QCOMPARE(text, expected);
    }

    // Every page names the document and its number; the records' header row
    // starts the next page again.
    void printedPagesAreNumbered() {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(u"run.pdf"_s);
        QList<TLedgerRecord> records;
        for (int i = 1; i <= 120; ++i)
            records << Record(i, lekCheck, QString::number(2000 + i),
                              u"Payee "_s + QString::number(i), 10000 + i, loAdded,
                              u"Checking / Payroll Liabilities"_s);
        {
            QPrinter printer;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            PrintHtmlDocument(printer, LedgerRunReportHtml(ChecksRun(), records, u"finished"_s),
                              u"Run 1a2b3c4d"_s);
        }
        const QStringList pages =
            Poppler(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s}).split(u'\f', Qt::SkipEmptyParts);
        QVERIFY2(pages.size() >= 3, qPrintable(pages.join(u"\n----\n")));
        const QString count = QString::number(pages.size());
        for (qsizetype p = 0; p < pages.size(); ++p) {
            const QStringList lines = pages[p].trimmed().split(u'\n');
            const QString footer = lines.last().simplified();
            QCOMPARE(footer, u"Run 1a2b3c4d Page %1 of %2"_s.arg(p + 1).arg(count));
            if (p > 0 && p + 1 < pages.size())
                QVERIFY2(
                    lines.first().simplified().startsWith(u"# Kind Number Date Payee Amount"_s),
                    qPrintable(lines.first()));
        }
    }
};

QTEST_MAIN(TestReportDocuments)
#include "tst_reportdocuments.moc"
