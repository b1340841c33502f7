#include "RecordingSink.h"
#include "SevenZipTool.h"
#include "TestPlatform.h"
#include "TestSupport.h"

#include "logkeeper/vlxLogArchiveDefaults.h"
#include "logkeeper/vlxSendMailLoggerView.h"
#include "settings/vlxRedir.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

namespace {

const QString Password = QStringLiteral("Test-pass 9");
const QString Program = QStringLiteral("orvq");
const QDateTime PackTime(QDate(2026, 3, 7), QTime(14, 5, 9));
const QString ArchiveName = QStringLiteral("orvq-debug-log-2026-03-07-1405.7z");
const QString SendCaption = QStringLiteral("Send debug log by e-mail...");
const QString PackCaption = QStringLiteral("Pack debug log and open folder");

// Commands seen, and the exit codes to answer in turn (0 when none left).
struct TScriptedRunner {
    QList<TShellCommand> Commands;
    QList<int> ExitCodes;
    // Whether the archive existed while the composer had it.
    QStringList ExistingAttachments;

    TCommandRunner Runner() {
        return [this](const TShellCommand& command) {
            Commands << command;
            const qsizetype attach = command.Arguments.indexOf("--attach");
            if (attach >= 0 && QFileInfo::exists(command.Arguments.value(attach + 1)))
                ExistingAttachments << command.Arguments.value(attach + 1);
            return ExitCodes.isEmpty() ? 0 : ExitCodes.takeFirst();
        };
    }
};

// One program run's log page: keeper, view sink, in-memory logs.
struct TScene {
    QTemporaryDir Dir;
    std::shared_ptr<TRecordingSink> View = std::make_shared<TRecordingSink>();
    TCommonLoggerKeeper Keeper{View};
    TScriptedRunner Runner;
    TRedirectionEntries Directories;
    TRedirectionEntries FileNames;
    std::unique_ptr<TSendMailLogs> Logs;

