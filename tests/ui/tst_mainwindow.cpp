// The main window: start-up on an empty, a complete and a damaged settings
// store, its failure scopes, the connection settings saved on each
// keystroke and kept across a restart, the error display, the shutdown
// order, and a picture of every tab.
#include "RecordingLogSink.h"

#include "base/vlxDeferredCall.h"
#include "base/vlxErrorDisplay.h"
#include "logging/vlxLoggerChain.h"
#include "settings/OrvConnectionParam.h"
#include "ui/MainForm.h"
#include "ui/OrvAPIConnectionParamFrame.h"
#include "ui/OrvqApplication.h"
#include "ui/PasswordEdit.h"
#include "ui/UserDialogBoxes.h"
#include "ui/vlxLoggerRichViewFrame.h"
#include "ui/vlxSendMailLoggerViewFrame.h"
#include "ui/vlxWaitForm.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString Started = u"Orvane QB Export 1.4.0.2859 started"_s;

// A main window on a settings file and a redirection of a test folder.
struct TScene {
    QTemporaryDir Dir;
    bool LogAlias = true;
    QList<TShellCommand> Started;

    QString StoreFile() const { return Dir.filePath(u"orvq.ini"_s); }
    QString UserLogFile() const { return Dir.filePath(u"OrvQ.log"_s); }
    IztSettingsPtr Store() const {
        return std::make_shared<TztSettingsRegistry>(
            TztSettingsHive{StoreFile(), QSettings::IniFormat}, QString());
    }
    TMainWindowOptions Options() {
        TMainWindowOptions options;
        options.Core.Settings = Store();
        options.Core.Redirection = [this] {
            TRedirectionEntries files;
            if (LogAlias)
                files.append({u"Log"_s, UserLogFile()});
            return std::make_shared<TGenericRedirection>(TRedirectionEntries(), files,
                                                         TRedirectionPlaces(), QString());
        };
        options.Now = [] { return QDateTime(QDate(2024, 3, 8), QTime(9, 30, 5)); };
        options.LogServices.Runner = [this](const TShellCommand& command) {
            Started << command;
            return 0;
        };
        options.Version = u"1.4"_s;
        return options;
    }
};

QStringList Listed(TOrvAPIClientMainFm& window) {
    QStringList listed;
    for (const TLogViewItem& item :
         static_cast<TCommonLoggerViewFrame*>(window.LogView)->LoggerRichView->Items())
        listed << item.Caption;
    return listed;
}

QByteArray DeveloperLog(TOrvAPIClientMainFm& window) {
    return qobject_cast<TSendMailLoggerViewFrame*>(window.LogView)->Logs()->DeveloperLog();
}

TWaitIndicatorForm* WaitWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<TWaitIndicatorForm*>(widget))
            return form;
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void caption_data();
    void caption();
    void startWithEmptyStore();
    void startWithCompleteStore();
    void startWithDamagedStore();
    void savedOnEveryKeystroke();
    void placeKeptAcrossStarts_data();
    void placeKeptAcrossStarts();
    void progressAndRecording();
    void errorDisplayText_data();
    void errorDisplayText();
    void failuresReachTheErrorDisplay();
    void shutdownOrder();
    void picturesOfTheTabs();
};

void TestMainWindow::caption_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("caption");
    QTest::newRow("1.4") << u"1.4"_s << u"Orvane QB Export 1.4.0.2859 "_s;
    QTest::newRow("no version") << QString() << u"Orvane QB Export .0.2859 "_s;
}

void TestMainWindow::caption() {
    QFETCH(QString, version);
    QFETCH(QString, caption);
    TScene scene;
    TMainWindowOptions options = scene.Options();
    options.Version = version;
    TMainFm window(options);
    QCOMPARE(window.windowTitle(), caption);
    QVERIFY(DeveloperLog(window).contains(("Debug: Caption: " + caption).toUtf8()));
    QVERIFY(DeveloperLog(window).contains("Debug: Timestamp: 3/8/2024 09:30:05"));
}

