// The wait window of the runs: its look and the stages it shows, and the
// ways to close it while a run works (Cancel, Esc, the close box) with the
// "Cancel?" question answered either way; without a run nothing is asked.
#include "RecordingLogSink.h"

#include "runs/RunThread.h"
#include "ui/OrvWaitForm.h"
#include "ui/UserDialogBoxes.h"

#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSemaphore>
#include <QtTest>
#include <atomic>

using namespace Qt::StringLiterals;

namespace {

enum TCloseBy { cbCancelButton, cbEscape, cbCloseBox };

void Close(TOrvWaitFm& form, TCloseBy by) {
    switch (by) {
    case cbCancelButton:
        QTest::mouseClick(form.CancelButton, Qt::LeftButton);
        break;
    case cbEscape:
        QTest::keyClick(&form, Qt::Key_Escape);
        break;
    case cbCloseBox:
        form.close();
        break;
    }
}

} // namespace

class TestOrvWaitForm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void look();
    void stages_data();
    void stages();
    void closing_data();
    void closing();
    void cancelling_data();
    void cancelling();

private:
    TRunServices Services();

    std::unique_ptr<TRecordingLogger> m_log;
};

void TestOrvWaitForm::init() {
    m_log = std::make_unique<TRecordingLogger>();
}

TRunServices TestOrvWaitForm::Services() {
    TRunServices services;
    services.Logger = m_log->LoggerPtr();
    services.Dialogs = std::make_shared<TWindowUserDialogs>(nullptr);
    services.ConnectQB = [](const ICommonLoggerPtr&) -> std::unique_ptr<TQBConnection> {
        return nullptr;
    };
    return services;
}

void TestOrvWaitForm::look() {
    TRunThread runs(Services());
    TOrvWaitFm form(nullptr, runs);
    form.show();
    QCOMPARE(form.windowTitle(), u"Orvane QB Export"_s);
    QCOMPARE(form.Text(), u"Please wait"_s);
    QVERIFY(form.MessagePanel->font().bold());
    QCOMPARE(form.CancelButton->text(), u"Cancel"_s);
    // Centred, also after a resize.
    for (const int width : {382, 640}) {
        form.resize(width, 74);
        form.layout()->activate();
        const QWidget& bar = *form.CancelButton->parentWidget();
        const int off = form.CancelButton->geometry().center().x() - bar.width() / 2;
        QVERIFY2(qAbs(off) <= 1, qPrintable(QString::number(off)));
    }
    // A long stage is shown whole: the window grows to the lines it needs.
    form.resize(382, 74);
    form.ShowStages({u"Company 12 of 50 (Harbor Lane Bakery (demo)): payroll 12/4/2026 (run #1), "
                     u"employee checks"_s,
                     u"Please wait while Orvane generates Employee Checks report"_s});
    const QLabel& panel = *form.MessagePanel;
    QTRY_VERIFY2(panel.height() >= panel.heightForWidth(panel.width()),
                 qPrintable(QStringLiteral("%1 < %2")
                                .arg(panel.height())
                                .arg(panel.heightForWidth(panel.width()))));
    // Without a run, closing asks nothing and leaves the window to the run.
    TPreAnsweredDialogs boxes;
    Close(form, cbCloseBox);
    QCOMPARE(boxes.BoxTexts(), QStringList());
}

void TestOrvWaitForm::stages_data() {
    QTest::addColumn<QStringList>("stages");
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("text");
    QTest::newRow("a stage") << QStringList{u"Please wait while Orvane generates GL Report"_s} << 0
                             << -1 << u"Please wait while Orvane generates GL Report"_s;
    QTest::newRow("nested, counted")
        << QStringList{u"Getting payroll list"_s, u"Getting company list"_s} << 1 << 2
        << u"Getting payroll list\r\nGetting company list: 1 of 2"_s;
    QTest::newRow("thousands") << QStringList{u"Creating QuickBooks Transactions"_s} << 350 << 1000
                               << u"Creating QuickBooks Transactions: 350 of 1,000"_s;
}

void TestOrvWaitForm::stages() {
    QFETCH(QStringList, stages);
    QFETCH(int, done);
    QFETCH(int, total);
    QFETCH(QString, text);
    TRunThread runs(Services());
    TOrvWaitFm form(nullptr, runs);
    form.ShowStages({u"An earlier stage"_s});
    form.ShowProgress(5, 9);
    form.ShowStages(stages);
    if (total >= 0)
        form.ShowProgress(done, total);
    QCOMPARE(form.Text(), text);
}

