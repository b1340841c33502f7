// The export pages in the main window: when each action is enabled, what
// Run leaves for printing, a preview shown in its grid and then posted, the
// option panels' rules, and the option groups and periods kept across a
// restart.
#include "MainWindowScene.h"
#include "RecordingLogSink.h"

#include "base/RegionalSettings.h"
#include "base/vlxErrorDisplay.h"
#include "company/QBSandboxCompany.h"
#include "ledger/RunLedger.h"
#include "runs/AccountListRun.h"
#include "settings/OrvConnectionParam.h"
#include "ui/FileOpenFrame.h"
#include "ui/OrvAPIConnectionParamFrame.h"
#include "ui/OrvOptionsFrame.h"
#include "ui/OrvPayrollFilterFrame.h"
#include "ui/OrvqApplication.h"
#include "ui/QBChecksExportFrame.h"
#include "ui/QBChecksExportParamFrame.h"
#include "ui/QBGLExportFrame.h"
#include "ui/QBGLExportParamFrame.h"
#include "ui/RunPreviewDialog.h"
#include "ui/UserDialogBoxes.h"
#include "ui/dbcomp.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString Cash = u"Payroll Checking"_s;
const QString Liability = u"Payroll Liabilities:Net Pay Clearing"_s;

// Waits for the account list fetched at start.
bool AccountListFetched(TQBChecksExportFrm& page) {
    return QTest::qWaitFor(
        [&] { return page.QBParamFrame->bbGetAccountList->text() == u"Refresh Account list"_s; });
}

// The agency checks sample on the file tab with the demo accounts, once the
// account list fetched at start is in.
bool SampleChosen(TQBChecksExportFrm& checks) {
    if (!AccountListFetched(checks))
        return false;
    checks.QBParamFrame->SetParam({false, Cash, Liability, false, true});
    checks.FileOpenFrame->SetFileName(qEnvironmentVariable("ORVQ_SOURCE_DIR") +
                                      u"/data/samples/s1911-sample.txt"_s);
    checks.UpdateActions();
    return true;
}

// Triggers the page's Run and waits until the run is over.
bool RunToEnd(TQBExportBaseFrm& page) {
    QSignalSpy ended(&page, &TQBExportBaseFrm::RunEnded);
    page.RunAction->trigger();
    return ended.wait(60000);
}

// Runs the message loop until it has nothing left to do, once.
void LetTheLoopIdle() {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

class TestExportPages : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void actionsEnabled_data();
    void actionsEnabled();
    void runLeavesReportAndLog();
    void previewThenPost();
    void questionBoxEnterIsNo();
    void guardQuestion_data();
    void guardQuestion();
    void checksPanelKeepsTheRecord();
    void accountListFailureKeepsTheLists();
    void glTagParsing_data();
    void glTagParsing();
    void optionsKeptAcrossRestart();
    void fileFilter();

private:
    TWindowScene m_scene;
};

void TestExportPages::initTestCase() {
    QVERIFY(m_scene.Dir.isValid());
    m_scene.CreateCompany();
}

void TestExportPages::actionsEnabled_data() {
    QTest::addColumn<bool>("complete");
    QTest::addColumn<bool>("fileChosen");
    QTest::addColumn<QString>("cashAccount");
    QTest::addColumn<bool>("glRun");
    QTest::addColumn<bool>("checksRun");
    // Incomplete settings open the file tab; complete ones the direct tab,
    // where nothing is loaded yet.
    QTest::newRow("no settings, no file") << false << false << Cash << false << false;
    QTest::newRow("no settings, file") << false << true << Cash << true << true;
    QTest::newRow("file, account QuickBooks lacks") << false << true << u"Gone"_s << true << false;
    QTest::newRow("settings, no payroll list") << true << false << Cash << false << false;
}

