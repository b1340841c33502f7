// The report wait window against a scripted payroll service: its look, the
// ways to close it while a task runs (Cancel, Esc, the close box) with the
// "Cancel?" question answered either way, closing before the task runs
// (no question), and the server task deleted whenever the window goes.
#include "OrvTestSupport.h"
#include "RecordingLogSink.h"

#include "base/vlxErrorDisplay.h"
#include "ui/OrvWaitForm.h"
#include "ui/UserDialogBoxes.h"

#include <QJsonArray>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QtTest>

using namespace orvtest;

namespace {

enum TCloseBy { cbNone, cbCancelButton, cbEscape, cbCloseBox };

QJsonObject TaskScript(const QJsonArray& finished) {
    QJsonObject script = BaseScript();
    script.insert(QStringLiteral("orv.taskQueue.runReport"),
                  QJsonArray{Result(QStringLiteral("T-1"))});
    script.insert(QStringLiteral("orv.taskQueue.isTaskFinished"), finished);
    script.insert(QStringLiteral("orv.taskQueue.getReport"),
                  QJsonArray{Result(
                      QJsonObject{{"Type", "ASCII"}, {"Report", Base64(QStringLiteral("R"))}})});
    script.insert(QStringLiteral("orv.taskQueue.deleteTask"), QJsonArray{Result(true)});
    return script;
}

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
    case cbNone:
        break;
    }
}

// Runs action once, on the first turn of the event loop at which when() holds.
class TWhen : public QObject {
public:
    TWhen(std::function<bool()> when, std::function<void()> action)
        : m_when(std::move(when)), m_action(std::move(action)) {
        startTimer(0);
    }

protected:
    void timerEvent(QTimerEvent* event) override {
        if (!m_when())
            return;
        killTimer(event->timerId());
        m_action();
    }

private:
    std::function<bool()> m_when;
    std::function<void()> m_action;
};

} // namespace

class TestOrvWaitForm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void look();
    void closing_data();
    void closing();

private:
    const TTestCertificates* m_certificates = nullptr;
    std::unique_ptr<TRecordingLogger> m_log;
    QStringList m_displayed;
};

void TestOrvWaitForm::initTestCase() {
    QString whyNot;
    m_certificates = TTestCertificates::Get(&whyNot);
    if (!m_certificates)
        QSKIP(qPrintable(whyNot));
}

void TestOrvWaitForm::init() {
    m_log = std::make_unique<TRecordingLogger>();
    m_displayed.clear();
    SetErrorDisplay([this](const QString& message) { m_displayed << message; });
}

void TestOrvWaitForm::cleanup() {
    QCoreApplication::processEvents();
    SetErrorDisplay(nullptr);
    m_log.reset();
}

void TestOrvWaitForm::look() {
    TOrvWaitFm form(nullptr);
    bool closeAsked = false;
    QString title;
    QString message;
    bool bold = false;
    QList<int> offCentre;
    TWhen check([&] { return form.isVisible(); },
                [&] {
                    title = form.windowTitle();
                    message = form.MessagePanel->text();
                    bold = form.MessagePanel->font().bold();
                    // Centred, also after a resize.
                    for (const int width : {382, 640}) {
                        form.resize(width, 74);
                        form.layout()->activate();
                        const QWidget& bar = *form.CancelButton->parentWidget();
                        offCentre << form.CancelButton->geometry().center().x() - bar.width() / 2;
                    }
                    form.Done(owrYes);
                });
    QCOMPARE(form.Execute(QStringLiteral("Orvane QB Export"), QStringLiteral("Please wait"),
                          [&] { closeAsked = true; }),
             owrYes);
    QCOMPARE(title, QStringLiteral("Orvane QB Export"));
    QCOMPARE(message, QStringLiteral("Please wait"));
    QVERIFY(bold);
    QCOMPARE(form.CancelButton->text(), QStringLiteral("Cancel"));
    QCOMPARE(offCentre.size(), 2);
    for (const int off : offCentre)
        QVERIFY2(qAbs(off) <= 1, qPrintable(QString::number(off)));
    QVERIFY(!closeAsked);
}

