#include "TestSupport.h"

#include "logkeeper/vlxLogArchiveDefaults.h"
#include "logging/vlxLoggerChain.h"
#include "logkeeper/vlxLoggerViewText.h"
#include "settings/ztSettings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using TScene = std::function<void(ICommonLogger&)>;

// Runs a scene with a list sink attached and returns its items.
std::vector<TLogViewItem> ListItems(const TScene& scene,
                                    TLogMessageList::TItemCaption caption = {}) {
    TLoggerChain chain = CreateLoggerChain();
    auto list = std::make_shared<TLogMessageList>(std::move(caption));
    {
        TScopedSink sink(chain.Stateful, list);
        scene(*chain.Common);
    }
    return list->Items();
}

// The state at the last message a scene logs, as the list kept it.
TLogState LastState(const TScene& scene) {
    const auto items = ListItems(scene);
    if (items.empty())
        qFatal("the scene logged no listed message");
    return items.back().State;
}

} // namespace

Q_DECLARE_METATYPE(TScene)

class TestLoggerViewText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void componentCaption_data();
    void componentCaption();
    void contextText_data();
    void contextText();
    void detailsText();
    void messageListKeepsCopies();
    void archiveDefaults();
    void settingsOverrideDefaults_data();
    void settingsOverrideDefaults();
    void readmeSupportLogExample();
};

void TestLoggerViewText::componentCaption_data() {
    QTest::addColumn<TScene>("scene");
    QTest::addColumn<QString>("caption");
    QTest::newRow("no component") << TScene([](ICommonLogger& log) {
        TLogBlockGuard run(log, "Run");
        log.LogContextItem("File", "a.txt");
        log.LogEvent("Done");
    }) << "Done";
    QTest::newRow("innermost block") << TScene([](ICommonLogger& log) {
        TLogBlockGuard run(log, "Run");
        log.LogContextItem("Component", "Checks export");
        log.LogEvent("Done");
    }) << "Checks export: Done";
    QTest::newRow("outer block only") << TScene([](ICommonLogger& log) {
        TLogBlockGuard run(log, "Run");
        log.LogContextItem("Component", "GL export");
        TLogBlockGuard line(log, "Line");
        log.LogContextItem("Line", "12");
        log.LogError("Bad date");
    }) << "GL export: Bad date";
    QTest::newRow("innermost wins over outer") << TScene([](ICommonLogger& log) {
        TLogBlockGuard run(log, "Run");
        log.LogContextItem("Component", "Outer");
        TLogBlockGuard inner(log, "Inner");
        log.LogContextItem("Component", "Inner");
        log.LogWarning("Skipped");
    }) << "Inner: Skipped";
    QTest::newRow("last item of a block") << TScene([](ICommonLogger& log) {
        TLogBlockGuard run(log, "Run");
        log.LogContextItem("Component", "First");
        log.LogContextItem("Component", "Second");
        log.LogEvent("Done");
    }) << "Second: Done";
    QTest::newRow("blank innermost hides outer") << TScene([](ICommonLogger& log) {
        TLogBlockGuard run(log, "Run");
        log.LogContextItem("Component", "Outer");
        TLogBlockGuard inner(log, "Inner");
        log.LogContextItem("Component", "  ");
        log.LogEvent("Done");
    }) << "Done";
    QTest::newRow("tag is case-sensitive") << TScene([](ICommonLogger& log) {
        TLogBlockGuard run(log, "Run");
        log.LogContextItem("component", "lower");
        log.LogEvent("Done");
    }) << "Done";
}

void TestLoggerViewText::componentCaption() {
    QFETCH(TScene, scene);
    QFETCH(QString, caption);
    const auto items = ListItems(scene, ComponentItemCaption);
    QCOMPARE(items.size(), size_t(1));
    QCOMPARE(items[0].Caption, caption);
}

void TestLoggerViewText::contextText_data() {
    QTest::addColumn<TScene>("scene");
    QTest::addColumn<QString>("text");
    QTest::newRow("root level") << TScene([](ICommonLogger& log) { log.LogEvent("Hello"); })
                                << "Orvane QB Export application:";
    QTest::newRow("nested with items")
        << TScene([](ICommonLogger& log) {
               TLogBlockGuard run(log, "Run");
               log.LogContextItem("File", "a.txt");
               log.LogContextItem("Report", "S1910");
               TLogBlockGuard empty(log, "No items");
               TLogBlockGuard line(log, "Line");
               log.LogContextItem("Text", "x\r\ny");
               log.LogError("Bad");
           })
        << "Orvane QB Export application:\r\nRun:\r\n  File: a.txt\r\n  Report: S1910\r\n"
           "\r\nNo items:\r\n\r\nLine:\r\n  Text: \r\n    x\r\n    y";
}

void TestLoggerViewText::contextText() {
    QFETCH(TScene, scene);
    QFETCH(QString, text);
    QCOMPARE(LogContextText(LastState(scene)), text);
}

