// The wait window and its stacked lines, the status-bar progress as drawn,
// and the modal wait window that runs a procedure.
#include "base/vlxDeferredCall.h"
#include "base/vlxErrorDisplay.h"
#include "base/ztExceptions.h"
#include "ui/WaitForm.h"
#include "ui/vlxStatusBarProgress.h"
#include "ui/vlxWaitForm.h"

#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Distinct colours, so every pixel tells what drew it.
QPalette ProgressPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::red);
    palette.setColor(QPalette::Highlight, Qt::blue);
    palette.setColor(QPalette::HighlightedText, Qt::yellow);
    return palette;
}

// How many pixels of the row have the colour, and the last one that has it.
int CountInRow(const QImage& image, int y, QColor colour, int from, int to) {
    int count = 0;
    for (int x = from; x < to; ++x)
        count += image.pixelColor(x, y) == colour;
    return count;
}

bool HasColour(const QImage& image, const QRect& area, QColor colour) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        if (CountInRow(image, y, colour, area.left(), area.right() + 1) > 0)
            return true;
    return false;
}

} // namespace

class TestWaitWidgets : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void nestedWaitsStackLines();
    void hiddenUntilOwnerShown();
    void progressDrawing_data();
    void progressDrawing();
    void progressRepaintsWithoutRunningEvents();
    void runWithWaitForm();
};

void TestWaitWidgets::nestedWaitsStackLines() {
    QMainWindow owner;
    owner.show();
    TLargeWaitIndicator wait(&owner);
    wait.StartWait(u"Getting payroll list"_s);
    QPointer<TWaitIndicatorForm> window = wait.Window();
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowTitle(), u"Orvane QB Export - Please wait"_s);
    wait.StartWait(u"Getting company list"_s);
    QCOMPARE(wait.Window(), window.data());
    QCOMPARE(window->Text(), u"Getting payroll list\r\nGetting company list"_s);
    wait.EndWait();
    QCOMPARE(window->Text(), u"Getting payroll list"_s);
    wait.EndWait();
    QVERIFY(window.isNull());
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, wait.EndWait());
}

void TestWaitWidgets::hiddenUntilOwnerShown() {
    QMainWindow owner;
    TLargeWaitIndicator wait(&owner);
    wait.StartWait(u"Starting"_s);
    QVERIFY(wait.Window() != nullptr);
    QVERIFY(!wait.Window()->isVisible());
    wait.EndWait();
    QVERIFY(wait.Window() == nullptr);
}

void TestWaitWidgets::progressDrawing_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QString>("text");
    QTest::newRow("half") << u"MMMMMMMMMMMMMMMMMMMMMMMMMMMMMM"_s << 1 << 2
                          << u"MMMMMMMMMMMMMMMMMMMMMMMMMMMMMM"_s;
    QTest::newRow("format") << u"Getting company list %d of %d (%d%%)"_s << 1 << 3
                            << u"Getting company list 1 of 3 (33%)"_s;
    QTest::newRow("maximum 0") << u"%d of %d: %d%%"_s << 5 << 0 << u"5 of 0: 0%"_s;
    QTest::newRow("beyond maximum") << u"MMMM"_s << 3 << 2 << u"MMMM"_s;
    QTest::newRow("not a format") << u"%s"_s << 1 << 2 << u"%s"_s;
}

void TestWaitWidgets::progressDrawing() {
    QFETCH(QString, caption);
    QFETCH(int, position);
    QFETCH(int, maximum);
    QFETCH(QString, text);
    QCOMPARE(ProgressText(caption, position, maximum), text);

    TOwnerDrawnStatusBar bar;
    bar.setPalette(ProgressPalette());
    QFont font = bar.font();
    font.setPixelSize(14);
    font.setBold(true);
    bar.setFont(font);
    bar.resize(400, 30);
    TStatusBarProgressIndicator progress(&bar);
    progress.StartProgress(caption, maximum);
    progress.SetProgress(position);
    const QImage image = bar.grab().toImage();
    const QRect panel = bar.PanelRect();
    // Beyond the maximum the bar stops at the panel's end.
    const int width = maximum ? qMin(panel.width() * position / maximum, panel.width()) : 0;

    // A row below the text: the bar's filled part, then one untouched
    // column, then the rest.
    const int y = panel.bottom() - 1;
    QCOMPARE(CountInRow(image, y, Qt::blue, 0, image.width()), width);
    QVERIFY(image.pixelColor(panel.left() + width + 1, y) != QColor(Qt::blue) ||
            width >= panel.width());
    // The text in both colours where it crosses both parts.
    if (width > 0)
        QVERIFY(HasColour(image, QRect(panel.left(), 0, width, panel.height()), Qt::yellow));
    if (width < 40)
        QVERIFY(HasColour(image, QRect(panel.left() + width + 1, 0, 40, panel.height()), Qt::red));

    // Ended, the panel is the bar's own again.
    progress.EndProgress();
    const QImage ended = bar.grab().toImage();
    QCOMPARE(CountInRow(ended, y, Qt::blue, 0, ended.width()), 0);
    QVERIFY(!HasColour(ended, panel, Qt::red));
}

void TestWaitWidgets::progressRepaintsWithoutRunningEvents() {
    QMainWindow window;
    auto* bar = new TOwnerDrawnStatusBar;
    window.setStatusBar(bar);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    int drawn = 0;
    bar->SetOnDrawPanel([&drawn](QPainter&, int, const QRect&) { ++drawn; });
    bool deferredRan = false;
    PostDeferredCall([&deferredRan] { deferredRan = true; });

    TStatusBarProgressIndicator progress(bar);
    drawn = 0;
    progress.StartProgress(u"Getting company list"_s, 2);
    progress.SetProgress(1);
    // Drawn twice at once, the earlier handler too; nothing else ran.
    QCOMPARE(drawn, 2);
    QVERIFY(!deferredRan);
    progress.EndProgress();
    QCoreApplication::processEvents();
    QVERIFY(deferredRan);
}

void TestWaitWidgets::runWithWaitForm() {
    // The application's display: the failure of the form's work goes there.
    const auto shown = std::make_shared<QStringList>();
    InstallErrorDisplay(*QCoreApplication::instance(),
                        [shown](const QString& message) { *shown << message; });
    QMainWindow owner;
    bool ran = false;
    QVERIFY(RunWithWaitForm(&owner, u"Getting Account list from QuickBooks"_s, [&ran] {
        // Running, the window is up with the caller's caption.
        const auto forms = QApplication::topLevelWidgets();
        ran = std::any_of(forms.begin(), forms.end(), [](QWidget* w) {
            return w->isVisible() && w->windowTitle() == u"Getting Account list from QuickBooks"_s;
        });
    }));
    QVERIFY(ran);
    QVERIFY(shown->isEmpty());
    QVERIFY(!RunWithWaitForm(&owner, u"Failing"_s, [] { throw EztException(u"No QB"_s); }));
    QCOMPARE(*shown, QStringList{u"No QB"_s});
}

QTEST_MAIN(TestWaitWidgets)
#include "tst_waitwidgets.moc"
