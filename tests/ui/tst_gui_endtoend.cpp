// The whole job in the program's window, against the sandbox payroll
// service and a sandbox QuickBooks company: the payroll list of a period,
// two payrolls selected, the checks and the GL export run twice (the second
// run adds nothing), a slow report cancelled, also once it arrived while
// the question was open, and the checks printed.
#include "MainWindowScene.h"
#include "OrvTestSupport.h"

#include "company/QBSandboxCompany.h"
#include "settings/OrvConnectionParam.h"
#include "ui/OrvOptionsFrame.h"
#include "ui/OrvPayrollFilterFrame.h"
#include "ui/OrvWaitForm.h"
#include "ui/OrvaneDSFrame.h"
#include "ui/OrvaneMultiplePayrollFrame.h"
#include "ui/OrvqApplication.h"
#include "ui/QBChecksExportFrame.h"
#include "ui/QBChecksExportParamFrame.h"
#include "ui/QBGLExportFrame.h"
#include "ui/UserDialogBoxes.h"
#include "ui/dbcomp.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace orvtest;

namespace {

const TOrvPayrollPeriod March{QDateTime(QDate(2024, 3, 1), QTime(0, 0)),
                              QDateTime(QDate(2024, 3, 31), QTime(23, 59, 59))};

// Selects the payroll rows of these PR_NBRs as a user would with Ctrl+click.
void SelectPayrolls(TOrvaneMultiplePayrollFrm& frame, const QList<int>& prNbrs) {
    TReDBGrid& grid = *frame.PayrollsFrm->Grid;
    const int column = grid.Model()->ColumnOfField(grid.Table()->FieldByName(u"PR_NBR"_s));
    grid.clearSelection();
    for (int row = 0; row < grid.Model()->rowCount(); ++row) {
        const QModelIndex index = grid.Model()->index(row, column);
        if (prNbrs.contains(index.data(Qt::EditRole).toInt()))
            grid.selectionModel()->select(index,
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

// Presses the Cancel button of the report wait window once, as soon as the
// window shows and the server task runs; counts the presses.
std::unique_ptr<QTimer> CancelOnceTheTaskRuns(TSandboxService& sandbox, int& cancelled) {
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [&sandbox, &cancelled] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* wait = qobject_cast<TOrvWaitFm*>(widget);
            if (wait && wait->isVisible() && !cancelled && sandbox.LiveTasks() == 1) {
                ++cancelled;
                wait->CancelButton->click();
            }
        }
    });
    timer->start(10);
    return timer;
}

QString PdfText(const QString& pdf) {
    QProcess process;
    process.start(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestGuiEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void wholeJob();

private:
    int Transactions(const QString& type);
    // Loads the page's payroll list of March and selects the payrolls.
    void ChoosePayrolls(TQBExportBaseFrm& page, const QList<int>& prNbrs);
    // Presses the page's Run as a user does; the boxes it showed.
    QStringList Run(TQBExportBaseFrm& page);

    TSandboxService m_sandbox;
    TWindowScene m_scene;
    std::unique_ptr<TPreAnsweredDialogs> m_boxes;
};

void TestGuiEndToEnd::initTestCase() {
    QString error;
    if (!m_sandbox.Start(&error))
        QSKIP(qPrintable(error));
    QVERIFY(m_scene.Dir.isValid());
    m_scene.CreateCompany();
    TOrvAPIConnectionParam connection = m_sandbox.Param();
    connection.SavePassword = true;
    SaveConnectionParam(connection, *m_scene.Store(), QString());
}

int TestGuiEndToEnd::Transactions(const QString& type) {
    TQBSandboxCompany company(m_scene.CompanyFile(), false);
    TSbTxnFilter filter;
    filter.Type = type;
    return int(company.Txns(filter).size());
}

void TestGuiEndToEnd::ChoosePayrolls(TQBExportBaseFrm& page, const QList<int>& prNbrs) {
    page.PayrollFilterFrame->SetPeriod(March);
    page.UpdateActions();
    QVERIFY(page.ConnectToOrv->isEnabled());
    page.btnConnectToOrv->click();
    QCOMPARE(page.ConnectToOrv->text(), u"Refresh Orvane payroll list"_s);
    QVERIFY(page.PayrollFrame->IsReady());
    SelectPayrolls(*page.PayrollFrame, prNbrs);
    QList<int> selected;
    for (const TPrDef& payroll : page.PayrollFrame->GetSelectedPayrolls().Payrolls)
        selected << payroll.PrNbr;
    QCOMPARE(selected, prNbrs);
}

QStringList TestGuiEndToEnd::Run(TQBExportBaseFrm& page) {
    const qsizetype before = m_boxes->Boxes().size();
    page.UpdateActions();
    if (!page.RunAction->isEnabled())
        return {u"Run disabled"_s};
    page.btnRun->click();
    return m_boxes->BoxTexts().mid(before);
}

void TestGuiEndToEnd::wholeJob() {
    m_boxes = std::make_unique<TPreAnsweredDialogs>();
    TExportPageServices services;
    const IRedirectionPtr certificates = m_sandbox.Environment().Redirection;
    services.Redirection = [certificates] { return certificates; };
    services.ReportTimings.PollIntervalMs = 5;
    TMainFm window(m_scene.Options(), services);
    window.show();

    // The checks page: accounts fetched at start, two payrolls of March,
    // all checks.
    TQBChecksExportFrm& checks = *window.QBChecksExportFrame;
    QCOMPARE(checks.SourceTab(), rstDirectConnection);
    QTRY_COMPARE(checks.QBParamFrame->bbGetAccountList->text(), u"Refresh Account list"_s);
    checks.QBParamFrame->SetParam(
        {false, u"Payroll Checking"_s, u"Payroll Liabilities:Net Pay Clearing"_s, true, true});
    QVERIFY(checks.QBParamFrame->AccountsChosen());
    ChoosePayrolls(checks, {10091, 10121});
    checks.OrvOptionsFrame->rbAll->click();
    const QStringList first = Run(checks);
    QCOMPARE(first.size(), 2);
    QVERIFY2(first[0].startsWith(u"Orvane Employee Checks Export successfully completed: 12 "
                                 u"checks added"_s),
             qPrintable(first[0]));
    QVERIFY2(first[1].startsWith(u"Orvane Agency Checks Export successfully completed: 3 checks "
                                 u"added"_s),
             qPrintable(first[1]));
    const int checksAdded = Transactions(u"Check"_s);
    QCOMPARE(checksAdded, 6 + 6 + 3);
    QVERIFY(checks.LogText().contains(u"Orvane Agency Checks Export"_s));
    // Run again: every check is there already, and the boxes say so.
    const QStringList rerun = Run(checks);
    QCOMPARE(rerun.size(), 2);
    QVERIFY2(rerun[0].contains(u": 0 checks added"_s) &&
                 rerun[0].contains(u"12 checks already existed"_s),
             qPrintable(rerun[0]));
    QCOMPARE(Transactions(u"Check"_s), checksAdded);
    QCOMPARE(m_sandbox.LiveTasks(), 0);
    QCOMPARE(m_sandbox.Sessions(), 0);

    // Print Checks: the employee and the agency report on pages of their own.
    const QString pdf = m_scene.Dir.filePath(u"checks.pdf"_s);
    m_boxes->AnswerNextPrintDialog(pdf);
    checks.UpdateActions();
    checks.btnPrintReport->click();
    const QStringList pages = PdfText(pdf).split(u'\f', Qt::SkipEmptyParts);
    QVERIFY2(pages.size() >= 2, qPrintable(QString::number(pages.size())));
    QVERIFY(pages.first().contains(u"Orvane Employee Checks report:"_s));
    QVERIFY(!pages.first().contains(u"Orvane Agency Checks report:"_s));
    int agencyPage = -1;
    for (int i = 0; i < pages.size(); ++i)
        if (pages[i].contains(u"Orvane Agency Checks report:"_s))
            agencyPage = i;
    QVERIFY(agencyPage > 0);
    QVERIFY(pages[agencyPage].trimmed().startsWith(u"Orvane Agency Checks report:"_s));

    // The GL page: both payrolls of 3/8/2024, one journal entry.
    TQBGLExportFrm& gl = *window.QBGLExportFrame;
    ChoosePayrolls(gl, {10091, 10092});
    QCOMPARE(Run(gl), QStringList{u"Orvane Journal Export completed"_s});
    QCOMPARE(Transactions(u"JournalEntry"_s), 1);
    QVERIFY(gl.ReportText().contains(u"\r\n"_s));
    // Run again: the date has an entry; the user answers No.
    m_boxes->AnswerNextBox(QMessageBox::No);
    const QStringList again = Run(gl);
    QCOMPARE(again.size(), 2);
    QVERIFY(again[0].startsWith(u"Journal Entry with Date = 3/8/2024 already exists."_s));
    QCOMPARE(again[1], u"Operation was aborted by user."_s);
    QCOMPARE(Transactions(u"JournalEntry"_s), 1);

    // A slow report: the user cancels and confirms; the server task goes,
    // and the user is told.
    m_sandbox.Control(u"sandbox.setTaskDelay"_s, [](IRpcFunction& f) { f.AddItem(3600); });
    m_boxes->AnswerNextBox(QMessageBox::Yes);
    int cancelled = 0;
    auto cancel = CancelOnceTheTaskRuns(m_sandbox, cancelled);
    QCOMPARE(Run(gl), (QStringList{u"Cancel?"_s, u"Orvane Journal Export was cancelled: nothing "
                                                 u"was posted"_s}));
    cancel.reset();
    QCOMPARE(cancelled, 1);
    QCOMPARE(m_sandbox.LiveTasks(), 0);
    QVERIFY(m_sandbox.CalledMethods().contains(u"orv.taskQueue.deleteTask"_s));
    QVERIFY(gl.LogText().contains(u"User cancelled operation"_s));
    QCOMPARE(Transactions(u"JournalEntry"_s), 1);

    // The report arrives while "Cancel?" is open, and the user answers Yes:
    // the answer wins, nothing is posted.
    SelectPayrolls(*checks.PayrollFrame, {10101}); // not exported before
    checks.OrvOptionsFrame->rbEmployee->click();
    const auto fetched = [this] {
        return m_sandbox.CalledMethods().count(u"orv.taskQueue.getReport"_s);
    };
    const qsizetype fetchedBefore = fetched();
    m_boxes->AnswerNextBoxWith([this] {
        // While the user thinks it over, the report is done and fetched.
        m_sandbox.Control(u"sandbox.finishTasks"_s);
        QTest::qWaitFor([this] { return m_sandbox.LiveTasks() == 0; }, 60000);
        return QMessageBox::Yes;
    });
    cancelled = 0;
    cancel = CancelOnceTheTaskRuns(m_sandbox, cancelled);
    QCOMPARE(Run(checks), (QStringList{u"Cancel?"_s, u"Orvane Employee Checks Export was "
                                                     u"cancelled: nothing was posted"_s}));
    cancel.reset();
    QCOMPARE(fetched(), fetchedBefore + 1);
    QCOMPARE(Transactions(u"Check"_s), checksAdded);
    QVERIFY(checks.LogText().contains(u"User cancelled operation"_s));
    QCOMPARE(m_sandbox.LiveTasks(), 0);
}

int main(int argc, char** argv) {
    TOrvqApplication app(argc, argv);
    TestGuiEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gui_endtoend.moc"