void TestExportPages::actionsEnabled() {
    QFETCH(bool, complete);
    QFETCH(bool, fileChosen);
    QFETCH(QString, cashAccount);
    QFETCH(bool, glRun);
    QFETCH(bool, checksRun);
    QFile::remove(m_scene.StoreFile());
    if (complete)
        SaveConnectionParam({u"127.0.0.1"_s, 9943, u"demo"_s, u"demo"_s, true}, *m_scene.Store(),
                            QString());
    TMainFm window(m_scene.Options());
    TQBGLExportFrm& gl = *window.QBGLExportFrame;
    TQBChecksExportFrm& checks = *window.QBChecksExportFrame;
    QVERIFY(AccountListFetched(checks));
    checks.QBParamFrame->SetParam({false, cashAccount, Liability, false, true});
    for (TQBExportBaseFrm* page :
         {static_cast<TQBExportBaseFrm*>(&gl), static_cast<TQBExportBaseFrm*>(&checks)}) {
        QCOMPARE(page->SourceTab(), complete ? rstDirectConnection : rstFile);
        if (fileChosen)
            page->FileOpenFrame->SetFileName(u"  report.csv "_s);
        page->UpdateActions();
        QCOMPARE(page->ConnectToOrv->isEnabled(), complete);
        QCOMPARE(page->btnConnectToOrv->isEnabled(), complete);
        QVERIFY(!page->PrintReportAction->isEnabled() && !page->PrintLogAction->isEnabled());
    }
    QCOMPARE(gl.RunAction->isEnabled(), glRun);
    QCOMPARE(checks.RunAction->isEnabled(), checksRun);
    QCOMPARE(checks.btnRun->isEnabled(), checksRun);

    // Completing the settings enables the list action at the next idle
    // moment, without switching the source tab.
    window.OrvFrame->SetParam({u"127.0.0.1"_s, 9943, u"demo"_s, u"demo"_s, true});
    LetTheLoopIdle();
    QVERIFY(gl.ConnectToOrv->isEnabled());
    QCOMPARE(gl.SourceTab(), complete ? rstDirectConnection : rstFile);
}

void TestExportPages::runLeavesReportAndLog() {
    QFile::remove(m_scene.StoreFile());
    TPreAnsweredDialogs boxes;
    TMainFm window(m_scene.Options());
    TQBChecksExportFrm& checks = *window.QBChecksExportFrame;
    QVERIFY(AccountListFetched(checks));
    checks.QBParamFrame->SetParam({false, Cash, Liability, false, true});
    // A checks file that is no report: it is titled in the report text,
    // the parse fails, and the run's log is left for printing.
    const QString file = m_scene.Dir.filePath(u"bad.csv"_s);
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("not a report\r\n");
    }
    boxes.AnswerNextFileDialog(file);
    checks.FileOpenFrame->FileOpen1->trigger();
    QCOMPARE(checks.FileName(), file);
    QCOMPARE(boxes.FileDialogCaptions(), QStringList{u"Open"_s});
    checks.UpdateActions();
    QVERIFY(RunToEnd(checks));
    QVERIFY(checks.ReportText().startsWith(u"Orvane Checks report:\r\nnot a report"_s));
    QVERIFY(checks.LogText().contains(u"Orvane Checks Export failed"_s));
    // Only the run's lines: not the start-up's.
    QVERIFY(!checks.LogText().contains(u"1.4.0.2859 started"_s));
    checks.UpdateActions();
    QVERIFY(checks.PrintReportAction->isEnabled() && checks.PrintLogAction->isEnabled());
    QCOMPARE(boxes.Boxes().size(), 1);
    QCOMPARE(boxes.Boxes()[0].Icon, QMessageBox::Critical);

    // The GL page on an empty file: no report to print, but the log.
    TQBGLExportFrm& gl = *window.QBGLExportFrame;
    const QString empty = m_scene.Dir.filePath(u"empty.csv"_s);
    QFile(empty).open(QIODevice::WriteOnly);
    gl.FileOpenFrame->SetFileName(empty);
    gl.UpdateActions();
    QVERIFY(RunToEnd(gl));
    QCOMPARE(boxes.BoxTexts().last(), u"Orvane Journal is empty."_s);
    gl.UpdateActions();
    QVERIFY(!gl.PrintReportAction->isEnabled());
    QVERIFY(gl.PrintLogAction->isEnabled());
    // A cancelled print dialog prints nothing.
    gl.PrintLogAction->trigger();
    QCOMPARE(boxes.PrintDialogCount(), 1);
}