    TScene() {
        Directories = {{"LogArchives", Dir.filePath("archives")}};
        FileNames = {{"SevenZipDll", sevenziptool::LibraryPath()}};
        TSendMailLogServices services;
        services.Redirection = [this] {
            return std::make_shared<TGenericRedirection>(Directories, FileNames,
                                                         TRedirectionPlaces(), QString());
        };
        services.Now = [] { return PackTime; };
        services.ProgramName = Program;
        services.Runner = Runner.Runner();
        Logs = std::make_unique<TSendMailLogs>(Keeper, services);
        Logs->SetArchivePassword(Password);
        Logs->SetMailRecipients("support@orvane.example\n\nsecond@orvane.example\n");
    }
    QString ArchiveFolder() const { return Dir.filePath("archives"); }
    QStringList Archives() const {
        return QDir(ArchiveFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    QStringList Exceptions() const {
        QStringList result;
        for (const QString& event : View->Events)
            if (event.startsWith("Exception"))
                result << event;
        return result;
    }
};

QMap<QString, QByteArray> Unpack(const QString& archive) {
    bool ok = false;
    const auto files = sevenziptool::Extract(archive, Password, ok);
    if (!ok)
        qWarning("7z could not extract %s", qPrintable(archive));
    return files;
}

} // namespace

class TestSendMailLogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void inMemoryLogs();
    void startUpSequence_data();
    void startUpSequence();
    void packWithUserLogFile();
    void packWithoutUserLogFile();
    void packTwiceInOneMinuteReplaces();
    void packWithoutPasswordIsRefused();
    void packFailures_data();
    void packFailures();
    void deletedUserLogFile();
    void fullDiskLeavesNoArchive();
    void packAndShow();
    void showFallsBackToTheFolder();
    void showFailureIsLogged();
    void sendMail();
    void sendMailFailures_data();
    void sendMailFailures();
};

void TestSendMailLogs::initTestCase() {
    umask(022);
    if (const QString why = testsupport::SevenZipLibraryNotBuilt(sevenziptool::LibraryPath());
        !why.isEmpty())
        QSKIP(qPrintable(why));
    const QString missing = sevenziptool::MissingTools();
    if (!missing.isEmpty())
        QFAIL(qPrintable(missing));
}

void TestSendMailLogs::inMemoryLogs() {
    TScene scene;
    ICommonLogger& log = *scene.Keeper.Logger();
    {
        TLogBlockGuard block(log, "Run");
        log.LogDebug("for developers");
        log.LogEvent("for users");
    }
    const QString developer = QString::fromUtf8(scene.Logs->DeveloperLog());
    // The chain's own creation record came before the logs existed.
    QVERIFY(!developer.contains("Exception logger created"));
    QVERIFY(developer.contains("enter Run\r\n"));
    QVERIFY(developer.contains("Debug: for developers"));
    QVERIFY(developer.contains("Event: for users"));
    QCOMPARE(scene.Logs->UserLog(), QByteArray("Event: for users\r\n\r\n"));
}

void TestSendMailLogs::startUpSequence_data() {
    QTest::addColumn<bool>("logAlias");
    QTest::newRow("Log alias") << true;
    QTest::newRow("no Log alias") << false;
}

void TestSendMailLogs::startUpSequence() {
    QFETCH(bool, logAlias);
    TScene scene;
    const QString userLog = scene.Dir.filePath("OrvQ.log");
    if (logAlias)
        scene.FileNames.append(qMakePair(QString("Log"), userLog));
    scene.Logs->SetArchivePassword(QString());
    TRedirectionFactory redirection = [&scene] {
        return std::make_shared<TGenericRedirection>(scene.Directories, scene.FileNames,
                                                     TRedirectionPlaces(), QString());
    };
    StartUserLogFromRedirection(scene.Keeper, redirection);
    scene.Logs->SetArchivePassword(LogArchivePassword(nullptr));
    scene.Logs->SetMailRecipients(LogMailRecipients(nullptr));
    LogStartupInfo(*scene.Keeper.Logger(), "Orvane QB Export", PackTime);
    scene.Keeper.Logger()->LogEvent("Running");

    // The start messages reach the in-memory developer log, never the file.
    const QByteArray developer = scene.Logs->DeveloperLog();
    const QByteArray started =
        QString("Debug: Started to write user log to file <" + userLog + ">").toUtf8();
    QCOMPARE(developer.contains(started), logAlias);
    QVERIFY(developer.contains("Debug: Caption: Orvane QB Export"));
    QCOMPARE(scene.Exceptions(),
             logAlias ? QStringList()
                      : QStringList{"Exception 1 Orvane QB Export application: Cannot find "
                                    "redirection for file alias <Log>|"});
    QCOMPARE(scene.Logs->MailRecipients(), DefaultLogMailRecipients());

    // The password came with the start-up: packing works, with the user log
    // file only when there is one.
    bool ok = false;
    const auto files = sevenziptool::Extract(scene.Logs->PackLogs(scene.ArchiveFolder(), PackTime),
                                             DefaultLogArchivePassword(), ok);
    QVERIFY(ok);
    if (logAlias) {
        QCOMPARE(files.keys(), (QStringList{"OrvQ.log", "session-debug.log", "session-user.log"}));
        QCOMPARE(files["OrvQ.log"], QByteArray("Event: Running\r\n\r\n"));
    } else {
        QCOMPARE(files.keys(), (QStringList{"session-debug.log", "session-user.log"}));
    }
}

void TestSendMailLogs::packWithUserLogFile() {
    TScene scene;
    const QString userLog = scene.Dir.filePath("logs/OrvQ.log");
    scene.Keeper.StartUserLogFile(userLog);
    scene.Keeper.Logger()->LogWarning("Check 1001 skipped");
    const QString archive = scene.Logs->PackLogs(scene.ArchiveFolder() + "/", PackTime);
    QCOMPARE(archive, scene.ArchiveFolder() + "/" + ArchiveName);
    QCOMPARE(scene.Archives(), QStringList{ArchiveName});
    // Under the usual umask, kept to the user: the logs hold payroll data.
    for (const QString& path :
         {archive, scene.ArchiveFolder(), userLog, scene.Dir.filePath("logs")})
        QVERIFY2(testsupport::OthersAccess(path) == "0",
                 qPrintable(path + ": " + testsupport::OthersAccess(path)));

    const auto files = Unpack(archive);
    QCOMPARE(files.keys(), (QStringList{"OrvQ.log", "session-debug.log", "session-user.log"}));
    QCOMPARE(files["OrvQ.log"], testsupport::ReadFile(userLog));
    QCOMPARE(files["OrvQ.log"], QByteArray("Warning: Check 1001 skipped\r\n\r\n"));
    QCOMPARE(files["session-user.log"], scene.Logs->UserLog());
    QCOMPARE(files["session-debug.log"], scene.Logs->DeveloperLog());
    // The user log file was closed for packing and goes on afterwards.
    scene.Keeper.Logger()->LogEvent("after packing");
    QVERIFY(testsupport::ReadFile(userLog).endsWith("Event: after packing\r\n\r\n"));
}

void TestSendMailLogs::packWithoutUserLogFile() {
    TScene scene;
    scene.Keeper.Logger()->LogEvent("no file");
    const QString archive = scene.Logs->PackLogs(scene.ArchiveFolder(), PackTime);
    const auto files = Unpack(archive);
    QCOMPARE(files.keys(), (QStringList{"session-debug.log", "session-user.log"}));
    QCOMPARE(files["session-user.log"], QByteArray("Event: no file\r\n\r\n"));
}

void TestSendMailLogs::packTwiceInOneMinuteReplaces() {
    TScene scene;
    scene.Keeper.Logger()->LogEvent("first");
    const QString first = scene.Logs->PackLogs(scene.ArchiveFolder(), PackTime);
    scene.Keeper.Logger()->LogEvent("second");
    const QString second = scene.Logs->PackLogs(scene.ArchiveFolder(), PackTime.addSecs(40));
    QCOMPARE(second, first);
    QCOMPARE(scene.Archives(), QStringList{ArchiveName});
    QCOMPARE(Unpack(second)["session-user.log"],
             QByteArray("Event: first\r\n\r\nEvent: second\r\n\r\n"));
}

void TestSendMailLogs::packWithoutPasswordIsRefused() {
    TScene scene;
    scene.Logs->SetArchivePassword(QString());
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed,
                             scene.Logs->PackLogs(scene.ArchiveFolder(), PackTime));
    QCOMPARE(scene.Archives(), QStringList());
}

