#include "base/RegionalSettings.h"
#include "base/ztExceptions.h"

#include <QtTest>

Q_DECLARE_METATYPE(TDateOrder)

class TestRegionalSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parsesDates_data();
    void parsesDates();
    void rejectsDates_data();
    void rejectsDates();
    void reportDatesCarryTheYear_data();
    void reportDatesCarryTheYear();
    void formatsDates();
};

namespace {
TRegionalSettings Settings(TDateOrder order, QChar separator) {
    TRegionalSettings s;
    s.DateOrder = order;
    s.DateSeparator = separator;
    return s;
}
} // namespace

void TestRegionalSettings::parsesDates_data() {
    QTest::addColumn<TDateOrder>("order");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected");
    const auto mdy = TDateOrder::MonthDayYear;
    const auto dmy = TDateOrder::DayMonthYear;
    const auto ymd = TDateOrder::YearMonthDay;
    QTest::newRow("us padded") << mdy << "/"
                               << "03/07/2024" << QDate(2024, 3, 7);
    QTest::newRow("us one digit") << mdy << "/"
                                  << "3/7/2024" << QDate(2024, 3, 7);
    QTest::newRow("blanks around") << mdy << "/"
                                   << " 3/7/2024  " << QDate(2024, 3, 7);
    QTest::newRow("leap day") << mdy << "/"
                              << "2/29/2024" << QDate(2024, 2, 29);
    QTest::newRow("two-digit year recent") << mdy << "/"
                                           << "3/7/24" << QDate(2024, 3, 7);
    QTest::newRow("two-digit year window start") << mdy << "/"
                                                 << "1/1/76" << QDate(1976, 1, 1);
    QTest::newRow("two-digit year window end") << mdy << "/"
                                               << "1/1/75" << QDate(2075, 1, 1);
    QTest::newRow("no year takes current") << mdy << "/"
                                           << "12/31" << QDate(2026, 12, 31);
    QTest::newRow("day first") << dmy << "."
                               << "7.3.2024" << QDate(2024, 3, 7);
    QTest::newRow("day first no year") << dmy << "."
                                       << "31.12" << QDate(2026, 12, 31);
    QTest::newRow("year first") << ymd << "-"
                                << "2024-3-7" << QDate(2024, 3, 7);
}

void TestRegionalSettings::parsesDates() {
    QFETCH(TDateOrder, order);
    QFETCH(QString, separator);
    QFETCH(QString, text);
    QFETCH(QDate, expected);
    QCOMPARE(StrToDate(text, Settings(order, separator[0]), 2026), expected);
}

void TestRegionalSettings::rejectsDates_data() {
    QTest::addColumn<QString>("text");
    for (const char* text :
         {"", "   ", "2/30/2024", "2/29/2023", "13/1/2024", "0/1/2024", "1/0/2024", "20240230",
          "2024-1-1", "1/1/2024/1", "1//2024", "1/1/20245", "001/1/2024", "1/1/2024x", "+1/1/2024",
          "a/b/c", "1/1/0000"})
        QTest::newRow(text) << QString::fromLatin1(text);
}

void TestRegionalSettings::rejectsDates() {
    QFETCH(QString, text);
    TRegionalSettingsOverride us(Settings(TDateOrder::MonthDayYear, u'/'));
    try {
        StrToDate(text);
        QFAIL("no exception");
    } catch (const EConvertError& e) {
        QCOMPARE(e.Message(), "'" + text + "' is not a valid date");
    }
}

void TestRegionalSettings::reportDatesCarryTheYear_data() {
    QTest::addColumn<int>("yearDigits");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected"); // invalid: refused
    QTest::newRow("four digits") << 4 << "3/8/2024" << QDate(2024, 3, 8);
    QTest::newRow("no year") << 4 << "3/8" << QDate();
    QTest::newRow("two digits where the format has four") << 4 << "3/8/24" << QDate();
    QTest::newRow("three digits") << 4 << "3/8/024" << QDate();
    QTest::newRow("one digit") << 4 << "3/8/4" << QDate();
    // A workstation whose short date is M/d/yy: its reports write two digits.
    QTest::newRow("two-digit format") << 2 << "3/8/24" << QDate(2024, 3, 8);
    QTest::newRow("two-digit format, window start") << 2 << "1/1/76" << QDate(1976, 1, 1);
    QTest::newRow("two-digit format, four digits") << 2 << "3/8/2024" << QDate(2024, 3, 8);
    QTest::newRow("two-digit format, no year") << 2 << "3/8" << QDate();
    QTest::newRow("two-digit format, one digit") << 2 << "3/8/4" << QDate();
}

void TestRegionalSettings::reportDatesCarryTheYear() {
    QFETCH(int, yearDigits);
    QFETCH(QString, text);
    QFETCH(QDate, expected);
    TRegionalSettings settings = Settings(TDateOrder::MonthDayYear, u'/');
    settings.YearDigits = yearDigits;
    try {
        QCOMPARE(StrToReportDate(text, settings, 2026), expected);
    } catch (const EConvertError& e) {
        QVERIFY2(!expected.isValid(), qPrintable(e.Message()));
        QCOMPARE(e.Message(), "'" + text + "' is not a valid date");
    }
}

void TestRegionalSettings::formatsDates() {
    const QDate date(2024, 3, 7);
    {
        TRegionalSettingsOverride us(Settings(TDateOrder::MonthDayYear, u'/'));
        QCOMPARE(DateToStr(date), QString("3/7/2024"));
        QCOMPARE(StrToDate(DateToStr(date)), date);
    }
    {
        TRegionalSettingsOverride de(Settings(TDateOrder::DayMonthYear, u'.'));
        QCOMPARE(DateToStr(date), QString("7.3.2024"));
        QCOMPARE(StrToDate(DateToStr(date)), date);
    }
}

QTEST_GUILESS_MAIN(TestRegionalSettings)
#include "tst_regionalsettings.moc"
