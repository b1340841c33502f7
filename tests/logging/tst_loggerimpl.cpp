#include "RecordingSink.h"

#include "base/vlxCancelToken.h"
#include "base/ztExceptions.h"
#include "logging/vlxLoggerChain.h"
#include "logging/vlxLoggerImpl.h"

#include <QtTest>
#include <stdexcept>

Q_DECLARE_METATYPE(std::function<void()>)

class TestLoggerImpl : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rootBlockOpensWithApplicationCaption();
    void nestingTracksDepthAndExitSeesClosingBlock();
    void textForms_data();
    void textForms();
    void sinkListAddsOnceAndIgnoresUnknown();
    void throwingSinkEndsOnlyThatPass_data();
    void throwingSinkEndsOnlyThatPass();
    void sinkThatLogsIsRefused();
    void sinkRemovingItselfDuringPass();
    void closedRootAsserts_data();
    void closedRootAsserts();
    void destructionClosesInnermostAndReportsLeftSinks();
    void stateCopyIsDeep();
    void controlCharactersEnterEscaped();

    void exceptionPassedThroughThreeHandlersLoggedOnce();
    void newContextLogsSameExceptionAgain_data();
    void newContextLogsSameExceptionAgain();
    void stoppedExceptionRaisedAgainIsLoggedAgain();
    void cancelPassesUnlogged();
    void passthroughRethrowsTheSameObject();
    void freedExceptionNeverMistakenForNewOne();
    void withMessageVariants();
    void misuseAsserts_data();
    void misuseAsserts();
    void foreignExceptionsLoggedWithTheirText_data();
    void foreignExceptionsLoggedWithTheirText();
    void messageDetailsSplit_data();
    void messageDetailsSplit();
    void longDetailsAreCut();
    void exceptionLoggerAnnouncesItself();
};

void TestLoggerImpl::rootBlockOpensWithApplicationCaption() {
    const TLoggerChain chain = CreateLoggerChain();
    QCOMPARE(chain.Stateful->State().Depth(), 1);
    QCOMPARE(chain.Stateful->State().Blocks.front().Caption,
             QStringLiteral("Orvane QB Export application"));
}

void TestLoggerImpl::nestingTracksDepthAndExitSeesClosingBlock() {
    const IStatefulLoggerPtr logger = CreateStatefulLogger();
    const auto sink = std::make_shared<TRecordingSink>();
    logger->AddSink(sink);
    logger->LogEntry("Outer");
    logger->LogContextItem("File", "a.txt");
    logger->LogEntry("");
    logger->LogMessage(lmError, "Bad", "more");
    logger->LogExit();
    logger->LogEntry("Inner");
    logger->LogExit();
    logger->LogExit();
    QCOMPARE(logger->State().Depth(), 1);
    logger->RemoveSink(sink);
    const QStringList expected{"entry 2 Outer",      "item 2 File=a.txt", "entry 3 ",
                               "Error 3 : Bad|more", "exit 3 ",           "entry 3 Inner",
                               "exit 3 Inner",       "exit 2 Outer"};
    QCOMPARE(sink->Events, expected);
}

void TestLoggerImpl::textForms_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("event without details")
        << TLogMessage{lmEvent, "Done", ""}.Text() << QStringLiteral("Event: Done\r\n");
    QTest::newRow("exception with details") << TLogMessage{lmException, "Failed", "Line 2"}.Text()
                                            << QStringLiteral("Exception: Failed\r\nLine 2");
    QTest::newRow("debug") << TLogMessage{lmDebug, "x", ""}.Text()
                           << QStringLiteral("Debug: x\r\n");
    QTest::newRow("context item") << TLogBlockContextItem{"File", "C:\\a.txt"}.Text()
                                  << QStringLiteral("File = C:\\a.txt");
    QTest::newRow("kind names") << QStringList{LogMessageKindName(lmException),
                                               LogMessageKindName(lmError),
                                               LogMessageKindName(lmWarning),
                                               LogMessageKindName(lmEvent),
                                               LogMessageKindName(lmDebug)}
                                       .join(u',')
                                << QStringLiteral("Exception,Error,Warning,Event,Debug");
}

