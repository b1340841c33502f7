// The History tab of the main window: the ledger's runs listed newest first
// when the tab opens, the selected run's records below, its report printed,
// and "Undo run…" asking through the window's boxes before it deletes; the
// pairing the run made listed and removed after asking.
#include "MainWindowScene.h"
#include "RecordingLogSink.h"

#include "company/QBSandboxCompany.h"
#include "runs/ChecksExportRun.h"
#include "ui/HistoryFrame.h"
#include "ui/QBChecksExportFrame.h"
#include "ui/QBChecksExportParamFrame.h"
#include "ui/UserDialogBoxes.h"
#include "ui/dbcomp.h"

#include <QAction>
#include <QFile>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

int Checks(const TWindowScene& scene) {
    TSbTxnFilter filter;
    filter.Type = u"Check"_s;
    return int(TQBSandboxCompany(scene.CompanyFile(), false).Txns(filter).size());
}

} // namespace

class TestHistoryTab : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void listsRunsAndUndoAsks();
};

void TestHistoryTab::listsRunsAndUndoAsks() {
    TWindowScene scene;
    scene.CreateCompany();
    // A run recorded in the scene's ledger, as the checks page would make it.
    {
        TRecordingLogger log;
        TPreAnsweredDialogs quiet;
        TChecksRunOptions options;
        options.Source.FileName =
            qEnvironmentVariable("ORVQ_SOURCE_DIR") + u"/data/samples/s1911-sample.txt"_s;
        options.Checks.CashAccount = u"Payroll Checking"_s;
        options.Checks.LiabilityAccount = u"Payroll Liabilities:Net Pay Clearing"_s;
        TRunContext context;
        context.Logger = log.LoggerPtr();
        context.Dialogs = std::make_shared<TWindowUserDialogs>(nullptr);
        TAppCore core(scene.Options().Core);
        context.ConnectQB = core.QBConnectionFactory();
        context.OpenLedger = core.LedgerFactory();
        RethrowPostFailure(TChecksExportRun(options).RunChecksExport(context));
    }
    QCOMPARE(Checks(scene), 4);

    TPreAnsweredDialogs boxes;
    TMainFm window(scene.Options());
    THistoryFrm& history = *window.HistoryFrame;
    QSignalSpy records(&history, &THistoryFrm::RecordsLoaded);
    window.PageControl1->setCurrentWidget(window.TabSheet5);
    QVERIFY(records.wait(30000));
    QCOMPARE(history.RunsGrid->model()->rowCount(), 1);
    QCOMPARE(history.RecordsGrid->model()->rowCount(), 4);
    QVERIFY(history.RunsGrid->FilterDlg());
    history.UpdateActions();
    QVERIFY(history.UndoAction->isEnabled() && history.PrintReportAction->isEnabled());

    const QString pdf = scene.Dir.filePath(u"run.pdf"_s);
    boxes.AnswerNextPrintDialog(pdf);
    history.PrintReportAction->trigger();
    QVERIFY(QFileInfo(pdf).size() > 0);

    // No: the question shows what the undo would do, and nothing changes.
    QSignalSpy ended(&history, &THistoryFrm::UndoEnded);
    boxes.AnswerNextBox(QMessageBox::No);
    history.UndoAction->trigger();
    QVERIFY(ended.wait(30000));
    QCOMPARE(boxes.Boxes().size(), 1);
    QCOMPARE(boxes.Boxes().first().DefaultButton, QMessageBox::No); // Enter deletes nothing
    const QString question = boxes.BoxTexts().first();
    // The company, then every transaction it deletes: number, date, payee, amount.
    const QStringList lines = question.split(u'\n');
    QVERIFY2(lines.first().startsWith(u"QuickBooks company: "_s) &&
                 lines.contains(u"Transactions to delete (number, date, payee, amount):"_s) &&
                 question.endsWith(u"Undo the run?"_s),
             qPrintable(question));
    QCOMPARE(
        lines.filter(QRegularExpression(u"^check \\d+, \\d+/\\d+/\\d{4}, .+, [\\d,]+\\.\\d\\d$"_s))
            .size(),
        4);
    QCOMPARE(Checks(scene), 4);

    // Yes: undone on the run thread, then the list read again.
    boxes.AnswerNextBox(QMessageBox::Yes);
    QSignalSpy reloaded(&history, &THistoryFrm::RunsLoaded);
    history.UndoAction->trigger();
    QVERIFY(ended.wait(30000));
    QVERIFY(reloaded.wait(30000));
    QCOMPARE(Checks(scene), 0);
    QVERIFY2(boxes.BoxTexts().last().contains(u"4 transactions deleted"_s),
             qPrintable(boxes.BoxTexts().last()));
    QCOMPARE(history.RunsGrid->model()->rowCount(), 2);
    QVERIFY(history.SelectedRun() && history.SelectedRun()->Kind == lrkUndo); // newest first
    // The run taken back says by which run and when.
    const QAbstractItemModel& runs = *history.RunsGrid->model();
    int state = 0;
    while (state < runs.columnCount() && runs.headerData(state, Qt::Horizontal) != u"State"_s)
        ++state;
    const QString undoneBy =
        u"finished, undone by "_s + history.SelectedRun()->Id.left(8) + u" on "_s;
    QVERIFY2(runs.index(1, state).data().toString().startsWith(undoneBy),
             qPrintable(runs.index(1, state).data().toString()));

    // The report file's first posting paired it with the company.
    QCOMPARE(history.PairingsGrid->model()->rowCount(), 1);
    QVERIFY(history.SelectedPairing() && history.SelectedPairing()->Kind == lpaReportFile);
    QSignalSpy removed(&history, &THistoryFrm::PairingRemoved);
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        // Free once the selected run's records are read.
        QTRY_VERIFY_WITH_TIMEOUT(history.RemovePairingAction->isEnabled(), 30000);
        boxes.AnswerNextBox(answer);
        const qsizetype before = removed.size();
        history.RemovePairingAction->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(removed.size(), before + 1, 30000);
        QVERIFY2(boxes.BoxTexts().last().startsWith(u"Forget that the report file "
                                                    u"s1911-sample.txt was posted into "
                                                    u"QuickBooks company '"_s),
                 qPrintable(boxes.BoxTexts().last()));
    }
    // Read again once the removal's run has ended.
    QTRY_COMPARE_WITH_TIMEOUT(history.PairingsGrid->model()->rowCount(), 0, 30000);
}

QTEST_MAIN(TestHistoryTab)
#include "tst_historytab.moc"
