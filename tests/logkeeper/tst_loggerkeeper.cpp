#include "RecordingSink.h"
#include "TestPlatform.h"
#include "TestSupport.h"

#include "base/RegionalSettings.h"
#include "logkeeper/vlxLogRecorder.h"
#include "logkeeper/vlxLoggerKeeper.h"
#include "settings/vlxRedir.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A redirection built from entries, without a file.
TRedirectionFactory FakeRedirection(TRedirectionEntries directories,
                                    TRedirectionEntries fileNames) {
    return [directories, fileNames] {
        return std::make_shared<TGenericRedirection>(directories, fileNames, TRedirectionPlaces(),
                                                     QString());
    };
}

} // namespace

class TestLoggerKeeper : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstSinkSeesTheChainFromItsCreation();
    void keeperWithoutFirstSink();
    void userLogStartAndStopMessages();
    void userLogFileGetsNoDebugRecords();
    void userLogFileAppendsAcrossRuns();
    void secondStartReplacesTheFile();
    void closeUserLogFileKeepsLogging();
    void deletedUserLogFileIsStartedAnew();
    void userLogSurvivesACrash();
    void startUpWithRedirection_data();
    void startUpWithRedirection();
    void startUpInfo();
    void recordPlainText();
    void recordHtml();
    void recordingTwiceIsAProgrammingError();
    void htmlRecordingWithoutTemplatesFails();
    void htmlRecordingWithoutRedirectionFails();
};

void TestLoggerKeeper::firstSinkSeesTheChainFromItsCreation() {
    auto view = std::make_shared<TRecordingSink>();
    {
        TCommonLoggerKeeper keeper(view);
        keeper.Logger()->LogEvent("Hello");
    }
    // The root block's entry precedes the sink; destruction detaches the view
    // before the exception logger says goodbye.
    const QStringList expected{
        "Debug 1 Orvane QB Export application: Exception logger created|",
        "Event 1 Orvane QB Export application: Hello|",
        "Debug 1 Orvane QB Export application: Stopping to write user log to file|",
        "Debug 1 Orvane QB Export application: Stopped to write user log to file|"};
    QCOMPARE(view->Events, expected);
}

void TestLoggerKeeper::keeperWithoutFirstSink() {
    TCommonLoggerKeeper keeper;
    auto sink = std::make_shared<TRecordingSink>();
    keeper.StatefulLogger()->AddSink(sink);
    keeper.Logger()->LogWarning("Careful");
    keeper.StatefulLogger()->RemoveSink(sink);
    QCOMPARE(sink->Events, QStringList{"Warning 1 Orvane QB Export application: Careful|"});
    QCOMPARE(keeper.UserLogFileName(), QString());
}

void TestLoggerKeeper::userLogStartAndStopMessages() {
    QTemporaryDir dir;
    const QString path = dir.filePath("logs/user.log");
    auto developer = std::make_shared<TRecordingSink>();
    TCommonLoggerKeeper keeper(developer);
    keeper.StartUserLogFile(path);
    QCOMPARE(keeper.UserLogFileName(), path);
    keeper.StopUserLogFile();
    QCOMPARE(keeper.UserLogFileName(), QString());
    // Stopping again still says so.
    keeper.StopUserLogFile();
    const QString root = QStringLiteral("Debug 1 Orvane QB Export application: ");
    const QStringList expected{root + "Exception logger created|",
                               root + "Starting to write user log to file <" + path + ">|",
                               root + "Started to write user log to file <" + path + ">|",
                               root + "Stopping to write user log to file|",
                               root + "Stopped to write user log to file|",
                               root + "Stopping to write user log to file|",
                               root + "Stopped to write user log to file|"};
    QCOMPARE(developer->Events, expected);
}

void TestLoggerKeeper::userLogFileGetsNoDebugRecords() {
    QTemporaryDir dir;
    const QString path = dir.filePath("user.log");
    {
        TCommonLoggerKeeper keeper;
        keeper.StartUserLogFile(path);
        ICommonLogger& log = *keeper.Logger();
        {
            TLogBlockGuard block(log, "Reading file");
            log.LogContextItem("File", "s1910.txt");
            log.LogDebug("not for the user");
            log.LogError("The file is empty");
        }
        // Every record is on disk as soon as it is logged, before any close.
        QCOMPARE(testsupport::ReadFile(path),
                 QByteArray("Error: The file is empty\r\nContext:\r\nReading file\r\n"
                            "File: s1910.txt\r\n\r\n"));
    }
    // The keeper's own stop and destruction messages are debug records too.
    QCOMPARE(testsupport::ReadFile(path),
             QByteArray("Error: The file is empty\r\nContext:\r\nReading file\r\n"
                        "File: s1910.txt\r\n\r\n"));
}

