// Reports printed as documents: the run report and the bureau report hold
// what a bookkeeper files (their text against golden files, outside text
// never read as markup), and printed pages carry their numbers and repeat
// a table's header row.
#include "TestSupport.h"
#include "base/RegionalSettings.h"
#include "runs/BureauReport.h"
#include "runs/LedgerReport.h"
#include "runs/RunPreview.h"
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

Q_DECLARE_METATYPE(TLedgerRun)

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
    run.ReportKind = rkEmployeeChecks;
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
    checks.Kind = rkEmployeeChecks;
    checks.Checks.ChecksAdded = 12;
    checks.Checks.DepositsAdded = 2;
    checks.NetPay = Currency::FromRaw(128245000);
    harbor.Exports << checks;
    TBureauExport journal;
    journal.Payroll = u"1001"_s;
    journal.Caption = u"3/8/2024 run 1"_s;
    journal.Kind = rkJournal;
    journal.JournalEntries = 1;
    journal.Journal = Currency::FromRaw(170000000);
    harbor.Exports << journal;
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
                // Text that must not wrap is laid out with no-break spaces.
                cells << cursor.selectedText()
                             .replace(QChar::ParagraphSeparator, u" / "_s)
                             .replace(QChar::Nbsp, u' ');
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

    // History's columns: what a run took in and what became of it.
    void runStory_data() {
        QTest::addColumn<TLedgerRun>("run");
        QTest::addColumn<QList<TLedgerRun>>("others");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("amount");
        TLedgerRun service = ChecksRun();
        service.Amounts = {{loAdded, Currency::FromRaw(10689000)},
                           {loFailed, Currency::FromUnits(5)}};
        TLedgerRun undo;
        undo.Id = u"5e6f7a8b-0000-4000-8000-000000000002"_s;
        undo.Kind = lrkUndo;
        undo.State = lrsFinished;
        undo.TargetRunId = service.Id;
        undo.Started = Utc(9, 9, 0);
        TLedgerRun cancelledUndo = undo;
        cancelledUndo.Message = u"cancelled"_s;
        TLedgerRun failedUndo = undo;
        failedUndo.State = lrsFailed;
        TLedgerRun otherUndo = undo;
        otherUndo.TargetRunId = u"ffff"_s;
        QTest::newRow("finished") << service << QList<TLedgerRun>{otherUndo}
                                  << u"payrolls 1001 of Orvane company 34; check date 3/8/2024"_s
                                  << u"finished"_s << u"1,068.90"_s;
        QTest::newRow("undone") << service << QList<TLedgerRun>{undo}
                                << u"payrolls 1001 of Orvane company 34; check date 3/8/2024"_s
                                << u"finished, undone by 5e6f7a8b on 2024-03-09 09:00:00"_s
                                << u"1,068.90"_s;
        QTest::newRow("partly undone")
            << service << QList<TLedgerRun>{cancelledUndo}
            << u"payrolls 1001 of Orvane company 34; check date 3/8/2024"_s
            << u"finished, partly undone by 5e6f7a8b on 2024-03-09 09:00:00"_s << u"1,068.90"_s;
        QTest::newRow("an undo that failed undid nothing")
            << service << QList<TLedgerRun>{failedUndo}
            << u"payrolls 1001 of Orvane company 34; check date 3/8/2024"_s << u"finished"_s
            << u"1,068.90"_s;
        TLedgerRun cancelled = service;
        cancelled.Message = u"cancelled, 48 records not exported: 2 checks added\n\nDetails"_s;
        cancelled.Source = {};
        cancelled.Source.FileName = u"/reports/s1910.txt"_s;
        cancelled.LastDate = QDate(2024, 3, 15);
        QTest::newRow("cancelled file run")
            << cancelled << QList<TLedgerRun>{}
            << u"file s1910.txt; check dates 3/8/2024 to 3/15/2024"_s
            << u"cancelled, 48 records not exported: 2 checks added"_s << u"1,068.90"_s;
        TLedgerRun deleted = undo;
        deleted.Amounts = {{loDeleted, Currency::FromUnits(-12)},
                           {loAdded, Currency::FromUnits(1)}};
        QTest::newRow("an undo counts what it deleted")
            << deleted << QList<TLedgerRun>{} << QString() << u"finished"_s << u"-12.00"_s;
    }
    void runStory() {
        QFETCH(TLedgerRun, run);
        QFETCH(QList<TLedgerRun>, others);
        QFETCH(QString, source);
        QFETCH(QString, state);
        QFETCH(QString, amount);
        QCOMPARE(LedgerSourceShortText(run), source);
        QCOMPARE(LedgerRunStateText(run, others << run), state);
        QCOMPARE(MoneyToStr(LedgerRunAmount(run)), amount);
    }

    // The preview's table is read by people, its CSV by programs: the
    // amount shown as money in one, a plain number in the other.
    void previewAmounts_data() {
        QTest::addColumn<QChar>("decimal");
        QTest::addColumn<QChar>("thousands");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("csv");
        QTest::newRow("US") << QChar(u'.') << QChar(u',') << u"1,068.90"_s << u",1068.90,"_s;
        QTest::newRow("decimal comma")
            << QChar(u',') << QChar(u'.') << u"1.068,90"_s << u",\"1068,90\","_s;
    }
    void previewAmounts() {
        QFETCH(QChar, decimal);
        QFETCH(QChar, thousands);
        QFETCH(QString, shown);
        QFETCH(QString, csv);
        TRegionalSettings settings;
        settings.DecimalSeparator = decimal;
        settings.ThousandSeparator = thousands;
        TRegionalSettingsOverride regional(settings);
        TRunPreview preview;
        preview.RunName = u"Orvane Employee Checks Export"_s;
        TExportNote note;
        static_cast<TLedgerRecordIntent&>(note) =
            Record(1, lekCheck, u"2001"_s, u"Maria Lopez"_s, 106890, loWouldAdd, QString());
        note.Outcome = loWouldAdd;
        preview.Items << note;
        const QString table = FormatPreviewTable({preview});
        QVERIFY2(table.contains(u"Maria Lopez  "_s + shown) &&
                     table.contains(u"Totals: 1 would add ("_s + shown + u')'),
                 qPrintable(table));
        QVERIFY2(PreviewCsv({preview}).contains(csv), qPrintable(PreviewCsv({preview})));
    }

    // Every page names the document and its number; a long table's header
    // row starts every page it continues on.
    void printedPages_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("footer");
        QTest::addColumn<QString>("header");
        QList<TLedgerRecord> records;
        for (int i = 1; i <= 120; ++i)
            records << Record(i, lekCheck, QString::number(2000 + i),
                              u"Payee "_s + QString::number(i), 10000 + i, loAdded,
                              u"Checking / Payroll Liabilities"_s);
        QTest::newRow("run report") << LedgerRunReportHtml(ChecksRun(), records, u"finished"_s)
                                    << u"Run 1a2b3c4d"_s << u"# Kind Number Date Payee Amount"_s;
        QList<TBureauCompanyResult> companies;
        for (int i = 0; i < 60; ++i) {
            companies << BureauCompanies();
            companies.back().Entry.OrvaneCompany = QString::number(2000 + i);
        }
        QTest::newRow("bureau report")
            << BureauReportHtml({QDate(2024, 3, 1), QDate(2024, 3, 8), Utc(8, 11, 0), u"WS-1"_s,
                                 false, u"ann"_s},
                                companies)
            << u"Orvane bureau run"_s << QString();
    }
    void printedPages() {
        QFETCH(QString, html);
        QFETCH(QString, footer);
        QFETCH(QString, header);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(u"report.pdf"_s);
        {
            QPrinter printer;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            PrintHtmlDocument(printer, html, footer);
        }
        const QStringList pages =
            Poppler(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s}).split(u'\f', Qt::SkipEmptyParts);
        QVERIFY2(pages.size() >= 3, qPrintable(pages.join(u"\n----\n")));
        const QString count = QString::number(pages.size());
        for (qsizetype p = 0; p < pages.size(); ++p) {
            const QStringList lines = pages[p].trimmed().split(u'\n');
            QCOMPARE(lines.last().simplified(),
                     u"%1 Page %2 of %3"_s.arg(footer).arg(p + 1).arg(count));
            if (!header.isEmpty() && p > 0 && p + 1 < pages.size())
                QVERIFY2(lines.first().simplified().startsWith(header), qPrintable(lines.first()));
        }
    }
};

QTEST_MAIN(TestReportDocuments)
#include "tst_reportdocuments.moc"
