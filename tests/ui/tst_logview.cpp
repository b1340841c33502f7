// The log page: what the list shows, the details and context of a selected
// message, and its buttons wired to packing and the file manager.
#include "SevenZipTool.h"
#include "TestPlatform.h"

#include "logkeeper/vlxLoggerKeeper.h"
#include "settings/vlxRedir.h"
#include "ui/vlxLoggerRichViewFrame.h"
#include "ui/vlxSendMailLoggerViewFrame.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// A log page on a keeper of its own, as the main window puts them together.
struct TLogPage {
    explicit TLogPage(TSendMailLoggerViewFrame* frame) : Frame(frame), Keeper(Frame->FirstSink()) {
        Frame->AttachKeeper(Keeper);
    }
    ~TLogPage() { delete Frame; }
    ICommonLogger& Log() { return *Keeper.Logger(); }
    QStringList Captions() const {
        QStringList captions;
        for (int i = 0; i < List()->topLevelItemCount(); ++i)
            captions << List()->topLevelItem(i)->text(0);
        return captions;
    }
    QTreeWidget* List() const { return Frame->LoggerRichView->lvMessages; }

    TSendMailLoggerViewFrame* Frame;
    TCommonLoggerKeeper Keeper;
};

} // namespace

class TestLogView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void listedMessages();
    void detailsAndContext();
    void componentCaptions();
    void packButton();
};

void TestLogView::listedMessages() {
    TLogPage page(new TSendMailLoggerViewFrame);
    page.Frame->resize(600, 400);
    page.Frame->show();
    page.Log().LogDebug(u"only for developers"_s);
    page.Log().LogEvent(u"Started"_s);
    page.Log().LogWarning(u"Careful"_s);
    page.Log().LogError(u"Failed"_s);
    try {
        throw EztException(u"Broken"_s);
    } catch (...) {
        page.Log().StopException();
    }
    QCOMPARE(page.Captions(), (QStringList{u"Started"_s, u"Careful"_s, u"Failed"_s, u"Broken"_s}));
    QCOMPARE(page.Frame->LoggerRichView->Items()[3].Icon, 0); // an exception shows as an error
    QCOMPARE(page.Frame->LoggerRichView->Items()[1].Icon, 1);

    // Many more: the list follows the newest line, until the user scrolls
    // up; at the end again, it follows again.
    QScrollBar* scroll = page.List()->verticalScrollBar();
    const auto logLines = [&page](int count) {
        for (int i = 0; i < count; ++i)
            page.Log().LogEvent(u"Line %1"_s.arg(i));
    };
    logLines(200);
    QCOMPARE(page.List()->topLevelItemCount(), 204);
    QVERIFY(scroll->maximum() > 0);
    QCOMPARE(scroll->value(), scroll->maximum());
    scroll->setValue(3);
    logLines(50);
    QCOMPARE(scroll->value(), 3);
    scroll->setValue(scroll->maximum());
    logLines(50);
    QCOMPARE(scroll->value(), scroll->maximum());
    // The debug message is in the developer log all the same.
    QVERIFY(page.Frame->Logs()->DeveloperLog().contains("only for developers"));
}

void TestLogView::detailsAndContext() {
    TLogPage page(new TSendMailLoggerViewFrame);
    page.Log().LogEvent(u"At the root"_s);
    {
        TLogBlockGuard run(page.Log(), u"Checks export"_s);
        page.Log().LogContextItem(u"File"_s, u"s1910.txt"_s);
        TLogBlockGuard record(page.Log(), u"Parsing check record"_s);
        page.Log().LogContextItem(u"Check record"_s, u"a,b"_s);
        page.Log().LogError(u"Wrong number of fields"_s, u"Expected 7"_s);
    }
    QTreeWidget* list = page.List();
    list->setCurrentItem(list->topLevelItem(1));
    QCOMPARE(page.Frame->LoggerRichView->mmDetails->toPlainText(),
             u"Wrong number of fields\n\nExpected 7"_s);
    QCOMPARE(page.Frame->LoggerRichView->mmContext->toPlainText(),
             u"Orvane QB Export application:\nChecks export:\n  File: s1910.txt\n\n"
             u"Parsing check record:\n  Check record: a,b"_s);
    list->setCurrentItem(list->topLevelItem(0));
    QCOMPARE(page.Frame->LoggerRichView->mmContext->toPlainText(),
             u"Orvane QB Export application:"_s);
    list->clearSelection();
    QCOMPARE(page.Frame->LoggerRichView->mmDetails->toPlainText(), QString());
}

void TestLogView::componentCaptions() {
    TLogPage page(new TUtilityLoggerViewFrm);
    TLogBlockGuard block(page.Log(), u"Syncing"_s);
    page.Log().LogContextItem(u"Component"_s, u"Checks export"_s);
    page.Log().LogEvent(u"Done"_s);
    QCOMPARE(page.Captions(), QStringList{u"Checks export: Done"_s});
}

void TestLogView::packButton() {
    if (const QString why = testsupport::SevenZipLibraryNotBuilt(sevenziptool::LibraryPath());
        !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(sevenziptool::MissingTools().isEmpty(), qPrintable(sevenziptool::MissingTools()));
    QTemporaryDir dir;
    QList<TShellCommand> started;
    TSendMailLogServices services;
    services.Redirection = [&dir] {
        return std::make_shared<TGenericRedirection>(
            TRedirectionEntries{{u"LogArchives"_s, dir.path()}},
            TRedirectionEntries{{u"SevenZipDll"_s, sevenziptool::LibraryPath()}},
            TRedirectionPlaces(), QString());
    };
    services.Now = [] { return QDateTime(QDate(2024, 3, 8), QTime(9, 30)); };
    services.Runner = [&started](const TShellCommand& command) {
        started << command;
        return 0;
    };
    services.ProgramName = u"orvq"_s;
    TLogPage page(new TSendMailLoggerViewFrame(nullptr, services));
    page.Frame->SetArchivePassword(u"pw"_s);
    page.Log().LogEvent(u"Started"_s);

    page.Frame->BitBtn2->click();
    const QString archive = dir.filePath(u"orvq-debug-log-2024-03-08-0930.7z"_s);
    QVERIFY(QFile::exists(archive));
    QCOMPARE(started.size(), 1); // the file manager, showing the archive
    QVERIFY(started[0].Arguments.join(u' ').contains(QUrl::fromLocalFile(archive).toString()) ||
            started[0].Arguments.join(u' ').contains(archive));
    bool ok = false;
    const auto entries = sevenziptool::Extract(archive, u"pw"_s, ok);
    QVERIFY(ok);
    QVERIFY(entries.value(u"session-user.log"_s).contains("Started"));
    // The click is a block of its own.
    QVERIFY(page.Frame->Logs()->DeveloperLog().contains(
        "User clicked \"Pack debug log and open folder\""));
}

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
