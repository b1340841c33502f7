// The Bureau tab of the main window: the company map read when the tab
// opens, a row of a company picked from the service's list refused when its
// company file lacks an account, saved when it holds both and not saved
// over by a new row of the same company, then "Preview bureau" and "Run
// bureau" (asked first, No by default) against the sandbox payroll service
// with the report across companies shown and printed; the export pages keep
// naming their own company.
#include "MainWindowScene.h"
#include "OrvTestSupport.h"
#include "TestSupport.h"

#include "company/QBSandboxCompany.h"
#include "ui/BureauFrame.h"
#include "ui/OrvAPIConnectionParamFrame.h"
#include "ui/QBChecksExportFrame.h"
#include "ui/QBGLExportFrame.h"
#include "ui/UserDialogBoxes.h"
#include "ui/dbcomp.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTextBrowser>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestBureauTab : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void mapEditedThenRun();
};

void TestBureauTab::mapEditedThenRun() {
    orvtest::TSandboxService service;
    QString error;
    if (!service.Start(&error))
        QSKIP(qPrintable(error));
    TWindowScene scene;
    scene.CreateCompany();
    TPreAnsweredDialogs boxes;
    TExportPageServices services;
    const IRedirectionPtr certificates = service.Environment().Redirection;
    services.Redirection = [certificates] { return certificates; };
    services.ReportPollIntervalMs = 5;
    TMainFm window(scene.Options(), services);
    window.OrvFrame->SetParam(service.Param());
    // The pages name their company from the start; the bureau's row goes
    // into a company file of its own.
    QLabel& pageLine = *window.QBChecksExportFrame->lblCompany;
    QTRY_VERIFY_WITH_TIMEOUT(!pageLine.text().isEmpty(), 30000);
    const QString line = pageLine.text();
    QVERIFY2(line.startsWith(u"QuickBooks company: Harbor Lane Bakery (demo)"_s), qPrintable(line));
    QCOMPARE(window.QBGLExportFrame->lblCompany->text(), line);
    QCOMPARE(window.lblQBCompany->text(), line);
    const QString deli = scene.Dir.filePath(u"deli.qbsb"_s);
    CreateSandboxCompany(deli, qEnvironmentVariable("ORVQ_SOURCE_DIR") + u"/data/demo"_s);
    {
        TQBSandboxCompany company(deli, false);
        company.Begin();
        company.SetCompanyName(u"Second Street Deli"_s);
        company.Commit();
    }
    TBureauFrm& bureau = *window.BureauFrame;
    QSignalSpy loaded(&bureau, &TBureauFrm::MapLoaded);
    window.PageControl1->setCurrentWidget(window.TabSheet6);
    QVERIFY(loaded.wait(30000));
    QCOMPARE(bureau.MapGrid->model()->rowCount(), 0);

    // The Orvane company is picked from the service's list by its name.
    QSignalSpy companies(&bureau, &TBureauFrm::CompaniesLoaded);
    bureau.GetCompaniesAction->trigger();
    QVERIFY(companies.wait(30000));
    const int bakery = bureau.cbCompany->findData(u"34"_s);
    QVERIFY(bakery >= 0 && bureau.cbCompany->findData(u"51"_s) >= 0); // of both clients
    const QString bakeryText = bureau.cbCompany->itemText(bakery);
    QVERIFY2(bakeryText.startsWith(u"Harbor Lane Bakery"_s) &&
                 bakeryText.endsWith(u"(Orvane 34)"_s),
             qPrintable(bakeryText));
    bureau.cbCompany->setCurrentIndex(bakery);
    bureau.StartRow(u"34"_s);
    // The company file comes from the file dialog.
    boxes.AnswerNextFileDialog(deli);
    bureau.BrowseFileAction->trigger();
    QCOMPARE(bureau.edCompanyFile->text(), QDir::toNativeSeparators(deli));
    QSignalSpy accounts(&bureau, &TBureauFrm::AccountsLoaded);
    bureau.UpdateActions();
    bureau.FetchAccountsAction->trigger();
    QVERIFY(accounts.wait(30000));
    QVERIFY(bureau.cbCashAccount->findText(u"Payroll Checking"_s) >= 0);

    // Refused with the reason, and not stored.
    bureau.cbCashAccount->setCurrentText(u"Petty Cash Box"_s);
    bureau.cbLiabilityAccount->setCurrentText(u"Payroll Liabilities:Net Pay Clearing"_s);
    bureau.cbChecksKind->setCurrentIndex(1);
    QSignalSpy rowEnded(&bureau, &TBureauFrm::RowEnded);
    bureau.UpdateActions();
    bureau.SaveRowAction->trigger();
    QVERIFY(rowEnded.wait(30000));
    QVERIFY(loaded.wait(30000));
    QVERIFY2(boxes.BoxTexts().value(0).contains(u"the cash account \"Petty Cash Box\" is not in"_s),
             qPrintable(boxes.BoxTexts().join(u'|')));
    QCOMPARE(bureau.MapGrid->model()->rowCount(), 0);

    bureau.cbCashAccount->setCurrentText(u"Payroll Checking"_s);
    bureau.UpdateActions();
    bureau.SaveRowAction->trigger();
    QVERIFY(rowEnded.wait(30000));
    QVERIFY(loaded.wait(30000));
    QCOMPARE(bureau.MapGrid->model()->rowCount(), 1);
    // Both companies by name.
    const auto cell = [&bureau](int column) {
        return bureau.MapGrid->model()->index(0, column).data().toString();
    };
    QCOMPARE(cell(0), bakeryText);
    QCOMPARE(cell(1), u"Second Street Deli"_s);

    // A new row of a company mapped already is refused, not saved over it.
    const qsizetype before = boxes.Boxes().size();
    bureau.StartRow(u"34"_s);
    bureau.edCompanyFile->setText(scene.CompanyFile());
    bureau.cbCashAccount->setCurrentText(u"Payroll Checking"_s);
    bureau.cbLiabilityAccount->setCurrentText(u"Payroll Liabilities:Net Pay Clearing"_s);
    bureau.UpdateActions();
    bureau.SaveRowAction->trigger();
    QVERIFY(rowEnded.wait(30000));
    QVERIFY(loaded.wait(30000));
    QCOMPARE(boxes.BoxTexts().mid(before),
             QStringList{u"Orvane company 34 is in the company map already."_s});
    QCOMPARE(cell(1), u"Second Street Deli"_s);

    // 3/8/2024: two payrolls of company 34.
    bureau.edFrom->setDate(QDate(2024, 3, 8));
    bureau.edTo->setDate(QDate(2024, 3, 8));
    QSignalSpy ended(&bureau, &TBureauFrm::BureauEnded);
    bureau.UpdateActions();
    QVERIFY(bureau.PreviewAction->isEnabled());
    bureau.PreviewAction->trigger();
    QVERIFY(ended.wait(120000));
    TSbTxnFilter checks;
    checks.Type = u"Check"_s;
    QCOMPARE(int(TQBSandboxCompany(deli, false).Txns(checks).size()), 0);
    QVERIFY2(bureau.ReportView->toPlainText().contains(u"Preview, nothing was posted: "_s),
             qPrintable(bureau.ReportView->toPlainText()));
    const int toAdd = BureauTotals(bureau.LastRun()).ChecksAdded;

    bureau.UpdateActions();
    QVERIFY(bureau.RunAction->isEnabled());
    // Enter answers the question No: nothing runs.
    const qsizetype asked = boxes.Boxes().size();
    bureau.RunAction->trigger();
    QCOMPARE(boxes.Boxes().size(), asked + 1);
    QCOMPARE(boxes.Boxes().last().Text,
             u"Post the new payrolls of 1 company into their QuickBooks files?"_s);
    QCOMPARE(boxes.Boxes().last().DefaultButton, QMessageBox::No);
    QVERIFY(!window.Runs().Busy());
    boxes.AnswerNextBox(QMessageBox::Yes);
    bureau.RunAction->trigger();
    QVERIFY(ended.wait(120000));
    QCOMPARE(bureau.LastRun().size(), 1);
    QCOMPARE(BureauTotals(bureau.LastRun()).PayrollsExported, 2);
    QVERIFY2(bureau.ReportView->toPlainText().contains(u"nothing needs attention"_s),
             qPrintable(bureau.ReportView->toPlainText()));
    QCOMPARE(BureauTotals(bureau.LastRun()).ChecksAdded, toAdd);
    QCOMPARE(int(TQBSandboxCompany(deli, false).Txns(checks).size()), toAdd);
    QCOMPARE(pageLine.text(), line);
    QCOMPARE(window.QBGLExportFrame->lblCompany->text(), line);
    QCOMPARE(window.lblQBCompany->text(), line);
    bureau.UpdateActions();
    QVERIFY(bureau.PrintReportAction->isEnabled());
    // Printed through the print dialog, which can make a PDF of it.
    const QString pdf = scene.Dir.filePath(u"bureau.pdf"_s);
    boxes.AnswerNextPrintDialog(pdf);
    bureau.PrintReportAction->trigger();
    QVERIFY(testsupport::ReadFile(pdf).startsWith("%PDF"));
}

QTEST_MAIN(TestBureauTab)
#include "tst_bureautab.moc"