void TestMainWindow::startWithEmptyStore() {
    TScene scene;
    TMainFm window(scene.Options());
    QStringList tabs;
    for (int i = 0; i < window.PageControl1->count(); ++i)
        tabs << window.PageControl1->tabText(i);
    QCOMPARE(tabs, (QStringList{u"Connection settings"_s, u"GL Export"_s, u"Log"_s,
                                u"Checks Export"_s, u"History"_s, u"Bureau"_s}));
    QCOMPARE(window.PageControl1->currentIndex(), 1);
    QCOMPARE(window.PageControl1->widget(2), window.tbshLog);
    QVERIFY(window.minimumSize() == QSize(800, 550));
    // Nothing stored: empty entries, no failure, nothing written back.
    QCOMPARE(window.OrvFrame->APIServerEdit->text(), QString());
    QVERIFY(!window.OrvFrame->IsComplete());
    QCOMPARE(Listed(window), QStringList{Started});
    QVERIFY(!QFile::exists(scene.StoreFile()));
    // The user log file is written from the start.
    QVERIFY(DeveloperLog(window).contains(
        ("Started to write user log to file <" + scene.UserLogFile() + ">").toUtf8()));
    QVERIFY(QFile(scene.UserLogFile()).size() > 0);
    // While the window lives, a busy step raises the wait window.
    window.Core().WaitIndicator().StartWait(u"Getting payroll list"_s);
    QVERIFY(WaitWindow() != nullptr);
    window.Core().WaitIndicator().EndWait();
    QVERIFY(WaitWindow() == nullptr);
}

void TestMainWindow::startWithCompleteStore() {
    TScene scene;
    SaveConnectionParam({u"127.0.0.1"_s, 9944, u"demo"_s, u"demo"_s, true}, *scene.Store(),
                        QString());
    TMainFm window(scene.Options());
    QCOMPARE(window.OrvFrame->APIServerEdit->text(), u"127.0.0.1:9944"_s);
    QCOMPARE(window.OrvFrame->PasswordEdit->text(), u"    "_s);
    QVERIFY(window.OrvFrame->IsComplete());
    QCOMPARE(window.OrvFrame->GetParam().Password, u"demo"_s);
    QCOMPARE(Listed(window), QStringList{Started});
}

void TestMainWindow::startWithDamagedStore() {
    TScene scene;
    scene.LogAlias = false;
    {
        QFile file(scene.StoreFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[OrvaneConnection]\nAPIServerAddress=api.example.com\nAPIServerPort=abc\n"
                   "Username=demo\nPasswordHex=ZZ12\nSavePassword=maybe\n"
                   "[RegionalSettings\n\x01\xff garbage\n");
    }
    TMainFm window(scene.Options());
    // Each failure is logged in its own step; every later step still ran.
    QCOMPARE(Listed(window), (QStringList{u"Cannot find redirection for file alias <Log>"_s,
                                          u"'0xZZ' is not a valid integer value"_s, Started}));
    QVERIFY(DeveloperLog(window).contains("Debug: Caption: "));
    QCOMPARE(window.OrvFrame->APIServerEdit->text(), u"api.example.com"_s);
    QCOMPARE(window.OrvFrame->UserNameEdit->text(), u"demo"_s);
    QCOMPARE(window.OrvFrame->PasswordEdit->text(), QString());
}