void TestLoggerImpl::textForms() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void TestLoggerImpl::sinkListAddsOnceAndIgnoresUnknown() {
    const IStatefulLoggerPtr logger = CreateStatefulLogger();
    const auto sink = std::make_shared<TRecordingSink>();
    const auto neverAdded = std::make_shared<TRecordingSink>();
    logger->AddSink(sink);
    logger->AddSink(sink);
    logger->AddSink(nullptr);
    logger->RemoveSink(neverAdded);
    logger->RemoveSink(nullptr);
    logger->LogMessage(lmEvent, "once", "");
    logger->RemoveSink(sink);
    logger->LogMessage(lmEvent, "after removal", "");
    QCOMPARE(sink->Events, QStringList{"Event 1 Orvane QB Export application: once|"});
    QVERIFY(neverAdded->Events.isEmpty());
}

void TestLoggerImpl::throwingSinkEndsOnlyThatPass_data() {
    QTest::addColumn<std::function<void()>>("raise");
    QTest::newRow("program exception") << std::function<void()>([] { throw EztException("x"); });
    QTest::newRow("standard exception")
        << std::function<void()>([] { throw std::runtime_error("x"); });
    QTest::newRow("not an exception class") << std::function<void()>([] { throw 42; });
}

void TestLoggerImpl::throwingSinkEndsOnlyThatPass() {
    QFETCH(std::function<void()>, raise);
    const IStatefulLoggerPtr logger = CreateStatefulLogger();
    const auto first = std::make_shared<TRecordingSink>();
    const auto thrower = std::make_shared<TActingSink>();
    const auto third = std::make_shared<TRecordingSink>();
    thrower->OnMessageAction = raise;
    logger->AddSink(first);
    logger->AddSink(thrower);
    logger->AddSink(third);

    logger->LogMessage(lmWarning, "lost for the third", "");
    logger->LogEntry("Later");

    logger->RemoveSink(first);
    logger->RemoveSink(thrower);
    logger->RemoveSink(third);
    QCOMPARE(first->Events,
             (QStringList{"Warning 1 Orvane QB Export application: lost for the third|",
                          "entry 2 Later"}));
    QCOMPARE(third->Events, QStringList{"entry 2 Later"});
    QCOMPARE(logger->State().Innermost().Caption, QStringLiteral("Later"));
}

void TestLoggerImpl::sinkThatLogsIsRefused() {
    const IStatefulLoggerPtr logger = CreateStatefulLogger();
    const auto sink = std::make_shared<TActingSink>();
    // Would recurse without end if the logger accepted it.
    sink->OnMessageAction = [&logger] { logger->LogMessage(lmEvent, "from the sink", ""); };
    sink->OnEntryAction = [&logger] { logger->LogExit(); };
    logger->AddSink(sink);
    logger->LogMessage(lmEvent, "outer", "");
    logger->LogEntry("Block");
    logger->RemoveSink(sink);
    QCOMPARE(logger->State().Depth(), 2);
    QCOMPARE(logger->State().Blocks.front().Messages.size(), std::size_t(1));
}

void TestLoggerImpl::sinkRemovingItselfDuringPass() {
    const IStatefulLoggerPtr logger = CreateStatefulLogger();
    auto self = std::make_shared<TActingSink>();
    const auto recorder = std::make_shared<TRecordingSink>();
    std::weak_ptr<TActingSink> weakSelf = self;
    self->OnMessageAction = [&logger, weakSelf] { logger->RemoveSink(weakSelf.lock()); };
    logger->AddSink(self);
    logger->AddSink(recorder);
    self.reset(); // the logger holds the only reference now
    logger->LogMessage(lmEvent, "first", "");
    logger->LogMessage(lmEvent, "second", "");
    logger->RemoveSink(recorder);
    QVERIFY(weakSelf.expired());
    QVERIFY(recorder->Events.contains("Event 1 Orvane QB Export application: second|"));
}