void TestExportPages::previewThenPost() {
    QFile::remove(m_scene.StoreFile());
    QFile::remove(m_scene.CompanyFile());
    m_scene.CreateCompany();
    TPreAnsweredDialogs boxes;
    TMainFm window(m_scene.Options());
    TQBChecksExportFrm& checks = *window.QBChecksExportFrame;
    QVERIFY(SampleChosen(checks));
    QVERIFY(checks.PreviewAction->isEnabled());
    QSignalSpy shown(&checks, &TQBExportBaseFrm::PreviewShown);
    checks.PreviewAction->trigger();
    QVERIFY(shown.wait(60000));
    TRunPreviewDlg* dialog = checks.PreviewDialog();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->Grid->model()->rowCount(), 4);
    QVERIFY2(dialog->lblTotals->text().contains(u"4 would add"_s),
             qPrintable(dialog->lblTotals->text()));
    // No problem: said in the grid's place.
    dialog->cbProblemsOnly->setChecked(true);
    QCOMPARE(dialog->Grid->model()->rowCount(), 0);
    QVERIFY(dialog->Grid->isHidden() && dialog->lblNoProblems->isVisible());
    QCOMPARE(dialog->lblNoProblems->text(), u"No record has a problem."_s);
    dialog->cbProblemsOnly->setChecked(false);
    QVERIFY(dialog->Grid->isVisible() && dialog->lblNoProblems->isHidden());
    QVERIFY2(checks.lblCompany->text().startsWith(u"QuickBooks company: "_s),
             qPrintable(checks.lblCompany->text()));
    QCOMPARE(window.lblQBCompany->text(), checks.lblCompany->text());
    QCOMPARE(window.QBGLExportFrame->lblCompany->text(), checks.lblCompany->text());
    QCOMPARE(boxes.Boxes().size(), 0);
    TSbTxnFilter filter;
    filter.Type = u"Check"_s;
    QCOMPARE(TQBSandboxCompany(m_scene.CompanyFile(), false).Txns(filter).size(), size_t(0));

    QSignalSpy ended(&checks, &TQBExportBaseFrm::RunEnded);
    dialog->btnPost->click();
    QVERIFY(ended.wait(60000));
    QCOMPARE(TQBSandboxCompany(m_scene.CompanyFile(), false).Txns(filter).size(), size_t(4));
    QVERIFY2(boxes.BoxTexts().value(0).contains(u"4 checks added"_s),
             qPrintable(boxes.BoxTexts().join(u'\n')));
}

// The box as the user gets it: Enter and Escape answer No, the check box
// starts unchecked.
void TestExportPages::questionBoxEnterIsNo() {
    for (const int key : {Qt::Key_Return, Qt::Key_Escape}) {
        const std::unique_ptr<QMessageBox> box =
            NewMessageBox(nullptr, {QMessageBox::Question, u"Orvane QB Export"_s, u"Post anyway?"_s,
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
                                    u"From now on post it into this company"_s});
        QVERIFY(box->checkBox() && !box->checkBox()->isChecked());
        QCOMPARE(box->checkBox()->text(), u"From now on post it into this company"_s);
        box->open();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : box.get(),
                        Qt::Key(key));
        QCOMPARE(box->clickedButton(), box->button(QMessageBox::No));
    }
}

void TestExportPages::guardQuestion_data() {
    QTest::addColumn<int>("answer"); // none: Enter
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("paired");
    const QString harbor = u"Harbor Lane Bakery (demo)"_s;
    QTest::newRow("Enter") << int(QMessageBox::NoButton) << false << harbor;
    QTest::newRow("No") << int(QMessageBox::No) << true << harbor;
    QTest::newRow("Yes: this run only") << int(QMessageBox::Yes) << false << harbor;
    QTest::newRow("Yes, from now on") << int(QMessageBox::Yes) << true << u"Second Street Deli"_s;
}