void TestMainWindow::savedOnEveryKeystroke() {
    TScene scene;
    const auto stored = [&scene] {
        TRecordingLogger log;
        TOrvAPIConnectionParam param;
        LoadConnectionParam(log.Logger(), *scene.Store(), QString(), param);
        return param;
    };
    {
        TMainFm window(scene.Options());
        QStringList seen;
        for (const QChar c : u"api"_s) {
            QTest::keyClick(window.OrvFrame->APIServerEdit, c.toLatin1());
            seen << stored().APIServerAddress;
        }
        QCOMPARE(seen, (QStringList{u"a"_s, u"ap"_s, u"api"_s}));
        QTest::keyClicks(window.OrvFrame->UserNameEdit, u"demo"_s);
        QTest::keyClicks(window.OrvFrame->PasswordEdit, u"pw"_s);
        window.OrvFrame->cbSavePassword->click();
        QCOMPARE(stored().Password, u"pw"_s);

        // A port that is no number: each keystroke logs the failure and the
        // stored settings stay as they were.
        QTest::keyClicks(window.OrvFrame->APIServerEdit, u":x"_s);
        QCOMPARE(stored().APIServerAddress, u"api"_s);
        QCOMPARE(Listed(window), (QStringList{Started, u"'' is not a valid integer value"_s,
                                              u"'x' is not a valid integer value"_s}));
        QTest::keyClick(window.OrvFrame->APIServerEdit, Qt::Key_Backspace);
        QTest::keyClick(window.OrvFrame->APIServerEdit, Qt::Key_Backspace);
    }
    // Closed and opened again: the panel shows what was saved.
    TMainFm window(scene.Options());
    QCOMPARE(window.OrvFrame->GetParam(),
             (TOrvAPIConnectionParam{u"api"_s, 9943, u"demo"_s, u"pw"_s, true}));
}

void TestMainWindow::placeKeptAcrossStarts_data() {
    QTest::addColumn<QString>("stored"); // none: where the last window closed
    QTest::addColumn<bool>("restored");
    QTest::newRow("where it closed") << QString() << true;
    QTest::newRow("garbage") << u"wide,0"_s << false;
    QTest::newRow("off every screen") << u"5000,5000,800,560"_s << false;
    QTest::newRow("no size") << u"0,20,0,560"_s << false;
}

void TestMainWindow::placeKeptAcrossStarts() {
    QFETCH(QString, stored);
    QFETCH(bool, restored);
    TScene scene;
    const QRect left(0, 20, 800, 560);
    const QRect fresh = TMainFm(scene.Options()).geometry();
    QVERIFY(fresh != left);
    if (stored.isNull()) {
        TMainFm window(scene.Options());
        window.show();
        window.setGeometry(left);
        window.close();
    } else {
        scene.Store()->SetAsString(u"MainWindow\\Geometry"_s, stored);
    }
    TMainFm window(scene.Options());
    QCOMPARE(window.geometry(), restored ? left : fresh);
    QCOMPARE(Listed(window), QStringList{Started});
}

void TestMainWindow::progressAndRecording() {
    TScene scene;
    TMainFm window(scene.Options());
    IProgressIndicator& progress = window;
    progress.StartProgress(u"Getting company list"_s, 2);
    QVERIFY(WaitWindow() && WaitWindow()->Text() == u"Getting company list"_s);
    progress.SetProgress(1);
    progress.EndProgress();
    QVERIFY(WaitWindow() == nullptr);

    ILogRecorder& recorder = window;
    window.Logger()->LogEvent(u"Before"_s);
    recorder.StartRecording(false);
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, recorder.StartRecording(false));
    window.Logger()->LogEvent(u"During"_s);
    window.Logger()->LogDebug(u"Developers only"_s);
    const QString recorded = recorder.StopRecording();
    QVERIFY(recorded.contains(u"During"_s));
    QVERIFY(!recorded.contains(u"Before"_s) && !recorded.contains(u"Developers only"_s));
}

void TestMainWindow::errorDisplayText_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << u"No file"_s << u"No file."_s;
    QTest::newRow("digit") << u"Code 3"_s << u"Code 3."_s;
    QTest::newRow("full stop") << u"Done."_s << u"Done."_s;
    QTest::newRow("exclamation mark") << u"Stop!"_s << u"Stop!"_s;
    QTest::newRow("bracket") << u"Failed (3)"_s << u"Failed (3)"_s;
    QTest::newRow("empty") << QString() << QString();
}