void TestLoggerImpl::closedRootAsserts_data() {
    QTest::addColumn<std::function<void(ILogger&)>>("operation");
    QTest::newRow("LogExit") << std::function<void(ILogger&)>([](ILogger& l) { l.LogExit(); });
    QTest::newRow("LogContextItem")
        << std::function<void(ILogger&)>([](ILogger& l) { l.LogContextItem("t", "v"); });
    QTest::newRow("LogMessage") << std::function<void(ILogger&)>(
        [](ILogger& l) { l.LogMessage(lmError, "m", ""); });
    QTest::newRow("LogEntry") << std::function<void(ILogger&)>([](ILogger& l) { l.LogEntry("b"); });
}

void TestLoggerImpl::closedRootAsserts() {
    QFETCH(std::function<void(ILogger&)>, operation);
    const IStatefulLoggerPtr logger = CreateStatefulLogger();
    logger->LogExit();
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, operation(*logger));
    QCOMPARE(logger->State().Depth(), 0);
}

void TestLoggerImpl::destructionClosesInnermostAndReportsLeftSinks() {
    const auto sink = std::make_shared<TRecordingSink>();
    {
        IStatefulLoggerPtr logger = CreateStatefulLogger("Tool");
        logger->AddSink(sink);
        QTest::ignoreMessage(QtCriticalMsg, "Logger destroyed with 1 event sink(s) still attached");
        logger.reset();
    }
    QCOMPARE(sink->Events, QStringList{"exit 1 Tool application"});

    // Released with the root already closed: nothing more to close, no throw.
    IStatefulLoggerPtr closed = CreateStatefulLogger();
    closed->LogExit();
    closed.reset();
}

void TestLoggerImpl::stateCopyIsDeep() {
    const IStatefulLoggerPtr logger = CreateStatefulLogger();
    logger->LogEntry("Run");
    logger->LogContextItem("File", "a.txt");
    logger->LogMessage(lmError, "Bad", "line 3");
    const TLogState copy = logger->State();

    logger->LogContextItem("File", "b.txt");
    logger->LogExit();
    logger->LogMessage(lmEvent, "at root", "");

    QCOMPARE(copy.Depth(), 2);
    QCOMPARE(copy.Blocks[1].Caption, QStringLiteral("Run"));
    QCOMPARE(copy.Blocks[1].Context.size(), std::size_t(1));
    QCOMPARE(copy.Blocks[1].Context[0].Value, QStringLiteral("a.txt"));
    QCOMPARE(copy.Blocks[1].Messages[0].Text(), QStringLiteral("Error: Bad\r\nline 3"));
    QVERIFY(copy.Blocks[0].Messages.empty());

    TLogState assigned;
    assigned = copy;
    assigned.Blocks[1].Messages.clear();
    QCOMPARE(copy.Blocks[1].Messages.size(), std::size_t(1));
}

// ---- Exception logger ------------------------------------------------------

namespace {

struct TExceptionFixture {
    IStatefulLoggerPtr Stateful = CreateStatefulLogger();
    std::shared_ptr<TRecordingSink> Sink = std::make_shared<TRecordingSink>();
    IExceptionLoggerPtr Logger;

    TExceptionFixture() {
        Stateful->AddSink(Sink);
        Logger = CreateExceptionLogger(Stateful);
    }
    ~TExceptionFixture() {
        Logger.reset();
        Stateful->RemoveSink(Sink);
    }
};

} // namespace

void TestLoggerImpl::exceptionPassedThroughThreeHandlersLoggedOnce() {
    TExceptionFixture f;
    IExceptionLogger& log = *f.Logger;
    log.LogEntry("Level 1");
    try {
        log.LogEntry("Level 2");
        try {
            log.LogEntry("Level 3");
            try {
                log.LogEntry("Level 4");
                try {
                    throw EztException("Cannot read file");
                } catch (...) {
                    log.LogExit();
                    log.PassthroughException();
                }
            } catch (...) {
                log.LogExit();
                log.PassthroughException();
            }
        } catch (...) {
            log.LogExit();
            log.PassthroughException();
        }
    } catch (...) {
        log.StopException();
    }
    log.LogExit();
    QCOMPARE(f.Sink->Messages(), QStringList{"Exception 4 Level 3: Cannot read file|"});
}

