#include "base/vlxClasses.h"
#include "base/vlxDeferredCall.h"
#include "base/vlxErrorDisplay.h"
#include "base/ztExceptions.h"

#include <QtTest>

namespace {

// Records calls as text; can be told to fail on one of them.
class TScriptedIndicator : public IWaitIndicator, public IProgressIndicator {
public:
    TScriptedIndicator(QStringList& calls, QString name)
        : m_calls(calls), m_name(std::move(name)) {}
    QString FailOn;

    void StartWait(const QString& message) override { Record("start " + message); }
    void EndWait() override { Record("end"); }
    void StartProgress(const QString& caption, int maximum) override {
        Record(QString("progress %1 of %2").arg(caption).arg(maximum));
    }
    void SetProgress(int position) override { Record(QString("at %1").arg(position)); }
    void EndProgress() override { Record("progress end"); }

private:
    void Record(const QString& call) {
        m_calls << m_name + ": " + call;
        if (call.startsWith(FailOn) && !FailOn.isEmpty())
            throw EztException("failed: " + call);
    }
    QStringList& m_calls;
    QString m_name;
};

} // namespace

class TestWaitIndicators : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void hourglassShowsOnceForNestedWaits();
    void combinedUndoesFirstWhenSecondFails();
    void combinedEndsSecondWhenFirstFails();
    void proxiedIndicatorIsReplaceable();
    void progressAlsoRaisesWait();
    void deferredCallsRunInOrderAfterPoster();
    void failingDeferredCallDoesNotStopLaterOnes();
    void deferredCallDroppedWithItsReceiver();
    void deferredCallsWaitWhileHeld();
};

void TestWaitIndicators::hourglassShowsOnceForNestedWaits() {
    QStringList cursor;
    SetHourglassCursorHooks({[&] { cursor << "hourglass"; }, [&] { cursor << "restored"; }});
    THourglassWaitIndicator hourglass;
    hourglass.StartWait("outer");
    hourglass.StartWait("inner");
    hourglass.EndWait();
    QCOMPARE(cursor, QStringList{"hourglass"});
    hourglass.EndWait();
    hourglass.EndWait(); // unbalanced: ignored
    QCOMPARE(cursor, (QStringList{"hourglass", "restored"}));
    QCOMPARE(hourglass.Nesting(), 0);
    SetHourglassCursorHooks({});
}

void TestWaitIndicators::combinedUndoesFirstWhenSecondFails() {
    QStringList calls;
    auto first = std::make_shared<TScriptedIndicator>(calls, "first");
    auto second = std::make_shared<TScriptedIndicator>(calls, "second");
    second->FailOn = "start";
    TCombinedWaitIndicator combined(first, second);
    QVERIFY_THROWS_EXCEPTION(EztException, combined.StartWait("Packing log files"));
    QCOMPARE(calls, (QStringList{"first: start Packing log files",
                                 "second: start Packing log files", "first: end"}));
}

void TestWaitIndicators::combinedEndsSecondWhenFirstFails() {
    QStringList calls;
    auto first = std::make_shared<TScriptedIndicator>(calls, "first");
    auto second = std::make_shared<TScriptedIndicator>(calls, "second");
    first->FailOn = "end";
    TCombinedWaitIndicator combined(first, second);
    combined.StartWait("x");
    QVERIFY_THROWS_EXCEPTION(EztException, combined.EndWait());
    QCOMPARE(calls.mid(2), (QStringList{"first: end", "second: end"}));
}

void TestWaitIndicators::proxiedIndicatorIsReplaceable() {
    QStringList calls;
    TWaitIndicatorProxy proxy(std::make_shared<THourglassWaitIndicator>());
    proxy.SetIndicator(std::make_shared<TScriptedIndicator>(calls, "window"));
    { TWaitGuard wait(proxy, "Getting payroll list"); }
    proxy.SetIndicator(nullptr); // back to a plain hourglass
    proxy.StartWait("unseen");
    proxy.EndWait();
    QCOMPARE(calls, (QStringList{"window: start Getting payroll list", "window: end"}));
}

void TestWaitIndicators::progressAlsoRaisesWait() {
    QStringList calls;
    auto bar = std::make_shared<TScriptedIndicator>(calls, "bar");
    auto wait = std::make_shared<TScriptedIndicator>(calls, "wait");
    TWaitProgressIndicator progress(bar, wait);
    progress.StartProgress("Getting company list", 2);
    progress.SetProgress(1);
    progress.EndProgress();
    QCOMPARE(calls, (QStringList{"bar: progress Getting company list of 2",
                                 "wait: start Getting company list", "bar: at 1",
                                 "bar: progress end", "wait: end"}));
}

void TestWaitIndicators::deferredCallsRunInOrderAfterPoster() {
    QStringList ran;
    PostDeferredCall([&] { ran << "first"; });
    std::function<void(const QString&)> withValue = [&](const QString& v) { ran << v; };
    QString value = "value as posted";
    PostDeferredCall(withValue, value);
    value = "changed later";
    PostDeferredCall([&] { ran << "third"; });
    ran << "poster returned";
    QCoreApplication::processEvents();
    QCOMPARE(ran, (QStringList{"poster returned", "first", "value as posted", "third"}));
}

void TestWaitIndicators::failingDeferredCallDoesNotStopLaterOnes() {
    const auto shown = std::make_shared<QStringList>();
    InstallErrorDisplay(*QCoreApplication::instance(),
                        [shown](const QString& message) { *shown << message; });
    bool laterRan = false;
    PostDeferredCall([] { throw EztException("Cannot access QuickBooks"); });
    PostDeferredCall([&] { laterRan = true; });
    QCoreApplication::processEvents();
    QCOMPARE(*shown, QStringList{"Cannot access QuickBooks"});
    QVERIFY(laterRan);
}

void TestWaitIndicators::deferredCallDroppedWithItsReceiver() {
    bool ran = false;
    auto receiver = std::make_unique<QObject>();
    PostDeferredCall([&] { ran = true; }, receiver.get());
    receiver.reset();
    QCoreApplication::processEvents();
    QVERIFY(!ran);
}

void TestWaitIndicators::deferredCallsWaitWhileHeld() {
    QStringList ran;
    PostDeferredCall([&] { ran << "before"; });
    {
        TDeferredCallHold hold;
        PostDeferredCall([&] { ran << "during"; });
        QCoreApplication::processEvents();
        QCOMPARE(ran, QStringList());
    }
    PostDeferredCall([&] { ran << "after"; });
    QCoreApplication::processEvents();
    QCOMPARE(ran, (QStringList{"before", "during", "after"}));
}

QTEST_GUILESS_MAIN(TestWaitIndicators)
#include "tst_waitindicators.moc"