void TestMainWindow::errorDisplayText() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(ErrorDisplayText(message), shown);
}

void TestMainWindow::failuresReachTheErrorDisplay() {
    TScene scene;
    TPreAnsweredDialogs boxes;
    TMainFm window(scene.Options());
    // A user action: packing without the "LogArchives" alias.
    qobject_cast<TSendMailLoggerViewFrame*>(window.LogView)->BitBtn2->click();
    // A timer tick, a deferred call and a failure posted from a destructor.
    QTimer::singleShot(0, [] { throw EztException(u"Timer failed"_s); });
    PostDeferredCall([] { throw EztException(u"Deferred call failed"_s); });
    PostToErrorDisplay(std::make_exception_ptr(EztException(u"Log-out failed!"_s)));
    // The checks page's account list fetch at start fails as well: this
    // store names no QuickBooks company. It runs behind its own modal
    // window, so the order of the deferred failures is the loops'.
    QTRY_COMPARE(boxes.Boxes().size(), 5);
    QStringList texts = boxes.BoxTexts();
    texts.sort();
    QCOMPARE(texts,
             (QStringList{u"Cannot find redirection for directory alias <LogArchives>."_s,
                          u"Cannot find redirection for file alias <QBCompanyFile>."_s,
                          u"Deferred call failed."_s, u"Log-out failed!"_s, u"Timer failed."_s}));
    for (const TMessageBoxRequest& box : boxes.Boxes()) {
        QCOMPARE(box.Icon, QMessageBox::Critical);
        QCOMPARE(box.Title, u"Orvane QB Export"_s);
    }
    // The failed click was logged in its own block.
    QCOMPARE(Listed(window).last(), u"Cannot find redirection for directory alias <LogArchives>"_s);
}

void TestMainWindow::shutdownOrder() {
    TScene scene;
    // Told of every debug record; notes whether the log page was still there.
    struct TShutdownSink : TLoggerEventSink {
        QPointer<QWidget> LogView;
        QStringList Records;
        void OnMessage(const TLogState& state) override {
            Records << state.Innermost().Messages.back().Message +
                           (LogView ? QString() : u" (log page gone)"_s);
        }
    };
    auto sink = std::make_shared<TShutdownSink>();
    std::unique_ptr<TScopedSink> attached;
    {
        TMainFm window(scene.Options());
        sink->LogView = window.LogView;
        attached = std::make_unique<TScopedSink>(window.Core().Keeper().StatefulLogger(), sink);
    }
    QCOMPARE(sink->Records.mid(0, 2), (QStringList{u"Stopping to write user log to file"_s,
                                                   u"Stopped to write user log to file"_s}));
    QVERIFY(sink->Records.last().endsWith(u"(log page gone)"_s));
    // No wait window or wait cursor stays behind.
    QVERIFY(WaitWindow() == nullptr);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void TestMainWindow::picturesOfTheTabs() {
    TScene scene;
    SaveConnectionParam({u"127.0.0.1"_s, 9943, u"demo"_s, u"demo"_s, true}, *scene.Store(),
                        QString());
    TMainFm window(scene.Options());
    window.Logger()->LogWarning(u"A warning"_s);
    window.resize(window.minimumSize());
    for (int i = 0; i < window.PageControl1->count(); ++i) {
        window.PageControl1->setCurrentIndex(i);
        const QImage image = window.grab().toImage();
        QVERIFY(image.size() == QSize(800, 550));
        const QString file = u"mainwindow-%1-%2.png"_s.arg(i)
                                 .arg(window.PageControl1->tabText(i))
                                 .replace(u' ', u'-');
        QVERIFY(image.save(file));
    }
}

int main(int argc, char** argv) {
    TOrvqApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