void TestLoggerImpl::newContextLogsSameExceptionAgain_data() {
    QTest::addColumn<bool>("newBlock");
    QTest::newRow("new block") << true;
    QTest::newRow("new context item") << false;
}

void TestLoggerImpl::newContextLogsSameExceptionAgain() {
    QFETCH(bool, newBlock);
    TExceptionFixture f;
    IExceptionLogger& log = *f.Logger;
    log.LogEntry("Parse");
    try {
        try {
            throw EztException("Bad date");
        } catch (...) {
            log.PassthroughException();
        }
    } catch (...) {
        if (newBlock)
            log.LogEntry("Cleanup");
        else
            log.LogContextItem("Line", "12");
        try {
            log.PassthroughException();
        } catch (const EztException&) {
        }
        // Passing it on once more in the same context adds nothing.
        try {
            log.PassthroughException();
        } catch (const EztException&) {
        }
    }
    const QString second =
        newBlock ? "Exception 3 Cleanup: Bad date|" : "Exception 2 Parse: Bad date|";
    QCOMPARE(f.Sink->Messages(), (QStringList{"Exception 2 Parse: Bad date|", second}));
}

void TestLoggerImpl::stoppedExceptionRaisedAgainIsLoggedAgain() {
    TExceptionFixture f;
    for (int i = 0; i < 2; ++i) {
        try {
            throw EztException("Timeout");
        } catch (...) {
            f.Logger->StopException();
        }
    }
    QCOMPARE(f.Sink->Messages().size(), 2);
}

// A cancel leaves every block it crosses without an exception record; the
// messages logged with it still are.
void TestLoggerImpl::cancelPassesUnlogged() {
    TExceptionFixture f;
    IExceptionLogger& log = *f.Logger;
    log.LogEntry("Polling");
    try {
        try {
            throw EOperationCancelled();
        } catch (...) {
            log.PassthroughException();
        }
    } catch (const EOperationCancelled&) {
        log.StopExceptionWithMessage(lmWarning, "User cancelled operation", "");
    }
    log.LogExit();
    QCOMPARE(f.Sink->Messages(), QStringList{"Warning 2 Polling: User cancelled operation|"});
}

void TestLoggerImpl::passthroughRethrowsTheSameObject() {
    TExceptionFixture f;
    const EztException* thrown = nullptr;
    const EztException* caught = nullptr;
    try {
        try {
            throw EztException("original");
        } catch (const EztException& e) {
            thrown = &e;
            f.Logger->PassthroughException();
        }
    } catch (const EztException& e) {
        caught = &e;
        QCOMPARE(e.Message(), QStringLiteral("original"));
    }
    QVERIFY(thrown != nullptr);
    QCOMPARE(caught, thrown);
}

void TestLoggerImpl::freedExceptionNeverMistakenForNewOne() {
    // Each exception is logged and passed to a handler that does not tell the
    // logger; the next one may be allocated where the freed one lay.
    TExceptionFixture f;
    for (int i = 0; i < 3; ++i) {
        try {
            try {
                throw EztException(QStringLiteral("Failure %1").arg(i));
            } catch (...) {
                f.Logger->PassthroughException();
            }
        } catch (const EztException&) {
        }
    }
    const QStringList expected{"Exception 1 Orvane QB Export application: Failure 0|",
                               "Exception 1 Orvane QB Export application: Failure 1|",
                               "Exception 1 Orvane QB Export application: Failure 2|"};
    QCOMPARE(f.Sink->Messages(), expected);
}

