// The worker thread of the runs without widgets: work runs off the host's
// thread, its stages arrive in order as signals, a question is answered on
// the host's thread, a failure comes back with the end, one run at a time,
// and a host that goes while a run waits for an answer neither hangs nor
// shows the box.
#include "RecordingLogSink.h"
#include "RunTestSupport.h"
#include "ScriptedUserDialogs.h"

#include "base/vlxErrorDisplay.h"
#include "runs/RunThread.h"

#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Remembers the thread each box was shown on.
class TThreadDialogs : public TScriptedUserDialogs {
public:
    QList<QThread*> Threads;

protected:
    void DoShowInformation(const QString& message) override {
        Threads << QThread::currentThread();
        TScriptedUserDialogs::DoShowInformation(message);
    }
    TQuestionAnswer DoAsk(const TQuestion& question) override {
        Threads << QThread::currentThread();
        return TScriptedUserDialogs::DoAsk(question);
    }
};

} // namespace

class TestRunThread : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void runOffTheHostThread();
    void failureComesBackWithTheEnd_data();
    void failureComesBackWithTheEnd();
    void oneRunAtATime();
    void hostGoesWhileQuestionIsOpen();

private:
    TRunServices Services();
    // Starts work and waits for its end; the failure.
    std::exception_ptr RunToEnd(TRunThread& runs, TRunThread::TWork work);

    std::unique_ptr<TRecordingLogger> m_log;
    std::shared_ptr<TThreadDialogs> m_dialogs;
};

void TestRunThread::init() {
    m_log = std::make_unique<TRecordingLogger>();
    m_dialogs = std::make_shared<TThreadDialogs>();
}

TRunServices TestRunThread::Services() {
    TRunServices services;
    services.Logger = m_log->LoggerPtr();
    services.Dialogs = m_dialogs;
    services.ConnectQB = [](const ICommonLoggerPtr&) -> std::unique_ptr<TQBConnection> {
        throw EztException(u"no QuickBooks here"_s);
    };
    return services;
}

std::exception_ptr TestRunThread::RunToEnd(TRunThread& runs, TRunThread::TWork work) {
    std::exception_ptr failure;
    bool over = false;
    runs.Start(std::move(work), [&](std::exception_ptr left) {
        failure = left;
        over = true;
    });
    if (!QTest::qWaitFor([&] { return over; }, 60000))
        QTest::qFail("the run did not end", __FILE__, __LINE__);
    return failure;
}

void TestRunThread::runOffTheHostThread() {
    TRunThread runs(Services());
    QSignalSpy started(&runs, &TRunThread::RunStarted);
    QSignalSpy stages(&runs, &TRunThread::StagesChanged);
    QSignalSpy counts(&runs, &TRunThread::ProgressChanged);
    QSignalSpy finished(&runs, &TRunThread::RunFinished);
    m_dialogs->Answers = {true};
    QThread* worker = nullptr;
    bool answer = false;
    const std::exception_ptr failure = RunToEnd(runs, [&](TRunContext& context) {
        worker = QThread::currentThread();
        const TWaitGuard outer(*context.Progress, u"Getting payroll list"_s);
        {
            const TWaitGuard inner(*context.Progress, u"Getting company list"_s);
            context.Progress->SetProgress(1, 2);
        }
        context.Logger->LogEvent(u"asked"_s);
        answer = context.Dialogs->ConfirmYesNo(u"Continue?"_s);
        context.Dialogs->ShowInformation(u"Done"_s);
    });
    QVERIFY(!failure);
    QVERIFY(worker != nullptr && worker != QThread::currentThread());
    QVERIFY(answer);
    QCOMPARE(m_dialogs->Shown, (QStringList{u"confirm: Continue?"_s, u"information: Done"_s}));
    QCOMPARE(m_dialogs->Threads,
             (QList<QThread*>{QThread::currentThread(), QThread::currentThread()}));
    QCOMPARE(started.size(), 1);
    QCOMPARE(finished.size(), 1);
    QStringList shown;
    for (const QList<QVariant>& signal : stages)
        shown << signal.at(0).toStringList().join(u" > "_s);
    QCOMPARE(shown, (QStringList{u"Getting payroll list"_s,
                                 u"Getting payroll list > Getting company list"_s,
                                 u"Getting payroll list"_s, QString()}));
    QCOMPARE(counts.size(), 1);
    QCOMPARE(counts.at(0), (QList<QVariant>{1, 2}));
    QCOMPARE(m_log->Sink().OfKind(lmEvent).front().Message, u"asked"_s);
    QVERIFY(!runs.Busy());
}

void TestRunThread::failureComesBackWithTheEnd_data() {
    QTest::addColumn<bool>("cancel");
    QTest::newRow("a failure") << false;
    QTest::newRow("a cancel") << true;
}

void TestRunThread::failureComesBackWithTheEnd() {
    QFETCH(bool, cancel);
    TRunThread runs(Services());
    const std::exception_ptr failure = RunToEnd(runs, [cancel](TRunContext& context) {
        if (cancel) {
            context.Cancel->Cancel();
            context.Cancel->CheckPoint();
        }
        context.ConnectQB(context.Logger);
    });
    QCOMPARE(IsCancel(failure), cancel);
    QVERIFY(failure != nullptr);
    if (!cancel)
        QCOMPARE(ErrorDisplayMessage(failure), u"no QuickBooks here"_s);
}

void TestRunThread::oneRunAtATime() {
    TRunThread runs(Services());
    TCancelToken gate;
    gate.Hold();
    bool over = false;
    runs.Start([&](TRunContext&) { gate.StopHere(); }, [&](std::exception_ptr) { over = true; });
    QVERIFY(runs.Busy());
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, runs.Start([](TRunContext&) {}));
    gate.Release();
    QVERIFY(QTest::qWaitFor([&] { return over; }));
    QVERIFY(!runs.Busy());
}

// The window closes while its run waits for an answer: the question is
// answered No without a box, the run stops at its next safe point, and the
// host waits for it.
void TestRunThread::hostGoesWhileQuestionIsOpen() {
    bool answer = true;
    bool stopped = false;
    {
        TRunThread runs(Services());
        runs.Start([&](TRunContext& context) {
            answer = context.Dialogs->ConfirmYesNo(u"Continue?"_s);
            stopped = context.Cancel->StopHere();
            context.Dialogs->ShowInformation(u"Done"_s);
        });
        // The question is posted to this thread, which never serves it.
        QVERIFY(runs.Busy());
    }
    QVERIFY(!answer);
    QVERIFY(stopped);
    QCOMPARE(m_dialogs->Shown, QStringList());
}

QTEST_GUILESS_MAIN(TestRunThread)
#include "tst_runthread.moc"