void TestOrvWaitForm::closing_data() {
    QTest::addColumn<int>("closeBy");
    QTest::addColumn<bool>("confirm");
    QTest::newRow("Cancel, then Yes") << int(cbCancelButton) << true;
    QTest::newRow("Esc, then Yes") << int(cbEscape) << true;
    QTest::newRow("close box, then Yes") << int(cbCloseBox) << true;
    QTest::newRow("Cancel, then No: the run goes on") << int(cbCancelButton) << false;
}

void TestOrvWaitForm::closing() {
    QFETCH(int, closeBy);
    QFETCH(bool, confirm);
    TRunThread runs(Services());
    TOrvWaitFm form(nullptr, runs);
    form.show();
    TPreAnsweredDialogs boxes;
    boxes.AnswerNextBox(confirm ? QMessageBox::Yes : QMessageBox::No);
    std::atomic<bool> waiting{false};
    std::atomic<bool> goOn{false};
    bool stopped = false;
    bool over = false;
    // A run that waits at its safe points until cancelled or let go.
    runs.Start(
        [&](TRunContext& context) {
            waiting = true;
            while (!goOn && !context.Cancel->WaitFor(5)) {
            }
            stopped = context.Cancel->StopHere();
        },
        [&](std::exception_ptr) { over = true; });
    QVERIFY(QTest::qWaitFor([&] { return bool(waiting); }));
    Close(form, TCloseBy(closeBy));
    QCOMPARE(boxes.BoxTexts(), QStringList{u"Cancel?"_s});
    QCOMPARE(boxes.Boxes().front().Buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(boxes.Boxes().front().DefaultButton, QMessageBox::No);
    QCOMPARE(boxes.Boxes().front().Title, u"Orvane QB Export"_s);
    if (!confirm)
        goOn = true;
    QVERIFY(QTest::qWaitFor([&] { return over; }));
    QCOMPARE(stopped, confirm);
}

void TestOrvWaitForm::cancelling_data() {
    QTest::addColumn<QStringList>("stages");
    QTest::addColumn<int>("total"); // -1: not counted
    QTest::addColumn<QString>("note");
    QTest::addColumn<QStringList>("next"); // a stage the run goes on with
    QTest::newRow("posting") << QStringList{u"Creating QuickBooks Transactions"_s} << 50
                             << u"Cancelling: finishing the request set in progress"_s
                             << QStringList();
    QTest::newRow("report wait, then the next report")
        << QStringList{u"Please wait while Orvane generates Employee Checks report"_s} << -1
        << u"Cancelling: stopping the step in progress"_s
        << QStringList{u"Please wait while Orvane generates Agency Checks report"_s};
}

// After Yes the window says at once what the run finishes and asks no more;
// a run that goes on with a stage of its own can be cancelled again.
void TestOrvWaitForm::cancelling() {
    QFETCH(QStringList, stages);
    QFETCH(int, total);
    QFETCH(QString, note);
    QFETCH(QStringList, next);
    TRunThread runs(Services());
    TOrvWaitFm form(nullptr, runs);
    form.show();
    TPreAnsweredDialogs boxes;
    std::atomic<bool> waiting{false};
    QSemaphore goOn;
    bool over = false;
    // A run busy in its step until let go, cancelled or not.
    runs.Start(
        [&](TRunContext&) {
            waiting = true;
            goOn.acquire();
        },
        [&](std::exception_ptr) { over = true; });
    QVERIFY(QTest::qWaitFor([&] { return bool(waiting); }));
    form.ShowStages(stages);
    if (total >= 0)
        form.ShowProgress(12, total);
    boxes.AnswerNextBox(QMessageBox::Yes);
    Close(form, cbCancelButton);
    QVERIFY(form.IsCancelling());
    QVERIFY(!form.CancelButton->isEnabled());
    QVERIFY2(form.Text().endsWith(u"\r\n"_s + note), qPrintable(form.Text()));
    // The count still steps while the set in progress is finished.
    if (total >= 0) {
        form.ShowProgress(20, total);
        QVERIFY2(form.Text().contains(u": 20 of 50\r\n"_s), qPrintable(form.Text()));
    }
    Close(form, cbEscape);
    QCOMPARE(boxes.Boxes().size(), 1);
    // The stage ends: the run is finishing, still cancelling.
    form.ShowStages({});
    QVERIFY(form.IsCancelling());
    if (!next.isEmpty()) {
        form.ShowStages(next);
        QVERIFY(!form.IsCancelling());
        QVERIFY(form.CancelButton->isEnabled());
        QCOMPARE(form.Text(), next.last());
    }
    goOn.release();
    QVERIFY(QTest::qWaitFor([&] { return over; }));
    // The next run starts with Cancel on.
    runs.Start([](TRunContext&) {});
    QVERIFY(!form.IsCancelling() && form.CancelButton->isEnabled());
}

QTEST_MAIN(TestOrvWaitForm)
#include "tst_orvwaitform.moc"