void TestLoggerImpl::withMessageVariants() {
    TExceptionFixture f;
    IExceptionLogger& log = *f.Logger;
    log.LogEntry("Export");
    try {
        try {
            throw EztException("Cannot connect");
        } catch (...) {
            log.PassthroughExceptionWithMessage(lmWarning, "Export failed", "");
        }
    } catch (...) {
        // Already logged: only the message this time.
        try {
            log.PassthroughExceptionWithMessage(lmError, "Run failed", "again");
        } catch (const EztException&) {
        }
        log.StopExceptionWithMessage(lmWarning, "Giving up", "");
    }
    try {
        throw EztException("Second");
    } catch (...) {
        log.StopExceptionWithMessage(lmEvent, "Continuing", "");
    }
    const QStringList expected{
        "Exception 2 Export: Cannot connect|", "Warning 2 Export: Export failed|",
        "Error 2 Export: Run failed|again",    "Warning 2 Export: Giving up|",
        "Exception 2 Export: Second|",         "Event 2 Export: Continuing|"};
    QCOMPARE(f.Sink->Messages(), expected);
}

void TestLoggerImpl::misuseAsserts_data() {
    QTest::addColumn<std::function<void(IExceptionLogger&)>>("operation");
    using Op = std::function<void(IExceptionLogger&)>;
    QTest::newRow("PassthroughException")
        << Op([](IExceptionLogger& l) { l.PassthroughException(); });
    QTest::newRow("StopException") << Op([](IExceptionLogger& l) { l.StopException(); });
    QTest::newRow("PassthroughExceptionWithMessage")
        << Op([](IExceptionLogger& l) { l.PassthroughExceptionWithMessage(lmWarning, "m", ""); });
    QTest::newRow("StopExceptionWithMessage")
        << Op([](IExceptionLogger& l) { l.StopExceptionWithMessage(lmWarning, "m", ""); });
}

// Outside a handler there is no exception to log.
void TestLoggerImpl::misuseAsserts() {
    QFETCH(std::function<void(IExceptionLogger&)>, operation);
    TExceptionFixture f;
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, operation(*f.Logger));
    QVERIFY(f.Sink->Messages().isEmpty());
}

namespace {

const int FailingAssertionLine = __LINE__ + 2;
void FailAssertion() {
    OrvAssert(1 + 1 == 3);
}

} // namespace

void TestLoggerImpl::foreignExceptionsLoggedWithTheirText_data() {
    QTest::addColumn<std::function<void()>>("raise");
    QTest::addColumn<QString>("logged");
    using Raise = std::function<void()>;
    QTest::newRow("std::out_of_range")
        << Raise([] { throw std::out_of_range("index 7 is out of range"); })
        << "index 7 is out of range|Type: std::out_of_range";
    QTest::newRow("std::bad_alloc")
        << Raise([] { throw std::bad_alloc(); }) << "std::bad_alloc|Type: std::bad_alloc";
    QTest::newRow("text with details")
        << Raise([] { throw std::runtime_error("Failed\n\nstep 2"); })
        << "Failed|Type: std::runtime_error\r\nstep 2";
    QTest::newRow("no exception class") << Raise([] { throw 7; }) << "Unknown exception|";
    QTest::newRow("assertion") << Raise(FailAssertion)
                               << QStringLiteral("Assertion failure|File: tst_loggerimpl.cpp\r\n"
                                                 "Line: %1\r\nCondition: 1 + 1 == 3")
                                      .arg(FailingAssertionLine);
}

// Logged once where it is first handled, and passed on as it was.
void TestLoggerImpl::foreignExceptionsLoggedWithTheirText() {
    QFETCH(std::function<void()>, raise);
    QFETCH(QString, logged);
    TExceptionFixture f;
    f.Logger->LogEntry("Work");
    std::exception_ptr inner;
    try {
        try {
            raise();
        } catch (...) {
            inner = std::current_exception();
            f.Logger->PassthroughException();
        }
    } catch (...) {
        QVERIFY(std::current_exception() == inner);
        f.Logger->StopException();
    }
    f.Logger->LogExit();
    QCOMPARE(f.Sink->Messages(), QStringList{"Exception 2 Work: " + logged});
}

