#include "RecordingSink.h"

#include "base/ztExceptions.h"
#include "logging/vlxLogWriters.h"
#include "logging/vlxLoggerChain.h"
#include "logging/vlxcommonlogger.h"

#include <QtTest>

#include <optional>

using TCommonOperation = std::function<void(ICommonLogger&)>;
Q_DECLARE_METATYPE(TCommonOperation)

namespace {

struct TChainFixture {
    TLoggerChain Chain = CreateLoggerChain();
    std::shared_ptr<TRecordingSink> Sink = std::make_shared<TRecordingSink>();
    TScopedSink Attached{Chain.Stateful, Sink};
};

} // namespace

class TestCommonLogger : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void operationsMapToMessages_data();
    void operationsMapToMessages();
    void exceptionWithWarning();
    void blockGuardClosesOnException();
    void badFormatAsserts();
    void wantsWhatAWriterWrites_data();
    void wantsWhatAWriterWrites();
};

void TestCommonLogger::operationsMapToMessages_data() {
    QTest::addColumn<TCommonOperation>("operation");
    QTest::addColumn<QStringList>("expected");
    const QString root = "Orvane QB Export application";
    QTest::newRow("LogEvent") << TCommonOperation([](ICommonLogger& l) { l.LogEvent("Done"); })
                              << QStringList{"Event 1 " + root + ": Done|"};
    QTest::newRow("LogEventFmt") << TCommonOperation([](ICommonLogger& l) {
        l.LogEventFmt("%d %s added", {3, "checks"});
    }) << QStringList{"Event 1 " + root + ": 3 checks added|"};
    QTest::newRow("LogWarning with details")
        << TCommonOperation([](ICommonLogger& l) { l.LogWarning("Skipped", "already there"); })
        << QStringList{"Warning 1 " + root + ": Skipped|already there"};
    QTest::newRow("LogWarningFmt") << TCommonOperation([](ICommonLogger& l) {
        l.LogWarningFmt("%s failed", {"Checks export"}, "see above");
    }) << QStringList{"Warning 1 " + root + ": Checks export failed|see above"};
    QTest::newRow("LogError") << TCommonOperation([](ICommonLogger& l) { l.LogError("Broken"); })
                              << QStringList{"Error 1 " + root + ": Broken|"};
    QTest::newRow("LogErrorFmt") << TCommonOperation([](ICommonLogger& l) {
        l.LogErrorFmt("%9.3f sec", {0.016});
    }) << QStringList{"Error 1 " + root + ":     0.016 sec|"};
    QTest::newRow("LogDebug") << TCommonOperation([](ICommonLogger& l) { l.LogDebug("x", "y"); })
                              << QStringList{"Debug 1 " + root + ": x|y"};
    QTest::newRow("entry, context item, exit") << TCommonOperation([](ICommonLogger& l) {
        l.LogEntry("Run");
        l.LogContextItem("File", "a.txt");
        l.LogExit();
    }) << QStringList{"entry 2 Run", "item 2 File=a.txt", "exit 2 Run"};
    QTest::newRow("StopException") << TCommonOperation([](ICommonLogger& l) {
        try {
            throw EztException("Failed\n\nbecause");
        } catch (...) {
            l.StopException();
        }
    }) << QStringList{"Exception 1 " + root + ": Failed|because"};
    QTest::newRow("PassthroughException") << TCommonOperation([](ICommonLogger& l) {
        try {
            try {
                throw EztException("Inner");
            } catch (...) {
                l.PassthroughException();
            }
        } catch (...) {
            l.StopException();
        }
    }) << QStringList{"Exception 1 " + root + ": Inner|"};
}

void TestCommonLogger::operationsMapToMessages() {
    QFETCH(TCommonOperation, operation);
    QFETCH(QStringList, expected);
    TChainFixture f;
    f.Sink->Events.clear();
    operation(*f.Chain.Common);
    QCOMPARE(f.Sink->Events, expected);
}

void TestCommonLogger::exceptionWithWarning() {
    TChainFixture f;
    ICommonLogger& log = *f.Chain.Common;
    f.Sink->Events.clear();
    bool rethrown = false;
    {
        TLogBlockGuard block(log, "Checks export");
        try {
            try {
                throw EztException("No account");
            } catch (...) {
                log.PassthroughExceptionAndWarnFmt("%s failed", {"Checks export"});
            }
        } catch (const EztException& e) {
            rethrown = e.Message() == "No account";
            log.StopExceptionAndWarnFmt("Run %d stopped", {2});
        }
    }
    QVERIFY(rethrown);
    const QStringList expected{"entry 2 Checks export", "Exception 2 Checks export: No account|",
                               "Warning 2 Checks export: Checks export failed|",
                               "Warning 2 Checks export: Run 2 stopped|", "exit 2 Checks export"};
    QCOMPARE(f.Sink->Events, expected);
}

void TestCommonLogger::blockGuardClosesOnException() {
    TChainFixture f;
    ICommonLogger& log = *f.Chain.Common;
    try {
        TLogBlockGuard outer(log, "Outer");
        TLogBlockGuard inner(log, "Inner");
        throw EztException("x");
    } catch (const EztException&) {
    }
    QCOMPARE(f.Chain.Stateful->State().Depth(), 1);
}

void TestCommonLogger::badFormatAsserts() {
    TChainFixture f;
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, f.Chain.Common->LogEventFmt("%d", {"text"}));
}

void TestCommonLogger::wantsWhatAWriterWrites_data() {
    QTest::addColumn<bool>("userLog");
    QTest::addColumn<bool>("developerLog");
    QTest::addColumn<bool>("debug");
    QTest::addColumn<bool>("event");
    QTest::newRow("no writer") << false << false << false << false;
    QTest::newRow("user log") << true << false << false << true;
    QTest::newRow("user and developer logs") << true << true << true << true;
}

void TestCommonLogger::wantsWhatAWriterWrites() {
    QFETCH(bool, userLog);
    QFETCH(bool, developerLog);
    QFETCH(bool, debug);
    QFETCH(bool, event);
    TLoggerChain chain = CreateLoggerChain();
    QStringList records;
    const auto output = std::make_shared<TStringsLogOutput>(&records);
    std::optional<TScopedSink> user, developer;
    if (userLog)
        user.emplace(chain.Stateful, std::make_shared<TPlainTextUserLogWriter>(output));
    if (developerLog)
        developer.emplace(chain.Stateful, std::make_shared<TPlainTextDevLogWriter>(output));
    QCOMPARE(chain.Common->WantsMessage(lmDebug), debug);
    QCOMPARE(chain.Common->WantsMessage(lmEvent), event);
    QCOMPARE(chain.Common->WantsMessage(lmException), event);
}

QTEST_GUILESS_MAIN(TestCommonLogger)
#include "tst_commonlogger.moc"
