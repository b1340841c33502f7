// Text from outside shown as it is, never as markup: a QuickBooks company
// named with tags on the company lines of the preview, the export pages and
// the status bar; a stage of the wait windows; a message box.
#include "MainWindowScene.h"
#include "RecordingLogSink.h"

#include "runs/RunThread.h"
#include "ui/FileOpenFrame.h"
#include "ui/OrvWaitForm.h"
#include "ui/OrvqApplication.h"
#include "ui/QBChecksExportFrame.h"
#include "ui/QBChecksExportParamFrame.h"
#include "ui/QBGLExportFrame.h"
#include "ui/RunPreviewDialog.h"
#include "ui/UserDialogBoxes.h"
#include "ui/vlxWaitForm.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString Markup = u"<b>BOLD</b> <font color=red size=7>Fake Company</font>"
                       u"<img src=\"https://images.invalid/x.png\">"_s;

// The labels of the widget and its children that show the text.
QList<QLabel*> LabelsShowing(const QWidget& top, const QString& text) {
    QList<QLabel*> labels;
    for (QLabel* label : top.findChildren<QLabel*>())
        if (label->text().contains(text))
            labels << label;
    return labels;
}

} // namespace

class TestOutsideText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void companyNamedWithMarkup();
    void waitWindowsShowStagesAsText();
    void messageBoxShowsMarkupAsText();
};

void TestOutsideText::companyNamedWithMarkup() {
    TWindowScene scene;
    QVERIFY(scene.Dir.isValid());
    CreateSandboxCompany(scene.CompanyFile(),
                         qEnvironmentVariable("ORVQ_SOURCE_DIR") + u"/data/demo"_s, Markup);
    TPreAnsweredDialogs boxes;
    TMainFm window(scene.Options());
    TQBChecksExportFrm& checks = *window.QBChecksExportFrame;
    QVERIFY(QTest::qWaitFor([&] {
        return checks.QBParamFrame->bbGetAccountList->text() == u"Refresh Account list"_s;
    }));
    checks.QBParamFrame->SetParam(
        {false, u"Payroll Checking"_s, u"Payroll Liabilities:Net Pay Clearing"_s, false, true});
    checks.FileOpenFrame->SetFileName(qEnvironmentVariable("ORVQ_SOURCE_DIR") +
                                      u"/data/samples/s1911-sample.txt"_s);
    checks.UpdateActions();
    QSignalSpy shown(&checks, &TQBExportBaseFrm::PreviewShown);
    checks.PreviewAction->trigger();
    QVERIFY(shown.wait(60000));
    TRunPreviewDlg* dialog = checks.PreviewDialog();
    QVERIFY(dialog);

    const QString line = u"QuickBooks company: "_s + Markup;
    QVERIFY2(dialog->lblCompany->text().startsWith(line), qPrintable(dialog->lblCompany->text()));
    QVERIFY2(checks.lblCompany->text().startsWith(line), qPrintable(checks.lblCompany->text()));
    QCOMPARE(window.QBGLExportFrame->lblCompany->text(), checks.lblCompany->text());
    QCOMPARE(window.lblQBCompany->text(), checks.lblCompany->text());
    const QList<QLabel*> labels = LabelsShowing(window, Markup) + LabelsShowing(*dialog, Markup);
    QVERIFY(labels.contains(dialog->lblCompany) && labels.contains(checks.lblCompany) &&
            labels.contains(window.QBGLExportFrame->lblCompany) &&
            labels.contains(window.lblQBCompany));
    for (const QLabel* label : labels)
        QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->text()));
    QCOMPARE(boxes.Boxes().size(), 0);
}

void TestOutsideText::waitWindowsShowStagesAsText() {
    TRecordingLogger log;
    TRunServices services;
    services.Logger = log.LoggerPtr();
    services.Dialogs = std::make_shared<TWindowUserDialogs>(nullptr);
    services.ConnectQB = [](const ICommonLoggerPtr&) -> std::unique_ptr<TQBConnection> {
        return nullptr;
    };
    TRunThread runs(services);
    TOrvWaitFm runWindow(nullptr, runs);
    runWindow.ShowStages({u"Company 1 of 1 ("_s + Markup + u"): payroll 1/5/2024"_s});
    QCOMPARE(LabelsShowing(runWindow, Markup), QList<QLabel*>{runWindow.MessagePanel});
    QCOMPARE(runWindow.MessagePanel->textFormat(), Qt::PlainText);

    TWaitIndicatorForm wait(nullptr);
    wait.SetText(Markup);
    QCOMPARE(wait.Text(), Markup);
    const QList<QLabel*> labels = LabelsShowing(wait, Markup);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels[0]->textFormat(), Qt::PlainText);
}

// The real box, answered as soon as it is up.
void TestOutsideText::messageBoxShowsMarkupAsText() {
    Qt::TextFormat format = Qt::AutoText;
    QString text;
    QTimer answer;
    answer.setInterval(10);
    connect(&answer, &QTimer::timeout, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            format = box->textFormat();
            text = box->text();
            box->done(QMessageBox::Ok);
        }
    });
    answer.start();
    ShowMessageBox(nullptr, QMessageBox::Information, u"Orvane QB Export"_s,
                   u"The company "_s + Markup + u" is open."_s);
    QCOMPARE(text, u"The company "_s + Markup + u" is open."_s);
    QCOMPARE(format, Qt::PlainText);
}

int main(int argc, char** argv) {
    TOrvqApplication app(argc, argv);
    TestOutsideText test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_outsidetext.moc"