void TestLoggerImpl::controlCharactersEnterEscaped() {
    const IStatefulLoggerPtr logger = CreateStatefulLogger();
    const auto sink = std::make_shared<TRecordingSink>();
    logger->AddSink(sink);
    const QString nul(QChar(0));
    logger->LogEntry("Check " + nul);
    logger->LogContextItem("Memo\x1b", "Pay" + nul + "day\r\n\tnext");
    logger->LogMessage(lmError, "Bad \x7f", "at\x01");
    logger->LogExit();
    logger->RemoveSink(sink);
    const QStringList expected{"entry 2 Check \\x00", "item 2 Memo\\x1B=Pay\\x00day\r\n\tnext",
                               "Error 2 Check \\x00: Bad \\x7F|at\\x01", "exit 2 Check \\x00"};
    QCOMPARE(sink->Events, expected);
}

void TestLoggerImpl::messageDetailsSplit_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("details");
    QTest::newRow("message and details") << "Cannot read file\r\n\r\nLine 12: bad date"
                                         << "Cannot read file"
                                         << "Line 12: bad date";
    QTest::newRow("single breaks join with blanks") << "first\r\nsecond"
                                                    << "first  second"
                                                    << "";
    QTest::newRow("LF only") << "a\nb\n\nc\nd"
                             << "a  b"
                             << "c\r\nd";
    QTest::newRow("lone CR") << "a\r\rb"
                             << "a"
                             << "b";
    QTest::newRow("CR then LF CR LF") << "a\r\n\r\r\nb"
                                      << "a"
                                      << "\r\nb";
    QTest::newRow("three breaks keep one in details") << "a\n\n\nb"
                                                      << "a"
                                                      << "\r\nb";
    QTest::newRow("empty line first") << "\r\n\r\nonly details"
                                      << ""
                                      << "only details";
    QTest::newRow("trailing empty line") << "msg\r\n\r\n"
                                         << "msg"
                                         << "";
    QTest::newRow("plain") << "Plain"
                           << "Plain"
                           << "";
}

void TestLoggerImpl::messageDetailsSplit() {
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(QString, details);
    TExceptionFixture f;
    try {
        throw EztException(text);
    } catch (...) {
        f.Logger->StopException();
    }
    const TExceptionText split = SplitExceptionMessage(text);
    QCOMPARE(split.Message, message);
    QCOMPARE(split.Details, details);
    QCOMPARE(f.Sink->Messages(),
             QStringList{"Exception 1 Orvane QB Export application: " + message + '|' + details});
}

void TestLoggerImpl::longDetailsAreCut() {
    const QString details(MaxExceptionDetails + 50, u'x');
    QCOMPARE(SplitExceptionMessage("m\r\n\r\n" + details).Details.size(), MaxExceptionDetails);
    QCOMPARE(SplitExceptionMessage("m\r\n\r\n" + details.left(MaxExceptionDetails)).Details.size(),
             MaxExceptionDetails);

    // A character outside the BMP straddling the cut is dropped whole.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString straddling = QString(MaxExceptionDetails - 1, u'x') + emoji;
    const QString cut = SplitExceptionMessage("m\r\n\r\n" + straddling).Details;
    QCOMPARE(cut.size(), MaxExceptionDetails - 1);
    QVERIFY(!cut.back().isSurrogate());
}

void TestLoggerImpl::exceptionLoggerAnnouncesItself() {
    const IStatefulLoggerPtr logger = CreateStatefulLogger();
    const auto sink = std::make_shared<TRecordingSink>();
    logger->AddSink(sink);
    CreateExceptionLogger(logger).reset();
    logger->RemoveSink(sink);
    const QStringList expected{
        "Debug 1 Orvane QB Export application: Exception logger created|",
        "Debug 1 Orvane QB Export application: Destroying exception logger|"};
    QCOMPARE(sink->Events, expected);
}

QTEST_GUILESS_MAIN(TestLoggerImpl)
#include "tst_loggerimpl.moc"
