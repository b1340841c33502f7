#include "EmployeeTable.h"
#include "ui/SFilterDialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestFilterDialog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void readsWhatOthersWrote();
    void typingAndKeys();
};

namespace {

const QStringList Offered = {QStringLiteral("NAME\t\tName"), QStringLiteral("CO_NBR\tx\tCo#\tmore"),
                             QStringLiteral("PAY\t\tPay")};

QStringList Values(const TFilterDialog& dialog) {
    QStringList values;
    for (int row = 0; row < dialog.RowCount(); ++row)
        values << dialog.ValueEditor(row)->text();
    return values;
}

} // namespace

void TestFilterDialog::roundTrip_data() {
    QTest::addColumn<QStringList>("values"); // NAME, CO_NBR, PAY
    QTest::addColumn<bool>("negate");
    QTest::addColumn<bool>("exact");
    QTest::addColumn<QString>("filter");
    QTest::newRow("SMITH and CO_NBR 12") << QStringList{"SMITH", "12", ""} << false << false
                                         << "0=0 AND NAME like '%SMITH%' AND CO_NBR = '12'";
    QTest::newRow("exact match") << QStringList{"SMITH", "", ""} << false << true
                                 << "1=1 AND NAME like 'SMITH'";
    QTest::newRow("not, on every condition")
        << QStringList{"SMITH", "12", ""} << true << false
        << "0=0 AND not NAME like '%SMITH%' AND not CO_NBR = '12'";
    QTest::newRow("a quote in a name is doubled")
        << QStringList{"O'NEIL", "", ""} << false << true << "1=1 AND NAME like 'O''NEIL'";
    QTest::newRow("AND inside a value")
        << QStringList{"BREAD AND BUTTER", "", "7.5"} << false << false
        << "0=0 AND NAME like '%BREAD AND BUTTER%' AND PAY = '7.5'";
    QTest::newRow("no values, no filter") << QStringList{"", "", ""} << true << true << "";
}

void TestFilterDialog::roundTrip() {
    QFETCH(QStringList, values);
    QFETCH(bool, negate);
    QFETCH(bool, exact);
    QFETCH(QString, filter);
    auto table = testsupport::Employees();
    TFilterDialog dialog;
    dialog.Setup(QString(), Offered, *table);
    QCOMPARE(dialog.RowCount(), 3);
    QCOMPARE(dialog.Title(1), QStringLiteral("Co#"));
    for (int row = 0; row < 3; ++row)
        dialog.ValueEditor(row)->setText(values.at(row));
    dialog.NotBox()->setChecked(negate);
    dialog.ExactMatchBox()->setChecked(exact);
    QCOMPARE(dialog.BuildFilter(), filter);

    // Reopened on that filter, the dialog shows what was entered.
    TFilterDialog reopened;
    reopened.Setup(filter, Offered, *table);
    QCOMPARE(Values(reopened), values);
    if (!filter.isEmpty()) {
        QCOMPARE(reopened.NotBox()->isChecked(), negate);
        QCOMPARE(reopened.ExactMatchBox()->isChecked(), exact);
    }
    QCOMPARE(reopened.BuildFilter(), filter);
    table->SetFilter(filter); // the table reads every filter the dialog writes
}

void TestFilterDialog::readsWhatOthersWrote() {
    auto table = testsupport::Employees();
    TFilterDialog dialog;
    dialog.Setup(QStringLiteral("Upper(NAME) like '%o%' AND CO_NBR = 12 AND NOPE = '1'"), Offered,
                 *table);
    QCOMPARE(Values(dialog), QStringList({"o", "12", ""}));
    QVERIFY(!dialog.ExactMatchBox()->isChecked());
}

void TestFilterDialog::typingAndKeys() {
    auto table = testsupport::Employees();
    TFilterDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Filter records to view"));
    dialog.Setup(QStringLiteral("0=0 AND PAY = '1.5'"), Offered, *table);
    dialog.open();
    QTest::keyClicks(dialog.ValueEditor(0), QStringLiteral("o'neil"));
    QCOMPARE(dialog.ValueEditor(0)->text(), QStringLiteral("O'NEIL"));
    QTest::keyClick(dialog.ValueEditor(2), Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(dialog.isHidden());

    dialog.open();
    QTest::keyClick(dialog.ValueEditor(1), Qt::Key_Escape);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));

    QTest::mouseClick(dialog.ClearAllButton(), Qt::LeftButton);
    QCOMPARE(Values(dialog), QStringList({"", "", ""}));
    QCOMPARE(dialog.BuildFilter(), QString());
}

QTEST_MAIN(TestFilterDialog)
#include "tst_filterdialog.moc"