// The company guard's question in the window: No by default, a check box
// that alone moves the pairing, and the page naming the company it found.
void TestExportPages::guardQuestion() {
    QFETCH(int, answer);
    QFETCH(bool, checked);
    QFETCH(QString, paired);
    TWindowScene scene;
    scene.CreateCompany();
    TPreAnsweredDialogs boxes;
    TMainFm window(scene.Options());
    TQBChecksExportFrm& checks = *window.QBChecksExportFrame;
    QVERIFY(SampleChosen(checks));
    QVERIFY(RunToEnd(checks));
    {
        TQBSandboxCompany company(scene.CompanyFile(), false);
        company.Begin();
        company.SetCompanyName(u"Second Street Deli"_s);
        company.Commit();
    }
    const qsizetype before = boxes.Boxes().size();
    if (answer != QMessageBox::NoButton)
        boxes.AnswerNextBox(QMessageBox::StandardButton(answer), checked);
    QVERIFY(RunToEnd(checks));
    QCOMPARE(boxes.Boxes().size(), before + 2); // the question, the end
    const TMessageBoxRequest& question = boxes.Boxes()[before];
    QVERIFY2(question.Text.endsWith(u"the open company is 'Second Street Deli'. Post anyway?"_s),
             qPrintable(question.Text));
    QCOMPARE(question.Buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.DefaultButton, QMessageBox::No);
    QCOMPARE(question.CheckBox,
             u"From now on post the report file s1911-sample.txt into this company"_s);
    const bool posted = answer == QMessageBox::Yes;
    QCOMPARE(boxes.BoxTexts().last().contains(u"Nothing was posted."_s), !posted);
    TLedgerLocation ledger;
    ledger.FilePath = scene.LedgerFile();
    QCOMPARE(TRunLedger(ledger, {}).Pairings().value(0).Target.CompanyName, paired);
    QVERIFY2(checks.lblCompany->text().startsWith(u"QuickBooks company: Second Street Deli"_s),
             qPrintable(checks.lblCompany->text()));
}

void TestExportPages::checksPanelKeepsTheRecord() {
    TRecordingLogger log;
    TQBChecksExportParamFrm panel;
    TQBChecksExportParam stored{true, u"payroll CHECKING"_s, u"Gone Account"_s, true, false};
    stored.BatchSize = 7;
    panel.SetParam(stored);
    QVERIFY(!panel.AccountsChosen());
    // The names as the page's run fetches them.
    TAccountListRun fetch;
    TRunContext context;
    context.Logger = log.LoggerPtr();
    TQBConnectionConfig config;
    config.Processor.Factory = &CreateSandboxRequestProcessor;
    config.Processor.CompanyFile = m_scene.CompanyFile();
    context.ConnectQB = QBConnectionFactory(config);
    fetch.FetchAccountList(context);
    panel.SetAccountNames(fetch.AccountNames());
    QCOMPARE(panel.bbGetAccountList->text(), u"Refresh Account list"_s);
    QVERIFY(panel.cbCashAccount->count() > 2);
    QCOMPARE(panel.cbLiabilityAccount->count(), panel.cbCashAccount->count());
    // Re-selected regardless of case; the missing name selects nothing and
    // both stay in the record as stored.
    QCOMPARE(panel.cbCashAccount->currentText(), Cash);
    QCOMPARE(panel.cbLiabilityAccount->currentIndex(), -1);
    QVERIFY(!panel.AccountsChosen());
    QCOMPARE(panel.GetParam(), stored);
    QVERIFY(panel.cbCleared->isChecked() && panel.cbIncludeDD->isChecked());
    QVERIFY(!panel.cbIncludeEENames->isChecked());

    // The user's choices reach the record at once.
    panel.cbLiabilityAccount->setFocus();
    QTest::keyClick(panel.cbLiabilityAccount, Qt::Key_Down);
    QVERIFY(panel.AccountsChosen());
    QCOMPARE(panel.GetParam().LiabilityAccount, panel.cbLiabilityAccount->currentText());
    panel.cbIncludeEENames->click();
    panel.cbCleared->click();
    QVERIFY(panel.GetParam().IncludeEENames);
    QVERIFY(!panel.GetParam().Clear);
    QCOMPARE(panel.GetParam().BatchSize, 7);
}