void TestSendMailLogs::packFailures_data() {
    QTest::addColumn<bool>("archivesAlias");
    QTest::addColumn<TRedirectionEntries>("fileNames");
    QTest::addColumn<bool>("blockFolder");
    QTest::addColumn<QString>("message");
    const TRedirectionEntries library{{"SevenZipDll", sevenziptool::LibraryPath()}};
    QTest::newRow("no LogArchives alias")
        << false << library << false << "Cannot find redirection for directory alias <LogArchives>";
    QTest::newRow("no SevenZipDll alias") << true << TRedirectionEntries{} << false
                                          << "Cannot find redirection for file alias <SevenZipDll>";
    QTest::newRow("library missing")
        << true << TRedirectionEntries{{"SevenZipDll", "/nonexistent/7z.so"}} << false
        << "Error loading library /nonexistent/7z.so";
    QTest::newRow("not a 7-Zip library")
        << true << TRedirectionEntries{{"SevenZipDll", "libm.so.6"}} << false
        << "libm.so.6 is not a 7z library";
    QTest::newRow("archive folder below a file")
        << true << library << true << "Cannot create the folder <%Work%/archives/>";
}

void TestSendMailLogs::packFailures() {
    QFETCH(bool, archivesAlias);
    QFETCH(TRedirectionEntries, fileNames);
    QFETCH(bool, blockFolder);
    QFETCH(QString, message);
    TScene scene;
    const QString work = scene.Dir.filePath("work");
    QVERIFY(QDir().mkpath(work));
    TRedirectionEntries directories{{"Work", work}};
    if (archivesAlias)
        directories.append(qMakePair(QString("LogArchives"), QString("%Work%/archives")));
    message.replace("%Work%", work);
    if (blockFolder) {
        QFile blocker(work + "/archives");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    scene.Directories = directories;
    scene.FileNames = fileNames;

    try {
        scene.Logs->PackAndShow(PackCaption);
        QFAIL("packing was reported as success");
    } catch (const EztException& error) {
        QCOMPARE(error.Message().section("\r\n", 0, 0), message);
    }
    // Logged once, inside the click's block, which is closed again.
    const QStringList exceptions = scene.Exceptions();
    QCOMPARE(exceptions.size(), 1);
    QVERIFY2(exceptions[0].startsWith("Exception 2 User clicked \"Pack debug log and open "
                                      "folder\": " +
                                      message),
             qPrintable(exceptions[0]));
    QVERIFY(scene.View->Events.last().startsWith("exit 2 User clicked"));
    QCOMPARE(scene.Runner.Commands.size(), 0);
    // Nothing packed anywhere: the folder is not even created.
    const QStringList left =
        QDir(work).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(left, blockFolder ? QStringList{"archives"} : QStringList());
}

void TestSendMailLogs::deletedUserLogFile() {
    TScene scene;
    const QString userLog = scene.Dir.filePath("OrvQ.log");
    scene.Keeper.StartUserLogFile(userLog);
    scene.Keeper.Logger()->LogEvent("written");
    scene.Keeper.CloseUserLogFile();
    QVERIFY(QFile::remove(userLog));
    try {
        scene.Logs->PackLogs(scene.ArchiveFolder(), PackTime);
        QFAIL("packing a deleted user log file was reported as success");
    } catch (const EztException& error) {
        QCOMPARE(error.Message(), "Cannot open file <" + userLog + ">. No such file or directory");
    }
    QCOMPARE(scene.Archives(), QStringList());
}

void TestSendMailLogs::fullDiskLeavesNoArchive() {
    if (const QString why = testsupport::TFileSizeLimit::Unsupported(); !why.isEmpty())
        QSKIP(qPrintable(why));
    TScene scene;
    // Enough incompressible text to exceed the file size limit below.
    QByteArray noise;
    quint32 x = 12345;
    for (int i = 0; i < 300000; ++i) {
        x = x * 1103515245u + 12345u;
        noise += char('!' + (x >> 16) % 90);
    }
    scene.Keeper.Logger()->LogEvent(QString::fromLatin1(noise));
    // An older archive of the same name must survive the failed replacement.
    QVERIFY(QDir().mkpath(scene.ArchiveFolder()));
    const QString archive = scene.ArchiveFolder() + "/" + ArchiveName;
    {
        QFile old(archive);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("older archive");
    }

    // The file size limit stands in for a full disk: writes beyond it fail.
    QString message;
    {
        const testsupport::TFileSizeLimit limit(64 * 1024);
        QVERIFY(limit.Active());
        try {
            scene.Logs->PackLogs(scene.ArchiveFolder(), PackTime);
        } catch (const EztException& error) {
            message = error.Message();
        }
    }

    QVERIFY2(message.startsWith("Cannot write file <" + archive + ">. "), qPrintable(message));
    QCOMPARE(scene.Archives(), QStringList{ArchiveName});
    QCOMPARE(testsupport::ReadFile(archive), QByteArray("older archive"));
}

void TestSendMailLogs::packAndShow() {
    TScene scene;
    const QString archive = scene.Logs->PackAndShow(PackCaption);
    QCOMPARE(archive, scene.ArchiveFolder() + "/" + ArchiveName);
    QCOMPARE(scene.Archives(), QStringList{ArchiveName});
    QCOMPARE(scene.Runner.Commands.size(), 1);
    const TShellCommand& show = scene.Runner.Commands[0];
    QCOMPARE(show.Program, QString("gdbus"));
    QCOMPARE(
        show.Arguments,
        (QStringList{"call", "--session", "--dest", "org.freedesktop.FileManager1", "--object-path",
                     "/org/freedesktop/FileManager1", "--method",
                     "org.freedesktop.FileManager1.ShowItems", "['file://" + archive + "']", ""}));
    // The archive holds the click's block as far as it had got.
    const QByteArray debug = Unpack(archive)["session-debug.log"];
    QVERIFY(debug.contains("enter User clicked \"Pack debug log and open folder\""));
    QCOMPARE(scene.Exceptions(), QStringList());
}

void TestSendMailLogs::showFallsBackToTheFolder() {
    TScene scene;
    scene.Runner.ExitCodes = {1, 0};
    scene.Logs->PackAndShow(PackCaption);
    QCOMPARE(scene.Runner.Commands.size(), 2);
    QCOMPARE(scene.Runner.Commands[1].Program, QString("xdg-open"));
    QCOMPARE(scene.Runner.Commands[1].Arguments, QStringList{scene.ArchiveFolder()});
}

void TestSendMailLogs::showFailureIsLogged() {
    TScene scene;
    scene.Runner.ExitCodes = {-1, -1};
    QVERIFY_THROWS_EXCEPTION(EztException, scene.Logs->PackAndShow(PackCaption));
    QCOMPARE(scene.Exceptions().size(), 1);
    QVERIFY(scene.Exceptions()[0].contains("Cannot show the file <"));
    // Packing worked; the archive stays for the user to find.
    QCOMPARE(scene.Archives(), QStringList{ArchiveName});
}

void TestSendMailLogs::sendMail() {
    TScene scene;
    scene.Logs->PackAndSendMail(SendCaption);
    QCOMPARE(scene.Runner.Commands.size(), 1);
    const TShellCommand& mail = scene.Runner.Commands[0];
    const QString archive = scene.ArchiveFolder() + "/" + ArchiveName;
    QCOMPARE(mail.Program, QString("xdg-email"));
    QCOMPARE(mail.Arguments,
             (QStringList{"--utf8", "--subject", "Debug log - Orvane QB Export, 2026.03.07 14:05",
                          "--attach", archive, "support@orvane.example", "second@orvane.example"}));
    QCOMPARE(scene.Runner.ExistingAttachments, QStringList{archive});
    // xdg-email returns before the composer has read the file: it stays.
    QCOMPARE(scene.Archives(), QStringList{ArchiveName});
    QCOMPARE(scene.Exceptions(), QStringList());
}

void TestSendMailLogs::sendMailFailures_data() {
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString cancelled = "The user canceled one of the dialog boxes; no message was sent.";
    QTest::newRow("xdg-email missing") << -1 << cancelled;
    QTest::newRow("no composer") << 3 << cancelled;
    QTest::newRow("attachment missing")
        << 2 << "The specified attachment was not found. No message was sent.";
    QTest::newRow("attachment unreadable")
        << 5 << "The specified attachment could not be open; no message was sent.";
    QTest::newRow("composer failed")
        << 4 << "One or more unspecified errors occurred; no message was sent.";
}

void TestSendMailLogs::sendMailFailures() {
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    TScene scene;
    scene.Runner.ExitCodes = {exitCode};
    try {
        scene.Logs->PackAndSendMail(SendCaption);
        QFAIL("a failed mail was reported as success");
    } catch (const EMapiError& error) {
        QCOMPARE(error.Message(), message);
    }
    QCOMPARE(
        scene.Exceptions(),
        QStringList{"Exception 2 User clicked \"Send debug log by e-mail...\": " + message + "|"});
    QCOMPARE(scene.Runner.ExistingAttachments.size(), 1);
    QCOMPARE(scene.Archives(), QStringList());
}

QTEST_GUILESS_MAIN(TestSendMailLogs)
#include "tst_sendmaillogs.moc"
