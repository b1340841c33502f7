// The cancel token between the window's thread and a run's: a safe point
// waits while "Cancel?" is open and gives the answer, a poll's wait ends as
// soon as the run is cancelled, and clean-up is not cancelled.
#include "base/vlxCancelToken.h"

#include <QtTest>
#include <thread>

class TestCancelToken : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void safePointAfterQuestion_data();
    void safePointAfterQuestion();
    void waitEndsAtCancel();
    void shieldLetsCleanUpThrough();
};

void TestCancelToken::safePointAfterQuestion_data() {
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("answerYes");
    QTest::addColumn<bool>("stops");
    QTest::newRow("no question") << false << false << false;
    QTest::newRow("question answered No") << true << false << false;
    QTest::newRow("question answered Yes") << true << true << true;
}

void TestCancelToken::safePointAfterQuestion() {
    QFETCH(bool, held);
    QFETCH(bool, answerYes);
    QFETCH(bool, stops);
    TCancelToken token;
    if (held)
        token.Hold();
    std::atomic<bool> reached{false};
    bool stopped = false;
    std::thread run([&] {
        reached = true;
        stopped = token.StopHere();
    });
    // The run waits at its safe point until the question is answered.
    QTRY_VERIFY(reached);
    if (held) {
        if (answerYes)
            token.Cancel();
        token.Release();
    }
    run.join();
    QCOMPARE(stopped, stops);
    bool thrown = false;
    try {
        token.CheckPoint();
    } catch (const EOperationCancelled& e) {
        thrown = true;
        QCOMPARE(e.Message(), QStringLiteral("User cancelled operation"));
    }
    QCOMPARE(thrown, stops);
}

void TestCancelToken::waitEndsAtCancel() {
    TCancelToken token;
    QVERIFY(!token.WaitFor(0));
    bool cancelled = false;
    // A poll interval of an hour: only the cancel ends the wait.
    std::thread poll([&] { cancelled = token.WaitFor(3600 * 1000); });
    token.Cancel();
    poll.join();
    QVERIFY(cancelled);
    QVERIFY(token.Cancelled());
}

void TestCancelToken::shieldLetsCleanUpThrough() {
    TCancelToken token;
    token.Cancel();
    {
        const TCancelShield shield(&token);
        QVERIFY(!token.Cancelled());
        QVERIFY(!token.StopHere());
    }
    QVERIFY(token.Cancelled());
    const TCancelShield none(nullptr);
}

QTEST_GUILESS_MAIN(TestCancelToken)
#include "tst_canceltoken.moc"
