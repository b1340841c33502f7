#include "EmployeeTable.h"
#include "base/vlxErrorDisplay.h"
#include "ui/FindDialog.h"
#include "ui/SFilterDialog.h"
#include "ui/dbcomp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

using testsupport::Employees;
using testsupport::Names;

class TestReDBGrid : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void titleClicksSort();
    void cellColours();
    void filterAction();
    void quoteInAValue();
    void filterTheTableCannotEvaluate();
    void filterRefusedWhileInserting();
    void findFirstAndNext();
    void selectionKeptByBookmark();
    void tabKeepsSelection_data();
    void tabKeepsSelection();
    void currentRowMovesTheTable();
    void recordCountHint();

private:
    QStringList m_displayed;
};

namespace {

constexpr int NameColumn = 2, PayColumn = 3, PhotoColumn = 4;

void ClickTitle(TReDBGrid& grid, int column, Qt::KeyboardModifiers modifiers = {}) {
    QHeaderView* titles = grid.horizontalHeader();
    QTest::mouseClick(
        titles->viewport(), Qt::LeftButton, modifiers,
        QPoint(titles->sectionViewportPosition(column) + titles->sectionSize(column) / 2,
               titles->height() / 2));
}

void ClickRow(TReDBGrid& grid, int row, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, modifiers,
                      grid.visualRect(grid.model()->index(row, NameColumn)).center());
}

// Ctrl+R, the values typed into the dialog's rows by field, then Ok.
void Filter(TReDBGrid& grid, const QMap<QString, QString>& values) {
    QTest::keyClick(&grid, Qt::Key_R, Qt::ControlModifier);
    TFilterDialog* dialog = grid.OpenFilterDialog();
    QVERIFY(dialog && dialog->isVisible());
    for (int row = 0; row < dialog->RowCount(); ++row) {
        QLineEdit* editor = dialog->ValueEditor(row);
        editor->clear();
        QTest::keyClicks(editor, values.value(dialog->FieldName(row)));
    }
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
}

QStringList SelectedNames(const TReDBGrid& grid) {
    QStringList names;
    for (const TBookmark bookmark : grid.SelectedBookmarks())
        names << grid.Table()->ValueAt(grid.Table()->PositionOf(bookmark), 2).toString();
    return names;
}

} // namespace

void TestReDBGrid::initTestCase() {
    InstallErrorDisplay(*QCoreApplication::instance(),
                        [this](const QString& message) { m_displayed << message; });
}

void TestReDBGrid::init() {
    // Whatever an earlier case left for the error display is not this one's.
    QCoreApplication::processEvents();
    m_displayed.clear();
}

void TestReDBGrid::titleClicksSort() {
    auto table = Employees();
    TReDBGrid grid;
    grid.SetTable(table.get());
    grid.show();
    QSignalSpy clicked(&grid, &TReDBGrid::TitleClicked);

    ClickTitle(grid, NameColumn);
    QCOMPARE(grid.ColumnSortState(NameColumn), fssAscending);
    QCOMPARE(Names(*table).first(), QStringLiteral("Brooks"));
    ClickTitle(grid, PayColumn, Qt::ControlModifier);
    QCOMPARE(GetSortFields(*table).Fields, QStringLiteral("NAME;PAY"));
    QCOMPARE(grid.ColumnSortState(PayColumn), fssAscending);
    // A plain click makes the clicked column the only one, turned around.
    ClickTitle(grid, PayColumn);
    QCOMPARE(grid.ColumnSortState(NameColumn), fssNone);
    QCOMPARE(grid.ColumnSortState(PayColumn), fssDescending);
    QCOMPARE(Names(*table).first(), QStringLiteral("O'Neil"));
    ClickTitle(grid, PayColumn);
    QCOMPARE(grid.ColumnSortState(PayColumn), fssNone);
    QCOMPARE(Names(*table).first(), QStringLiteral("Lopez"));

    ClickTitle(grid, PhotoColumn);
    QVERIFY(grid.ColumnIsBlob(PhotoColumn));
    QCOMPARE(grid.ColumnSortState(PhotoColumn), fssNone);
    grid.SetSorting(false);
    ClickTitle(grid, NameColumn);
    QCOMPARE(GetSortFields(*table).Fields, QString());
    QCOMPARE(clicked.count(), 6);
    QCOMPARE(clicked.last().at(0).toInt(), NameColumn);
}

