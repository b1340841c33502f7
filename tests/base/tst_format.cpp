#include "base/ztExceptions.h"
#include "base/ztFormat.h"

#include <QtTest>

class TestFormat : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void conversions_data();
    void conversions();
    void misuseAsserts();
};

void TestFormat::conversions_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("which");
    QTest::newRow("elapsed prefix") << "%9.3f sec | "
                                    << "    0.016 sec | " << 0;
    QTest::newRow("integer in text") << "Expected %d fields"
                                     << "Expected 7 fields" << 1;
    QTest::newRow("text") << "'%s' is not a valid date"
                          << "'31/02' is not a valid date" << 2;
    QTest::newRow("percent") << "100%% of %d"
                             << "100% of 7" << 1;
    QTest::newRow("left aligned") << "[%-5s]"
                                  << "[31/02]" << 2;
    QTest::newRow("zero padded") << "%05d"
                                 << "00007" << 1;
    QTest::newRow("negative zero padded") << "%05d"
                                          << "-0042" << 3;
    QTest::newRow("hex") << "0x%08X"
                         << "0x8004040A" << 4;
}

void TestFormat::conversions() {
    QFETCH(QString, format);
    QFETCH(QString, expected);
    QFETCH(int, which);
    const TFormatArgs args[] = {{0.016}, {7}, {"31/02"}, {-42}, {0x8004040A}};
    QCOMPARE(Format(format, args[which]), expected);
}

void TestFormat::misuseAsserts() {
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, Format("%d", {"text"}));
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, Format("%s and %s", {"one"}));
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, Format("dangling %", {}));
}

QTEST_GUILESS_MAIN(TestFormat)
#include "tst_format.moc"
