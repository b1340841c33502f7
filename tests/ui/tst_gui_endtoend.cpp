// The whole job in the program's window, against the sandbox payroll
// service and a sandbox QuickBooks company: the payroll list of a period,
// two payrolls selected, the checks and the GL export run twice (the second
// run adds nothing), a slow report cancelled, also once it arrived while
// the question was open, and the checks printed. The runs work on the
// window's worker thread: a batched export cancelled between two request
// sets, the window closed during a run, and a payroll call that hangs,
// cancelled.
#include "MainWindowScene.h"
#include "OrvTestSupport.h"

#include "company/QBSandboxCompany.h"
#include "settings/OrvConnectionParam.h"
#include "ui/FileOpenFrame.h"
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
#include <QFile>
#include <QItemSelectionModel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
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

// The wait window of the runs while it is on the screen, else null.
TOrvWaitFm* ShownWaitWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* wait = qobject_cast<TOrvWaitFm*>(widget);
        if (wait && wait->isVisible())
            return wait;
    }
    return nullptr;
}

// Presses Cancel on the wait window once when() holds.
class TCancelWhen : public QObject {
public:
    explicit TCancelWhen(std::function<bool()> when) : m_when(std::move(when)) { startTimer(10); }
    int Pressed = 0;

protected:
    void timerEvent(QTimerEvent*) override {
        TOrvWaitFm* wait = ShownWaitWindow();
        if (wait && !Pressed && m_when()) {
            ++Pressed;
            wait->CancelButton->click();
        }
    }

private:
    std::function<bool()> m_when;
};

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
    void cancelBetweenRequestSets();
    void closeDuringRun();
    void hungCallCancelled();

private:
    TExportPageServices Services() const;
    int Transactions(const QString& type);
    // Loads the page's payroll list of March and selects the payrolls.
    void ChoosePayrolls(TQBExportBaseFrm& page, const QList<int>& prNbrs);
    // Presses the page's Run as a user does; the boxes it showed.
    QStringList Run(TQBExportBaseFrm& page);
    // Boxes of this test alone.
    void AnswerBoxes();
    // Shows the window and waits for the account list fetched at start.
    void Show(TMainFm& window);

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

void TestGuiEndToEnd::AnswerBoxes() {
    m_boxes.reset();
    m_boxes = std::make_unique<TPreAnsweredDialogs>();
}

void TestGuiEndToEnd::Show(TMainFm& window) {
    window.show();
    QTRY_COMPARE(window.QBChecksExportFrame->QBParamFrame->bbGetAccountList->text(),
                 u"Refresh Account list"_s);
}

TExportPageServices TestGuiEndToEnd::Services() const {
    TExportPageServices services;
    const IRedirectionPtr certificates = m_sandbox.Environment().Redirection;
    services.Redirection = [certificates] { return certificates; };
    services.ReportPollIntervalMs = 5;
    return services;
}

void TestGuiEndToEnd::ChoosePayrolls(TQBExportBaseFrm& page, const QList<int>& prNbrs) {
    page.PayrollFilterFrame->SetPeriod(March);
    page.UpdateActions();
    QVERIFY(page.ConnectToOrv->isEnabled());
    QSignalSpy ended(&page, &TQBExportBaseFrm::RunEnded);
    page.btnConnectToOrv->click();
    QVERIFY(ended.wait(60000));
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
    QSignalSpy ended(&page, &TQBExportBaseFrm::RunEnded);
    page.btnRun->click();
    if (!ended.wait(120000))
        return {u"Run did not end"_s};
    return m_boxes->BoxTexts().mid(before);
}

void TestGuiEndToEnd::wholeJob() {
    m_boxes = std::make_unique<TPreAnsweredDialogs>();
    TMainFm window(m_scene.Options(), Services());
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
    QCOMPARE(Run(gl), QStringList{u"Orvane Journal Export completed: 1 journal entry added, 0 already existed"_s});
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
    TCancelWhen cancel([this] { return m_sandbox.LiveTasks() == 1; });
    QCOMPARE(Run(gl), (QStringList{u"Cancel?"_s, u"Orvane Journal Export was cancelled: nothing "
                                                 u"was posted"_s}));
    QCOMPARE(cancel.Pressed, 1);
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
    TCancelWhen cancelAsked([this] { return m_sandbox.LiveTasks() == 1; });
    QCOMPARE(Run(checks), (QStringList{u"Cancel?"_s, u"Orvane Employee Checks Export was "
                                                     u"cancelled: nothing was posted"_s}));
    QCOMPARE(cancelAsked.Pressed, 1);
    QCOMPARE(fetched(), fetchedBefore + 1);
    QCOMPARE(Transactions(u"Check"_s), checksAdded);
    QVERIFY(checks.LogText().contains(u"User cancelled operation"_s));
    QCOMPARE(m_sandbox.LiveTasks(), 0);
}