void TestReDBGrid::cellColours() {
    auto table = Employees();
    TReDBGrid grid;
    grid.resize(600, 300);
    grid.SetTable(table.get());
    grid.show();
    ClickTitle(grid, NameColumn);
    const QImage image = grid.viewport()->grab().toImage();
    auto ground = [&](int column) {
        const QRect cell = grid.visualRect(grid.model()->index(3, column));
        return image.pixelColor(cell.left() + 1, cell.top() + 1);
    };
    const QColor base = grid.palette().color(QPalette::Base);
    QCOMPARE(ground(NameColumn), QColor(Qt::yellow));
    QCOMPARE(ground(PayColumn), base);
    QCOMPARE(ground(PhotoColumn),
             QColor(base.red() * 5 / 6, base.green() * 5 / 6, base.blue() * 5 / 6));
}

void TestReDBGrid::filterAction() {
    auto table = Employees();
    TReDBGrid grid;
    grid.SetTable(table.get());
    grid.show();
    QVERIFY(!grid.FilterActive());
    ClickRow(grid, 1); // Okafor
    Filter(grid, {{"NAME", "o"}, {"CO_NBR", "12"}});
    QCOMPARE(table->Filter(), QStringLiteral("0=0 AND CO_NBR = '12' AND NAME like '*O*'"));
    QCOMPARE(Names(*table), QStringList({"Lopez", "Okafor", "Novak"}));
    QVERIFY(grid.FilterActive());
    QCOMPARE(table->Value(QStringLiteral("NAME")).toString(), QStringLiteral("Okafor"));
    QCOMPARE(grid.currentIndex().row(), 1);

    // Reopened, the dialog shows the filter; Cancel changes nothing.
    QTest::keyClick(&grid, Qt::Key_R, Qt::ControlModifier);
    TFilterDialog* dialog = grid.OpenFilterDialog();
    QCOMPARE(dialog->ValueEditor(NameColumn)->text(), QStringLiteral("O"));
    QCOMPARE(dialog->ValueEditor(1)->text(), QStringLiteral("12"));
    QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
    QCOMPARE(table->RecordCount(), 3);

    // A narrower filter loses the current record: the first becomes current.
    Filter(grid, {{"NAME", "LOPEZ"}});
    QCOMPARE(Names(*table), QStringList({"Lopez"}));
    QCOMPARE(table->RecNo(), 0);

    QTest::keyClick(&grid, Qt::Key_R, Qt::ControlModifier);
    QTest::mouseClick(grid.OpenFilterDialog()->ClearAllButton(), Qt::LeftButton);
    QTest::mouseClick(grid.OpenFilterDialog()->OkButton(), Qt::LeftButton);
    QVERIFY(!table->Filtered());
    QCOMPARE(table->RecordCount(), 6);
    QVERIFY(!grid.FilterActive());
    QVERIFY(m_displayed.isEmpty());

    grid.SetFilterDlg(false);
    QTest::keyClick(&grid, Qt::Key_R, Qt::ControlModifier);
    QVERIFY(!grid.OpenFilterDialog());
}