void TestExportPages::accountListFailureKeepsTheLists() {
    TPreAnsweredDialogs boxes;
    int attempts = 0;
    TExportPageServices services;
    services.Connect = [&](const ICommonLoggerPtr&) -> std::unique_ptr<TQBConnection> {
        ++attempts;
        throw EztException(u"QuickBooks is not running"_s);
    };
    TMainFm window(m_scene.Options(), services);
    TQBChecksExportFrm& page = *window.QBChecksExportFrame;
    TQBChecksExportParamFrm& panel = *page.QBParamFrame;
    // The fetch at start fails as the click's does.
    QSignalSpy ended(&page, &TQBChecksExportFrm::AccountListEnded);
    QVERIFY(ended.wait(60000));
    panel.cbCashAccount->addItems({u"Old cash"_s});
    panel.cbLiabilityAccount->addItems({u"Old liability"_s});
    panel.bbGetAccountList->click();
    QVERIFY(ended.wait(60000));
    QCOMPARE(attempts, 2);
    QCOMPARE(boxes.BoxTexts(), QStringList(2, u"QuickBooks is not running."_s));
    QCOMPARE(panel.cbCashAccount->itemText(0), u"Old cash"_s);
    QCOMPARE(panel.cbLiabilityAccount->itemText(0), u"Old liability"_s);
    QCOMPARE(panel.bbGetAccountList->text(), u"Get Account list"_s);
}

void TestExportPages::glTagParsing_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("selected"); // the button's caption, or none
    QTest::addColumn<int>("read");
    QTest::newRow("don't parse") << 0 << u"Don't parse"_s << 0;
    QTest::newRow("class") << 1 << u"Assign Class"_s << 1;
    QTest::newRow("customer") << 2 << u"Assign Customer"_s << 2;
    QTest::newRow("out of range") << 7 << QString() << 0;
}

void TestExportPages::glTagParsing() {
    QFETCH(int, value);
    QFETCH(QString, selected);
    QFETCH(int, read);
    TQBGLExportParamFrm panel;
    // As designed: full names, no parsing button selected.
    QVERIFY(panel.rbAccountFullNames->isChecked());
    QVERIFY(!panel.rbDontParse->isChecked() && !panel.rbAssignClass->isChecked());
    QCOMPARE(panel.edtDelimiter->text(), u"-"_s);
    panel.rbAssignCustomer->click();
    TQBGLExportParam param;
    param.GLTagParsing = TGLTagParsing(value);
    panel.SetParam(param);
    QStringList checked;
    for (QRadioButton* button : {panel.rbAssignClass, panel.rbAssignCustomer, panel.rbDontParse})
        if (button->isChecked())
            checked << button->text();
    QCOMPARE(checked, selected.isEmpty() ? QStringList() : QStringList{selected});
    QCOMPARE(int(panel.GetParam().GLTagParsing), read);
    // The buttons stay one group after an out-of-range value.
    panel.rbAssignClass->click();
    panel.rbDontParse->click();
    QVERIFY(!panel.rbAssignClass->isChecked());
    // No control disables another; an empty delimiter is read as such.
    QVERIFY(panel.edtDelimiter->isEnabled());
    panel.edtDelimiter->clear();
    QCOMPARE(panel.GetParam().DelimiterInGLTag, QString());
}