// A file of twelve checks in sets of three, each set answered after 200 ms:
// Cancel after the first set stops the run at a set boundary. The company
// holds exactly the checks of the sets that were answered, and the summary
// counts them.
void TestGuiEndToEnd::cancelBetweenRequestSets() {
    AnswerBoxes();
    const int before = Transactions(u"Check"_s);
    {
        TQBSandboxCompany company(m_scene.CompanyFile(), false);
        company.SetLatencyMs(200);
    }
    const QString file = m_scene.Dir.filePath(u"twelve.csv"_s);
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        for (int i = 0; i < 12; ++i)
            out.write(QStringLiteral("\"Maria\",A,\"Lopez\",\"Pay\",3/8/2024,%1,10.00\r\n")
                          .arg(700001 + i)
                          .toUtf8());
    }
    TMainFm window(m_scene.Options(), Services());
    Show(window);
    TQBChecksExportFrm& checks = *window.QBChecksExportFrame;
    TQBChecksExportParam options{false, u"Payroll Checking"_s,
                                 u"Payroll Liabilities:Net Pay Clearing"_s, false, false};
    options.BatchSize = 3;
    checks.QBParamFrame->SetParam(options);
    checks.pgSource->setCurrentIndex(rstFile);
    checks.FileOpenFrame->SetFileName(file);
    m_boxes->AnswerNextBox(QMessageBox::Yes);
    TCancelWhen cancel([] {
        return ShownWaitWindow()->Text().contains(u"Creating QuickBooks Transactions: 3 of 12"_s);
    });
    const QStringList boxes = Run(checks);
    QCOMPARE(cancel.Pressed, 1);
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[0], u"Cancel?"_s);
    const int added = Transactions(u"Check"_s) - before;
    QVERIFY2(added > 0 && added < 12 && added % 3 == 0, qPrintable(QString::number(added)));
    QCOMPARE(boxes[1],
             QStringLiteral("Orvane Checks Export cancelled, %1 records not exported: %2 checks "
                            "added, 0 checks voided, 0 deposits added, 0 checks already existed, "
                            "0 checks were already voided, 0 deposits already existed")
                 .arg(12 - added)
                 .arg(added));
    QVERIFY(checks.LogText().contains(u"User cancelled operation"_s));
    TQBSandboxCompany(m_scene.CompanyFile(), false).SetLatencyMs(0);
}

// Closing the window during a run asks first; Yes stops the run (the server
// task goes, nothing is posted) and the window closes once it has.
void TestGuiEndToEnd::closeDuringRun() {
    AnswerBoxes();
    m_sandbox.Control(u"sandbox.setTaskDelay"_s, [](IRpcFunction& f) { f.AddItem(0); });
    TMainFm window(m_scene.Options(), Services());
    Show(window);
    TQBGLExportFrm& gl = *window.QBGLExportFrame;
    ChoosePayrolls(gl, {10091});
    const int entries = Transactions(u"JournalEntry"_s);
    m_sandbox.Control(u"sandbox.setTaskDelay"_s, [](IRpcFunction& f) { f.AddItem(3600); });
    QSignalSpy ended(&gl, &TQBExportBaseFrm::RunEnded);
    gl.UpdateActions();
    gl.btnRun->click();
    QTRY_COMPARE(m_sandbox.LiveTasks(), 1);
    // While a run works the pages are off; the window still answers.
    QVERIFY(!gl.isEnabled());
    m_boxes->AnswerNextBox(QMessageBox::No);
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    m_boxes->AnswerNextBox(QMessageBox::Yes);
    window.close();
    QVERIFY(ended.wait(60000));
    QTRY_VERIFY(!window.isVisible());
    QCOMPARE(m_boxes->BoxTexts(),
             QStringList(2, u"A run is in progress. Stop it and close?"_s)
                 << u"Orvane Journal Export was cancelled: nothing was posted"_s);
    QCOMPARE(m_sandbox.LiveTasks(), 0);
    QCOMPARE(Transactions(u"JournalEntry"_s), entries);
    QVERIFY(gl.LogText().contains(u"User cancelled operation"_s));
    m_sandbox.Control(u"sandbox.setTaskDelay"_s, [](IRpcFunction& f) { f.AddItem(0); });
}

// The service says nothing to a poll for an hour: Cancel gives the call up
// at once (long before any time-out), the task is deleted and nothing is
// posted. Polled without a pause, the run is in that poll by the time the
// task is seen on the service.
void TestGuiEndToEnd::hungCallCancelled() {
    AnswerBoxes();
    TExportPageServices services = Services();
    services.ReportPollIntervalMs = 0;
    TMainFm window(m_scene.Options(), services);
    Show(window);
    TQBGLExportFrm& gl = *window.QBGLExportFrame;
    ChoosePayrolls(gl, {10091});
    const int entries = Transactions(u"JournalEntry"_s);
    m_sandbox.Control(u"sandbox.answerNext"_s, [](IRpcFunction& f) {
        f.AddItem(u"silent"_s);
        f.AddItem(u"orv.taskQueue.isTaskFinished"_s);
        f.AddItem(3600);
    });
    m_boxes->AnswerNextBox(QMessageBox::Yes);
    TCancelWhen cancel([this] { return m_sandbox.LiveTasks() == 1; });
    QCOMPARE(Run(gl), (QStringList{u"Cancel?"_s, u"Orvane Journal Export was cancelled: nothing "
                                                 u"was posted"_s}));
    QCOMPARE(cancel.Pressed, 1);
    QVERIFY(gl.LogText().contains(u"User cancelled operation"_s));
    QCOMPARE(m_sandbox.LiveTasks(), 0);
    QCOMPARE(Transactions(u"JournalEntry"_s), entries);
}

int main(int argc, char** argv) {
    TOrvqApplication app(argc, argv);
    TestGuiEndToEnd test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gui_endtoend.moc"