void TestLoggerKeeper::userLogFileAppendsAcrossRuns() {
    QTemporaryDir dir;
    const QString path = dir.filePath("user.log");
    for (const char* message : {"first run", "second run"}) {
        TCommonLoggerKeeper keeper;
        keeper.StartUserLogFile(path);
        keeper.Logger()->LogEvent(message);
        keeper.StopUserLogFile();
    }
    QCOMPARE(testsupport::ReadFile(path),
             QByteArray("Event: first run\r\n\r\nEvent: second run\r\n\r\n"));
}

void TestLoggerKeeper::secondStartReplacesTheFile() {
    QTemporaryDir dir;
    const QString first = dir.filePath("first.log");
    const QString second = dir.filePath("second.log");
    TCommonLoggerKeeper keeper;
    keeper.StartUserLogFile(first);
    keeper.Logger()->LogEvent("one");
    keeper.StartUserLogFile(second);
    keeper.Logger()->LogEvent("two");
    QCOMPARE(keeper.UserLogFileName(), second);
    QCOMPARE(testsupport::ReadFile(first), QByteArray("Event: one\r\n\r\n"));
    QCOMPARE(testsupport::ReadFile(second), QByteArray("Event: two\r\n\r\n"));
}

void TestLoggerKeeper::closeUserLogFileKeepsLogging() {
    QTemporaryDir dir;
    const QString path = dir.filePath("user.log");
    TCommonLoggerKeeper keeper;
    keeper.CloseUserLogFile(); // nothing to close yet
    keeper.StartUserLogFile(path);
    keeper.Logger()->LogEvent("before");
    keeper.CloseUserLogFile();
    QCOMPARE(keeper.UserLogFileName(), path);
    keeper.Logger()->LogEvent("after");
    QCOMPARE(testsupport::ReadFile(path), QByteArray("Event: before\r\n\r\nEvent: after\r\n\r\n"));
}

void TestLoggerKeeper::deletedUserLogFileIsStartedAnew() {
    QTemporaryDir dir;
    const QString path = dir.filePath("user.log");
    TCommonLoggerKeeper keeper;
    keeper.StartUserLogFile(path);
    keeper.Logger()->LogEvent("gone");
    const QString undeletable = testsupport::OpenFilesCannotBeDeleted();
    if (!undeletable.isEmpty())
        QSKIP(qPrintable(undeletable));
    QVERIFY(QFile::remove(path));
    // Without a check the records would go to the deleted file's inode.
    keeper.Logger()->LogEvent("kept");
    QCOMPARE(testsupport::ReadFile(path), QByteArray("Event: kept\r\n\r\n"));
}

void TestLoggerKeeper::userLogSurvivesACrash() {
    QTemporaryDir dir;
    const QString path = dir.filePath("user.log");
    {
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("Event: earlier run\r\n\r\n");
    }
    QProcess crasher;
    crasher.start(ORVQ_LOGCRASHER, {path, "500"});
    QVERIFY(crasher.waitForFinished(-1));
    QVERIFY(testsupport::EndedByCrash(crasher));
    QByteArray expected("Event: earlier run\r\n\r\n");
    for (int i = 1; i <= 500; ++i)
        expected += "Event: record " + QByteArray::number(i) + "\r\n\r\n";
    QCOMPARE(testsupport::ReadFile(path), expected);
}

void TestLoggerKeeper::startUpWithRedirection_data() {
    QTest::addColumn<TRedirectionEntries>("fileNames");
    QTest::addColumn<QString>("exception");
    QTest::newRow("Log alias") << TRedirectionEntries{{"Log", "%UserLogs%/OrvQ.log"}} << QString();
    QTest::newRow("no Log alias") << TRedirectionEntries{{"SevenZipDll", "/usr/lib/p7zip/7z.so"}}
                                  << "Exception 1 Orvane QB Export application: "
                                     "Cannot find redirection for file alias <Log>|";
    QTest::newRow("unknown reference") << TRedirectionEntries{{"Log", "%Nowhere%/OrvQ.log"}}
                                       << "Exception 1 Orvane QB Export application: "
                                          "Redirection: syntax error: Cannot expand <%Nowhere%>|";
}

void TestLoggerKeeper::startUpWithRedirection() {
    QFETCH(TRedirectionEntries, fileNames);
    QFETCH(QString, exception);
    QTemporaryDir dir;
    auto view = std::make_shared<TRecordingSink>();
    TCommonLoggerKeeper keeper(view);
    StartUserLogFromRedirection(keeper, FakeRedirection({{"UserLogs", dir.path()}}, fileNames));
    // Either way the program runs on and logs.
    keeper.Logger()->LogEvent("Running");
    QStringList exceptions;
    for (const QString& event : view->Events)
        if (event.startsWith(u"Exception"))
            exceptions << event;
    if (exception.isEmpty()) {
        QCOMPARE(exceptions, QStringList());
        QCOMPARE(keeper.UserLogFileName(), dir.path() + "/OrvQ.log");
        QCOMPARE(testsupport::ReadFile(dir.filePath("OrvQ.log")),
                 QByteArray("Event: Running\r\n\r\n"));
    } else {
        QCOMPARE(exceptions, QStringList{exception});
        QCOMPARE(keeper.UserLogFileName(), QString());
    }
}