void TestLoggerViewText::detailsText() {
    const TLogState state = LastState([](ICommonLogger& log) {
        try {
            throw EztException("Cannot read file\n\nLine 12: bad date");
        } catch (...) {
            log.StopException();
        }
    });
    QCOMPARE(LogMessageDetailsText(state), QString("Cannot read file\r\n\r\nLine 12: bad date"));
}

void TestLoggerViewText::messageListKeepsCopies() {
    TLoggerChain chain = CreateLoggerChain();
    int repaints = 0;
    auto list = std::make_shared<TLogMessageList>(TLogMessageList::TItemCaption(),
                                                  [&repaints] { ++repaints; });
    {
        TScopedSink sink(chain.Stateful, list);
        ICommonLogger& log = *chain.Common;
        TLogBlockGuard run(log, "Run");
        log.LogContextItem("File", "a.txt");
        log.LogDebug("never listed");
        log.LogError("Failed");
        log.LogWarning("Careful");
        log.LogEvent("Done");
    }
    // The blocks are closed now; the items still hold their context.
    const auto& items = list->Items();
    QCOMPARE(items.size(), size_t(3));
    QCOMPARE(repaints, 3);
    QCOMPARE(items[0].Caption, QString("Failed"));
    QCOMPARE(items[0].Icon, 0);
    QCOMPARE(items[1].Icon, 1);
    QCOMPARE(items[2].Icon, 2);
    QCOMPARE(items[0].State.Depth(), 2);
    QCOMPARE(items[0].State.Innermost().Context.front().Value, QString("a.txt"));
    QCOMPARE(items[0].State.Innermost().Messages.size(), size_t(2)); // debug, then the error
    QCOMPARE(LogContextText(items[2].State),
             QString("Orvane QB Export application:\r\nRun:\r\n  File: a.txt"));
}

void TestLoggerViewText::archiveDefaults() {
    const QString password = DefaultLogArchivePassword();
    const QString recipient = DefaultLogMailRecipients();
    QCOMPARE(password.size(), 9);
    QCOMPARE(recipient.size(), 22);
    QCOMPARE(recipient.count(u'@'), 1);
    // Printable, no blanks: both are typed into tools and mail headers.
    for (const QChar c : QString(password + recipient))
        QVERIFY(c.unicode() > 0x20 && c.unicode() < 0x7F);
    const unsigned char scrambled[] = {'a' ^ 0x11, 'b' ^ 0x11};
    QCOMPARE(UnscrambleText(scrambled, 2, 0x11), QString("ab"));
    QCOMPARE(LogArchivePassword(nullptr), password);
    QCOMPARE(LogMailRecipients(nullptr), recipient);
}

void TestLoggerViewText::settingsOverrideDefaults_data() {
    QTest::addColumn<QString>("storedPassword");
    QTest::addColumn<QString>("storedRecipients");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("recipients");
    const QString password = DefaultLogArchivePassword();
    const QString recipient = DefaultLogMailRecipients();
    QTest::newRow("nothing stored") << ""
                                    << "" << password << recipient;
    QTest::newRow("blank values") << "   "
                                  << " ; , " << password << recipient;
    QTest::newRow("own mailbox") << " bureau pass"
                                 << "help@bureau.example"
                                 << " bureau pass"
                                 << "help@bureau.example";
    QTest::newRow("several recipients")
        << ""
        << "a@bureau.example; b@bureau.example,\nc@bureau.example" << password
        << "a@bureau.example\nb@bureau.example\nc@bureau.example";
}

void TestLoggerViewText::settingsOverrideDefaults() {
    QFETCH(QString, storedPassword);
    QFETCH(QString, storedRecipients);
    QFETCH(QString, password);
    QFETCH(QString, recipients);
    QTemporaryDir dir;
    TztSettingsRegistry store(TztSettingsHive::File(dir.filePath("store.ini")), QString());
    store.SetAsString(LogArchivePasswordSetting, storedPassword);
    store.SetAsString(LogMailRecipientsSetting, storedRecipients);
    QCOMPARE(LogArchivePassword(&store), password);
    QCOMPARE(LogMailRecipients(&store), recipients);
}

// What the README tells a bureau to write is what the log page gets.
void TestLoggerViewText::readmeSupportLogExample() {
    QTemporaryDir dir;
    QFile file(dir.filePath("store.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(testsupport::ReadmeExample(QStringLiteral("[SupportLog]")));
    file.close();
    TztSettingsRegistry store(TztSettingsHive::File(file.fileName()), QString());
    QCOMPARE(LogMailRecipients(&store),
             QStringLiteral("help@bureau.example\nbackup@bureau.example"));
    QCOMPARE(LogArchivePassword(&store), QStringLiteral("agreed;secret"));
}

QTEST_GUILESS_MAIN(TestLoggerViewText)
#include "tst_loggerviewtext.moc"