void TestReDBGrid::quoteInAValue() {
    auto table = Employees();
    TReDBGrid grid;
    grid.SetTable(table.get());
    grid.show();
    Filter(grid, {{"NAME", "o'neil"}});
    QCOMPARE(Names(*table), QStringList({"O'Neil"}));
    QTest::keyClick(&grid, Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(grid.OpenFilterDialog()->ValueEditor(NameColumn)->text(), QStringLiteral("O'NEIL"));
    QCoreApplication::processEvents();
    QVERIFY(m_displayed.isEmpty());
}

void TestReDBGrid::filterTheTableCannotEvaluate() {
    auto table = Employees();
    TReDBGrid grid;
    grid.SetTable(table.get());
    grid.show();
    Filter(grid, {{"CO_NBR", "12"}});
    Filter(grid, {{"CO_NBR", "ABC"}});
    QCoreApplication::processEvents();
    QCOMPARE(m_displayed, QStringList{"'ABC' is not a valid value for field 'CO_NBR'"});
    QCOMPARE(Names(*table), QStringList({"Lopez", "Okafor", "Novak"}));
    QVERIFY(grid.FilterActive());
}

void TestReDBGrid::filterRefusedWhileInserting() {
    auto table = Employees();
    TReDBGrid grid;
    grid.SetTable(table.get());
    table->Append();
    grid.ExecuteFilter();
    QVERIFY(!grid.OpenFilterDialog());
    QCoreApplication::processEvents();
    QCOMPARE(m_displayed, QStringList{"You have to Post or Cancel your changes first"});
    table->Cancel();
}

void TestReDBGrid::findFirstAndNext() {
    auto table = Employees();
    TReDBGrid grid;
    grid.SetColumnEntries({"NAME\t20\tEmployee", "PAY\t8\tPay"});
    grid.SetTable(table.get());
    grid.show();
    QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Employee"));
    grid.setCurrentIndex(grid.model()->index(0, 0));
    QTest::keyClick(&grid, Qt::Key_F, Qt::ControlModifier);
    TFindDialog* find = grid.FindDialog();
    QVERIFY(find && find->isVisible());
    QCOMPARE(find->FieldBox()->count(), 2);
    QCOMPARE(find->FieldBox()->currentText(), QStringLiteral("Employee"));

    QTest::keyClicks(find->ValueEdit(), QStringLiteral("o"));
    find->AtBeginningButton()->setChecked(true);
    QTest::mouseClick(find->FindFirstButton(), Qt::LeftButton);
    QCOMPARE(table->Value(QStringLiteral("NAME")).toString(), QStringLiteral("Okafor"));
    QCOMPARE(grid.currentIndex().row(), 1);
    QVERIFY(find->FindNextButton()->isDefault());
    QTest::keyClick(find->ValueEdit(), Qt::Key_Return); // the default button: next
    QCOMPARE(table->Value(QStringLiteral("NAME")).toString(), QStringLiteral("O'Neil"));
    QVERIFY(!find->FindNext());
    QVERIFY(find->FindFirstButton()->isDefault());
    QVERIFY(find->isVisible());

    // Another field keeps the value; the case option counts.
    find->FieldBox()->setCurrentIndex(1);
    QCOMPARE(find->ValueEdit()->text(), QStringLiteral("o"));
    find->FieldBox()->setCurrentIndex(0);
    find->CaseSensitiveBox()->setChecked(true);
    QVERIFY(!find->FindFirst());
    find->AnywhereButton()->setChecked(true);
    QVERIFY(find->FindFirst());
    QCOMPARE(table->RecNo(), 0); // Lopez
    find->ExactButton()->setChecked(true);
    find->ValueEdit()->setText(QStringLiteral("Chen"));
    QVERIFY(find->FindFirst());
    QCOMPARE(table->RecNo(), 2);
}

void TestReDBGrid::selectionKeptByBookmark() {
    auto table = Employees();
    TReDBGrid grid;
    grid.SetMultiSelect(true);
    grid.SetTable(table.get());
    grid.show();
    ClickRow(grid, 5);                      // Novak
    ClickRow(grid, 2, Qt::ControlModifier); // Chen
    ClickRow(grid, 0, Qt::ControlModifier); // Lopez
    QCOMPARE(SelectedNames(grid), QStringList({"Lopez", "Chen", "Novak"}));
    ClickTitle(grid, NameColumn);
    QCOMPARE(SelectedNames(grid), QStringList({"Chen", "Lopez", "Novak"}));
    QCOMPARE(table->Value(QStringLiteral("NAME")).toString(), QStringLiteral("Lopez"));
    QCOMPARE(grid.currentIndex().row(), table->RecNo());
    // Rows filtered away are no longer selected when the filter goes.
    Filter(grid, {{"CO_NBR", "12"}});
    QCOMPARE(SelectedNames(grid), QStringList({"Lopez", "Novak"}));
    Filter(grid, {});
    QCOMPARE(SelectedNames(grid), QStringList({"Lopez", "Novak"}));
    // A record found is the one selected, as the payroll grid's Run takes
    // the selection.
    QTest::keyClick(&grid, Qt::Key_F, Qt::ControlModifier);
    TFindDialog* find = grid.FindDialog();
    find->FieldBox()->setCurrentIndex(find->FieldBox()->findData(NameColumn));
    find->ExactButton()->setChecked(true);
    find->ValueEdit()->setText(QStringLiteral("Okafor"));
    QVERIFY(find->FindFirst());
    QCOMPARE(SelectedNames(grid), QStringList{"Okafor"});
    QCOMPARE(table->Value(QStringLiteral("NAME")).toString(), QStringLiteral("Okafor"));
    // A table replaced drops the selection; its current row is selected.
    grid.SetTable(nullptr);
    QVERIFY(grid.SelectedBookmarks().isEmpty());
    auto other = Employees();
    other->SetRecNo(3);
    grid.SetTable(other.get());
    QCOMPARE(SelectedNames(grid), QStringList{"O'Neil"});
}

void TestReDBGrid::tabKeepsSelection_data() {
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("focused"); // 0 before the grid, 1 after it
    QTest::newRow("Tab") << Qt::KeyboardModifiers() << 1;
    QTest::newRow("Shift+Tab") << Qt::KeyboardModifiers(Qt::ShiftModifier) << 0;
}

// Tab through the payroll grid leaves the payrolls the user selected.
void TestReDBGrid::tabKeepsSelection() {
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, focused);
    auto table = Employees();
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    QLineEdit* around[] = {new QLineEdit, new QLineEdit};
    auto* grid = new TReDBGrid;
    grid->SetMultiSelect(true);
    grid->SetTable(table.get());
    layout->addWidget(around[0]);
    layout->addWidget(grid);
    layout->addWidget(around[1]);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    ClickRow(*grid, 1);
    ClickRow(*grid, 4, Qt::ControlModifier);
    const QStringList selected = SelectedNames(*grid);
    QCOMPARE(selected.size(), 2);
    QTest::keyClick(grid, Qt::Key_Tab, modifiers);
    QCOMPARE(QApplication::focusWidget(), around[focused]);
    QCOMPARE(SelectedNames(*grid), selected);
    // Back into the grid: still the same rows.
    QTest::keyClick(around[focused], Qt::Key_Tab,
                    focused == 0 ? Qt::KeyboardModifiers() : Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), grid);
    QCOMPARE(SelectedNames(*grid), selected);
}

