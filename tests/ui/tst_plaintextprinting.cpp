// Plain-text printing: the layout's rules (tabs, carriage returns, wrapping,
// form feeds, the closing line end), a PDF printer's pages and text as
// pdftotext reads them, the print dialog cancelled, and a printer failure.
#include "base/ztExceptions.h"
#include "ui/PlainTextPrinting.h"
#include "ui/UserDialogBoxes.h"

#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using TPages = QList<QStringList>;

// Runs a poppler tool on a PDF; its output.
QString Poppler(const QString& tool, const QStringList& args) {
    QProcess process;
    process.start(tool, args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QStringLiteral("(%1 failed)").arg(tool);
    return QString::fromUtf8(process.readAllStandardOutput());
}

int PageCount(const QString& pdf) {
    const QString info = Poppler(QStringLiteral("pdfinfo"), {pdf});
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(info);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// The text of each page, lines trimmed, empty lines dropped.
QList<QStringList> PdfText(const QString& pdf) {
    const QString text =
        Poppler(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QList<QStringList> pages;
    for (const QString& page : text.split(u'\f')) {
        QStringList lines;
        for (const QString& line : page.split(u'\n')) {
            if (!line.trimmed().isEmpty())
                lines << line.trimmed();
        }
        pages << lines;
    }
    while (!pages.isEmpty() && pages.back().isEmpty())
        pages.removeLast();
    return pages;
}

// The least distance of the words of a PDF from the paper's left and top
// edges, in points.
QPointF TextOrigin(const QString& pdf) {
    const QString html =
        Poppler(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    QPointF origin(1e9, 1e9);
    const QRegularExpression word(QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\""));
    for (const auto& m : word.globalMatch(html))
        origin = QPointF(qMin(origin.x(), m.captured(1).toDouble()),
                         qMin(origin.y(), m.captured(2).toDouble()));
    return origin;
}

} // namespace

class TestPlainTextPrinting : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void layout_data();
    void layout();
    void pagesOnPdf();
    void cancelledDialogPrintsNothing();
    void printerFailureIsThrown();

private:
    QTemporaryDir m_dir;
};

void TestPlainTextPrinting::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
        QSKIP("pdftotext and pdfinfo (poppler-utils) are not installed");
    QVERIFY(m_dir.isValid());
}

void TestPlainTextPrinting::layout_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<TPages>("pages");
    // Lines fit when at most 10 characters; 3 lines a page.
    QTest::newRow("lines, CR ignored, one closing line end") << "A\r\nB\r\n"
                                                             << TPages{{"A", "B", ""}};
    QTest::newRow("tabs to multiples of eight")
        << "a\tb\n1234\tc\n\td" << TPages{{"a       b", "1234    c", "        d"}};
    QTest::newRow("long line continues on the next")
        << "0123456789abcdefghijKLM" << TPages{{"0123456789", "abcdefghij", "KLM"}};
    QTest::newRow("a tab across the wrap") << "012345678\tx" << TPages{{"012345678 ", "      x"}};
    QTest::newRow("full page flows on") << "1\n2\n3\n4" << TPages{{"1", "2", "3"}, {"4"}};
    QTest::newRow("form feed starts a page")
        << "EMPLOYEE\r\n\fAGENCY" << TPages{{"EMPLOYEE"}, {"AGENCY"}};
    QTest::newRow("form feed mid-line, and on an empty page") << "\f\fA\fB" << TPages{{"A"}, {"B"}};
    QTest::newRow("empty text") << "" << TPages{{""}};
}

void TestPlainTextPrinting::layout() {
    QFETCH(QString, text);
    QFETCH(TPages, pages);
    QCOMPARE(LayOutPlainText(
                 text, [](const QString& line) { return line.size() <= 10; }, 3),
             pages);
}

void TestPlainTextPrinting::pagesOnPdf() {
    const QString pdf = m_dir.filePath(QStringLiteral("checks.pdf"));
    // Far wider than a page: nothing is cut off, it all comes on lines below.
    QString wide;
    for (int i = 0; i < 60; ++i)
        wide += QStringLiteral("W%1 ").arg(i, 2, 10, QLatin1Char('0'));
    TPreAnsweredDialogs dialogs;
    dialogs.AnswerNextPrintDialog(pdf);
    PrintText(nullptr,
              QStringLiteral("EMPLOYEE CHECKS\r\nCheck 1001\t250.00\r\n\fAGENCY CHECKS\r\n") +
                  wide);
    QCOMPARE(dialogs.PrintDialogCount(), 1);
    QCOMPARE(PageCount(pdf), 2);
    const QList<QStringList> text = PdfText(pdf);
    QCOMPARE(text.size(), 2);
    QCOMPARE(text[0].first(), QStringLiteral("EMPLOYEE CHECKS"));
    // The tab leaves a gap on the line.
    QVERIFY2(QRegularExpression(QStringLiteral("^Check 1001 +250\\.00$"))
                 .match(text[0].value(1))
                 .hasMatch(),
             qPrintable(text[0].join(u'|')));
    QCOMPARE(text[1].first(), QStringLiteral("AGENCY CHECKS"));
    QVERIFY2(text[1].size() > 2, qPrintable(text[1].join(u'|')));
    QCOMPARE(text[1].mid(1).join(QString()).remove(u' '), wide.remove(u' '));
    // Half an inch (36 points) of paper at least before the text, so that
    // no printer cuts a line (the wide line wraps within the same margins).
    const QPointF origin = TextOrigin(pdf);
    QVERIFY2(origin.x() >= 35.5 && origin.y() >= 35.5 && origin.x() < 1e9,
             qPrintable(QStringLiteral("%1, %2").arg(origin.x()).arg(origin.y())));
}

void TestPlainTextPrinting::cancelledDialogPrintsNothing() {
    TPreAnsweredDialogs dialogs;
    PrintText(nullptr, QStringLiteral("LOG"));
    QCOMPARE(dialogs.PrintDialogCount(), 1);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files).filter(QStringLiteral("log")),
             QStringList{});
}

void TestPlainTextPrinting::printerFailureIsThrown() {
    TPreAnsweredDialogs dialogs;
    const QString pdf = m_dir.filePath(QStringLiteral("missing/folder/log.pdf"));
    dialogs.AnswerNextPrintDialog(pdf);
    try {
        PrintText(nullptr, QStringLiteral("LOG"));
        QFAIL("printing to a missing folder succeeded");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), QStringLiteral("The printer could not start printing to ") + pdf);
    }
}

QTEST_MAIN(TestPlainTextPrinting)
#include "tst_plaintextprinting.moc"