void TestExportPages::optionsKeptAcrossRestart() {
    QFile::remove(m_scene.StoreFile());
    // The batch size is read but never written by the program.
    m_scene.Store()->SetAsInteger(u"QBChecksExportOptions\\BatchSize"_s, 7);
    TQBGLExportParam gl;
    gl.Clear = true;
    gl.UseAccountNumbers = false;
    gl.GLTagParsing = gtpAssignName;
    gl.DelimiterInGLTag = u"/"_s;
    gl.ExcludeManualChecks = false;
    gl.SplitBillingByDBDT = true;
    const TQBChecksExportParam checks{true, u"Not In QuickBooks"_s, Liability, true, false, 7};
    const TOrvPayrollPeriod glPeriod{QDateTime(QDate(2024, 3, 1), QTime(0, 0)),
                                     QDateTime(QDate(2024, 3, 31), QTime(23, 59))};
    const TOrvPayrollPeriod checksPeriod{QDateTime(QDate(2023, 2, 5), QTime(0, 0)),
                                         QDateTime(QDate(2024, 1, 9), QTime(23, 59))};
    {
        TMainFm window(m_scene.Options());
        // A store without periods (a first start): the defaults, silently.
        QCOMPARE(LoggedCaptions(window).filter(u"is not a valid date"_s), QStringList());
        QCOMPARE(window.QBGLExportFrame->PayrollFilterFrame->Period().From,
                 DefaultPayrollPeriod().From);
        QVERIFY(AccountListFetched(*window.QBChecksExportFrame));
        window.QBGLExportFrame->QBParamFrame->SetParam(gl);
        window.QBGLExportFrame->PayrollFilterFrame->SetPeriod(glPeriod);
        window.QBChecksExportFrame->QBParamFrame->SetParam(checks);
        window.QBChecksExportFrame->OrvOptionsFrame->rbAgency->click();
        window.QBChecksExportFrame->PayrollFilterFrame->SetPeriod(checksPeriod);
    }
    const IztSettingsPtr store = m_scene.Store();
    QCOMPARE(store->GetAsString(u"OrvGLExportPayrollFilter\\DateFrom"_s), u"3/1/2024"_s);
    QCOMPARE(store->GetAsInteger(u"QBChecksExportOptions\\BatchSize"_s), 7);
    QCOMPARE(store->GetAsInteger(u"OrvChecksExportOptions\\Kind"_s), int(crcAgencyChecks));

    {
        TMainFm window(m_scene.Options());
        QCOMPARE(LoggedCaptions(window).count(u"'' is not a valid date"_s), 0);
        QCOMPARE(window.QBGLExportFrame->QBParamFrame->GetParam(), gl);
        QCOMPARE(window.QBChecksExportFrame->QBParamFrame->GetParam(), checks);
        QCOMPARE(window.QBChecksExportFrame->OrvOptionsFrame->Kind(), int(crcAgencyChecks));
        const auto dates = [](const TOrvPayrollFilterFrm& filter) {
            return QList<QDate>{filter.Period().From.date(), filter.Period().To.date()};
        };
        QCOMPARE(dates(*window.QBGLExportFrame->PayrollFilterFrame),
                 (QList<QDate>{QDate(2024, 3, 1), QDate(2024, 3, 31)}));
        QCOMPARE(dates(*window.QBChecksExportFrame->PayrollFilterFrame),
                 (QList<QDate>{QDate(2023, 2, 5), QDate(2024, 1, 9)}));
    }

    // A date written under another locale keeps the default period.
    store->SetAsString(u"OrvGLExportPayrollFilter\\DateTo"_s, u"31.03.2024"_s);
    TMainFm window(m_scene.Options());
    QCOMPARE(LoggedCaptions(window).count(u"'31.03.2024' is not a valid date"_s), 1);
    QCOMPARE(window.QBGLExportFrame->PayrollFilterFrame->Period().From,
             DefaultPayrollPeriod().From);
}

void TestExportPages::fileFilter() {
    QCOMPARE(QtFileFilter(u"GL Journal files (*.csv,*.txt)|*.csv;*.txt"_s),
             u"GL Journal files (*.csv *.txt)"_s);
    QCOMPARE(QtFileFilter(u"Checks files (*.csv)|*.csv|All files|*.*"_s),
             u"Checks files (*.csv);;All files (*.*)"_s);
    // Both pages offer the report files the program comes with (.txt and
    // .csv), and every file.
    TMainFm window(m_scene.Options());
    for (TQBExportBaseFrm* page : {static_cast<TQBExportBaseFrm*>(window.QBGLExportFrame),
                                   static_cast<TQBExportBaseFrm*>(window.QBChecksExportFrame)}) {
        const QStringList offered = QtFileFilter(page->FileOpenFrame->Filter()).split(u";;"_s);
        QCOMPARE(offered.size(), 2);
        QVERIFY2(offered[0].endsWith(u"(*.csv *.txt)"_s), qPrintable(offered[0]));
        QCOMPARE(offered[1], u"All files (*)"_s);
    }
}

int main(int argc, char** argv) {
    TOrvqApplication app(argc, argv);
    TestExportPages test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exportpages.moc"