void TestReDBGrid::currentRowMovesTheTable() {
    TMemTable clients;
    clients.AddField({QStringLiteral("CL_NBR"), fkInteger, 0, false, QString(), true});
    clients.Open();
    for (const int number : {1, 2}) {
        clients.Append();
        clients.SetInteger(0, number);
        clients.Post();
    }
    clients.First();
    auto employees = Employees();
    employees->SetMasterLink(&clients, QStringLiteral("CL_NBR"), QStringLiteral("CL_NBR"));
    TReDBGrid clientGrid, employeeGrid;
    clientGrid.SetTable(&clients);
    employeeGrid.SetMultiSelect(true);
    employeeGrid.SetTable(employees.get());
    clientGrid.show();
    employeeGrid.show();
    ClickTitle(employeeGrid, NameColumn);
    QCOMPARE(Names(*employees), QStringList({"Lopez", "Novak", "O'Neil", "Okafor"}));
    ClickRow(employeeGrid, 3, Qt::ShiftModifier);
    QCOMPARE(employeeGrid.SelectedBookmarks().size(), 4);

    QTest::keyClick(&clientGrid, Qt::Key_Down);
    QCOMPARE(clients.RecNo(), 1);
    QCOMPARE(Names(*employees), QStringList({"Brooks", "Chen"}));
    QCOMPARE(SelectedNames(employeeGrid), QStringList{"Brooks"});
    QCOMPARE(employeeGrid.model()->rowCount(), 2);
    // The table moved by others: the grid follows.
    employees->Last();
    QCOMPARE(employeeGrid.currentIndex().row(), 1);
}

void TestReDBGrid::recordCountHint() {
    auto table = Employees();
    TReDBGrid grid;
    grid.SetTable(table.get());
    QCOMPARE(grid.HintText(), QStringLiteral("Record Count: 6"));
    grid.setToolTip(QStringLiteral("Employees"));
    table->SetFilter(QStringLiteral("CL_NBR = 2"));
    table->SetFiltered(true);
    QCOMPARE(grid.HintText(), QStringLiteral("Record Count: 2; Employees"));
    grid.SetRecordCountHintEnabled(false);
    QCOMPARE(grid.HintText(), QStringLiteral("Employees"));
}

QTEST_MAIN(TestReDBGrid)
#include "tst_redbgrid.moc"