void TestOrvWaitForm::closing_data() {
    QTest::addColumn<int>("closeBy");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<bool>("taskRuns");
    QTest::newRow("report ready, no question") << int(cbNone) << false << false << true;
    QTest::newRow("Cancel, then Yes") << int(cbCancelButton) << true << true << true;
    QTest::newRow("Esc, then Yes") << int(cbEscape) << true << true << true;
    QTest::newRow("close box, then Yes") << int(cbCloseBox) << true << true << true;
    QTest::newRow("Cancel, then No: the report comes")
        << int(cbCancelButton) << false << false << true;
    QTest::newRow("Esc before the task runs") << int(cbEscape) << true << true << false;
}

void TestOrvWaitForm::closing() {
    QFETCH(int, closeBy);
    QFETCH(bool, confirm);
    QFETCH(bool, cancelled);
    QFETCH(bool, taskRuns);
    // Unfinished until the window was asked to close (or at the fourth poll).
    const QJsonArray finished =
        closeBy == cbNone ? QJsonArray{Result(false), Result(true)}
                          : QJsonArray{Result(false), Result(false), Result(false), Result(true)};
    auto server = ServeScript(*m_certificates, TaskScript(finished));
    QVERIFY(server);
    TOrvAPIEnvironment environment;
    environment.Redirection = TestRedirection(*m_certificates);
    TPreAnsweredDialogs dialogs;
    dialogs.AnswerNextBox(confirm ? QMessageBox::Yes : QMessageBox::No);
    TOrvWaitFm form(nullptr);
    bool asked = false;
    TWhen close(
        [&] {
            return taskRuns ? server->CountOf(QStringLiteral("orv.taskQueue.isTaskFinished")) >= 1
                            : form.isVisible();
        },
        [&] {
            asked = true;
            Close(form, TCloseBy(closeBy));
        });
    TOrvReportWaitTimings timings;
    timings.StartDelayMs = taskRuns ? 0 : 60000;
    timings.PollIntervalMs = 2;
    std::optional<QString> report;
    {
        const IOrvAPIConnectionPtr connection =
            CreateOrvAPIConnection(server->Param(), m_log->LoggerPtr(), environment);
        TOrvReportDef def;
        def.Params = NewRpcStruct();
        def.ReportType = QStringLiteral("S");
        def.ReportNumber = 1910;
        report = RunReportAndWait(form, m_log->LoggerPtr(), connection, def,
                                  QStringLiteral("Please wait"), QStringLiteral("Orvane QB Export"),
                                  timings);
    }
    QVERIFY(asked || closeBy == cbNone);
    QCOMPARE(report, cancelled ? std::nullopt : std::optional<QString>(QStringLiteral("R")));
    const bool questioned = closeBy != cbNone && taskRuns;
    QCOMPARE(dialogs.BoxTexts(), questioned ? QStringList{"Cancel?"} : QStringList{});
    if (questioned) {
        QCOMPARE(dialogs.Boxes().front().Buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(dialogs.Boxes().front().Title, QStringLiteral("Orvane QB Export"));
    }
    QCOMPARE(int(m_log->Sink().OfKind(lmWarning).size()), cancelled ? 1 : 0);
    // The server task goes with the window, fetched or not.
    const QStringList methods = server->Methods();
    QCOMPARE(methods.count(QStringLiteral("orv.taskQueue.deleteTask")), taskRuns ? 1 : 0);
    QCOMPARE(methods.count(QStringLiteral("orv.taskQueue.getReport")), cancelled ? 0 : 1);
    QCOMPARE(methods.count(QStringLiteral("orv.taskQueue.runReport")), taskRuns ? 1 : 0);
    QCOMPARE(methods.last(), QStringLiteral("orv.disconnect"));
    QCOMPARE(m_displayed, QStringList{});
}

QTEST_MAIN(TestOrvWaitForm)
#include "tst_orvwaitform.moc"