void TestLoggerKeeper::startUpInfo() {
    TRegionalSettingsOverride regional({TDateOrder::DayMonthYear, u'.', u','});
    auto sink = std::make_shared<TRecordingSink>();
    TCommonLoggerKeeper keeper(sink);
    LogStartupInfo(*keeper.Logger(), "Orvane QB Export 1.2.0",
                   QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9)));
    const QStringList expected{
        "Debug 1 Orvane QB Export application: Exception logger created|",
        "Debug 1 Orvane QB Export application: Caption: Orvane QB Export 1.2.0|",
        "Debug 1 Orvane QB Export application: Timestamp: 7.3.2026 14:05:09|"};
    QCOMPARE(sink->Events, expected);
}

void TestLoggerKeeper::recordPlainText() {
    TCommonLoggerKeeper keeper;
    TLogRecorder recorder(keeper.StatefulLogger(), "Orvane QB Export", {});
    ICommonLogger& log = *keeper.Logger();
    log.LogEvent("before the run");
    recorder.StartRecording(false);
    QVERIFY(recorder.IsRecording());
    {
        TLogBlockGuard run(log, "Checks export");
        log.LogContextItem("Report", "S1910");
        log.LogDebug("not recorded");
        log.LogWarning("Check 1001 skipped");
    }
    log.LogEvent("Done");
    QCOMPARE(recorder.StopRecording(),
             QString("Warning: Check 1001 skipped\r\nContext:\r\nChecks export\r\nReport: "
                     "S1910\r\n\r\nEvent: Done\r\n\r\n"));
    log.LogEvent("after the run");
    // The text stays until the next recording, which starts empty.
    QCOMPARE(recorder.StopRecording(),
             QString("Warning: Check 1001 skipped\r\nContext:\r\nChecks export\r\nReport: "
                     "S1910\r\n\r\nEvent: Done\r\n\r\n"));
    recorder.StartRecording(false);
    QCOMPARE(recorder.StopRecording(), QString());
}

void TestLoggerKeeper::recordHtml() {
    TCommonLoggerKeeper keeper;
    TLogRecorder recorder(keeper.StatefulLogger(), "Orvane QB Export",
                          [] { return testsupport::DataPath("logging/templates/"); });
    ICommonLogger& log = *keeper.Logger();
    recorder.StartRecording(true);
    log.LogEvent("Started");
    log.LogDebug("hidden");
    log.LogError("Failed");
    QCOMPARE(recorder.StopRecording(), QString("<h1>Orvane QB Export log</h1>\r\n"
                                               "<div class=\"info\">Started</div>\r\n"
                                               "<div class=\"error\">Failed</div>\r\n"
                                               "<end/>\r\n"));
    QVERIFY(!recorder.IsRecording());
}

void TestLoggerKeeper::recordingTwiceIsAProgrammingError() {
    TCommonLoggerKeeper keeper;
    TLogRecorder recorder(keeper.StatefulLogger(), "Orvane QB Export", {});
    recorder.StartRecording(false);
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, recorder.StartRecording(false));
    keeper.Logger()->LogEvent("still one recording");
    QCOMPARE(recorder.StopRecording(), QString("Event: still one recording\r\n\r\n"));
}

void TestLoggerKeeper::htmlRecordingWithoutTemplatesFails() {
    QTemporaryDir empty;
    TCommonLoggerKeeper keeper;
    TLogRecorder recorder(keeper.StatefulLogger(), "Orvane QB Export",
                          [&empty]() -> QString { return empty.path() + "/"; });
    QVERIFY_THROWS_EXCEPTION(EztException, recorder.StartRecording(true));
    // Nothing stays attached: a plain recording can start afterwards.
    QVERIFY(!recorder.IsRecording());
    recorder.StartRecording(false);
    keeper.Logger()->LogEvent("plain");
    QCOMPARE(recorder.StopRecording(), QString("Event: plain\r\n\r\n"));
}

void TestLoggerKeeper::htmlRecordingWithoutRedirectionFails() {
    // The test program has no redirection file: the templates' folder is
    // looked up through it and the failure reaches the caller.
    TCommonLoggerKeeper keeper;
    const TRedirectionFactory redirection =
        ProgramRedirection(QCoreApplication::applicationFilePath());
    TLogRecorder recorder(keeper.StatefulLogger(), "Orvane QB Export",
                          [redirection] { return redirection()->GetDirectory("HTMLTemplates"); });
    QVERIFY_THROWS_EXCEPTION(ERedirectionFileNotFound, recorder.StartRecording(true));
    QVERIFY(!recorder.IsRecording());
}

QTEST_GUILESS_MAIN(TestLoggerKeeper)
#include "tst_loggerkeeper.moc"
