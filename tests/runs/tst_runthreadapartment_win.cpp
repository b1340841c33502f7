// On Windows a run talks to QuickBooks' request processor through COM from
// the run thread, which must be in a single-threaded apartment for as long
// as the run works, every run again, and leave a thread it did not set up
// as it found it.
#include "RecordingLogSink.h"
#include "ScriptedUserDialogs.h"

#include "runs/RunThread.h"
#include "runs/RunThreadApartment.h"

#include <QThread>
#include <QtTest>

#include <objbase.h>

using namespace Qt::StringLiterals;

namespace {

// What the calling thread's apartment is, asked the only way COM answers:
// entering the other kind fails with RPC_E_CHANGED_MODE.
enum class EApartment { None, SingleThreaded, MultiThreaded };

EApartment CurrentApartment() {
    const HRESULT sta = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (sta == RPC_E_CHANGED_MODE)
        return EApartment::MultiThreaded;
    CoUninitialize();
    return sta == S_OK ? EApartment::None : EApartment::SingleThreaded;
}

} // namespace

class TestRunThreadApartment : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyRunWorksInASingleThreadedApartment() {
        TRecordingLogger log;
        TRunServices services;
        services.Logger = log.LoggerPtr();
        services.Dialogs = std::make_shared<TScriptedUserDialogs>();
        services.ConnectQB = [](const ICommonLoggerPtr&) -> std::unique_ptr<TQBConnection> {
            throw EztException(u"no QuickBooks here"_s);
        };
        TRunThread runs(services);
        for (int run = 1; run <= 2; ++run) {
            EApartment seen = EApartment::None;
            bool over = false;
            runs.Start([&](TRunContext&) { seen = CurrentApartment(); },
                       [&](std::exception_ptr) { over = true; });
            QVERIFY(QTest::qWaitFor([&] { return over; }, 60000));
            QCOMPARE(seen, EApartment::SingleThreaded);
        }
    }

    void apartmentLastsAsLongAsTheObject_data() {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("inside");
        QTest::newRow("fresh thread") << int(EApartment::None) << int(EApartment::SingleThreaded);
        QTest::newRow("thread already multi-threaded")
            << int(EApartment::MultiThreaded) << int(EApartment::MultiThreaded);
    }
    void apartmentLastsAsLongAsTheObject() {
        QFETCH(int, before);
        QFETCH(int, inside);
        EApartment seenInside = EApartment::None, seenAfter = EApartment::None;
        std::unique_ptr<QThread> thread(QThread::create([&] {
            const bool mta = EApartment(before) == EApartment::MultiThreaded;
            if (mta)
                CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            {
                const TRunThreadApartment apartment;
                seenInside = CurrentApartment();
            }
            seenAfter = CurrentApartment();
            if (mta)
                CoUninitialize();
        }));
        thread->start();
        QVERIFY(thread->wait(60000));
        QCOMPARE(int(seenInside), inside);
        QCOMPARE(int(seenAfter), before);
    }
};

QTEST_GUILESS_MAIN(TestRunThreadApartment)
#include "tst_runthreadapartment_win.moc"
