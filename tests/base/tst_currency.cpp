#include "base/RegionalSettings.h"
#include "base/ztExceptions.h"

#include <QtTest>

class TestCurrency : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parses_data();
    void parses();
    void rejects_data();
    void rejects();
    void textForms_data();
    void textForms();
    void moneyText_data();
    void moneyText();
    void moneyInRegionalSettings_data();
    void moneyInRegionalSettings();
    void regionalDecimalSeparator();
};

void TestCurrency::parses_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("raw");
    QTest::newRow("plain") << "125.50" << qint64(1255000);
    QTest::newRow("negative void") << "-125.50" << qint64(-1255000);
    QTest::newRow("four decimals kept") << "125.5055" << qint64(1255055);
    QTest::newRow("fifth decimal rounds up") << "125.50555" << qint64(1255056);
    QTest::newRow("fifth decimal rounds down") << "125.50554" << qint64(1255055);
    QTest::newRow("negative rounds away from zero") << "-0.00005" << qint64(-1);
    QTest::newRow("leading zeros in fraction") << "0.05" << qint64(500);
    QTest::newRow("no integer part") << ".5" << qint64(5000);
    QTest::newRow("no fraction digits") << "5." << qint64(50000);
    QTest::newRow("plus sign and blanks") << "  +7 " << qint64(70000);
    QTest::newRow("minus zero") << "-0" << qint64(0);
    QTest::newRow("largest") << "922337203685477.5807" << std::numeric_limits<qint64>::max();
    QTest::newRow("long fraction") << "1." + QString(5000, u'9') << qint64(20000);
    // Exact where a double would not be: 0.1 + 0.2 style values.
    QTest::newRow("no binary drift") << "1234567890.1235" << qint64(12345678901235);
}

void TestCurrency::parses() {
    QFETCH(QString, text);
    QFETCH(qint64, raw);
    Currency value;
    QVERIFY(Currency::TryParse(text, u'.', value));
    QCOMPARE(value.Raw(), raw);
}

void TestCurrency::rejects_data() {
    QTest::addColumn<QString>("text");
    // Reports write plain decimals; an exponent or a hex prefix is no amount of theirs.
    for (const char* text : {"",
                             "  ",
                             "-",
                             "+",
                             ".",
                             "1e",
                             "1e+",
                             "1,000.00",
                             "$5",
                             "1.2.3",
                             "12a",
                             "1e308",
                             "922337203685477.5808",
                             "--1",
                             "1 000",
                             "\xd9\xa1",
                             "1.25e2",
                             "125e-4",
                             "1E2",
                             "1e-999999999999",
                             "0x1A",
                             "inf",
                             "nan",
                             "1\t0",
                             "+ 1"})
        QTest::newRow(text) << QString::fromUtf8(text);
}

void TestCurrency::rejects() {
    QFETCH(QString, text);
    Currency value;
    QVERIFY(!Currency::TryParse(text, u'.', value));
    try {
        StrToCurr(text);
        QFAIL("no exception");
    } catch (const EConvertError& e) {
        QCOMPARE(e.Message(), "'" + text + "' is not a valid floating point value");
    }
}

void TestCurrency::textForms_data() {
    QTest::addColumn<qint64>("raw");
    QTest::addColumn<QString>("shortest");
    QTest::addColumn<QString>("twoDecimals");
    QTest::newRow("whole") << qint64(50000) << "5"
                           << "5.00";
    QTest::newRow("half") << qint64(1255000) << "125.5"
                          << "125.50";
    QTest::newRow("rounds half up") << qint64(1255050) << "125.505"
                                    << "125.51";
    QTest::newRow("negative rounds away") << qint64(-1255050) << "-125.505"
                                          << "-125.51";
    QTest::newRow("small negative") << qint64(-1) << "-0.0001"
                                    << "0.00";
    QTest::newRow("zero") << qint64(0) << "0"
                          << "0.00";
    QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << "-922337203685477.5808"
                              << "-922337203685477.58";
}

void TestCurrency::textForms() {
    QFETCH(qint64, raw);
    QFETCH(QString, shortest);
    QFETCH(QString, twoDecimals);
    const Currency value = Currency::FromRaw(raw);
    QCOMPARE(value.ToString(), shortest);
    if (raw != std::numeric_limits<qint64>::min())
        QCOMPARE(value.ToFixed(2), twoDecimals);
}

void TestCurrency::moneyText_data() {
    QTest::addColumn<qint64>("raw");
    QTest::addColumn<QChar>("decimal");
    QTest::addColumn<QChar>("thousands");
    QTest::addColumn<QString>("expected");
    QTest::newRow("US") << qint64(10689000) << QChar(u'.') << QChar(u',') << "1,068.90";
    QTest::newRow("decimal comma") << qint64(10689000) << QChar(u',') << QChar(u'.') << "1.068,90";
    QTest::newRow("blank groups") << qint64(12345678900) << QChar(u',') << QChar(u' ')
                                  << "1 234 567,89";
    QTest::newRow("negative") << qint64(-10689000) << QChar(u'.') << QChar(u',') << "-1,068.90";
    QTest::newRow("no sign before the first group")
        << qint64(-1000000) << QChar(u'.') << QChar(u',') << "-100.00";
    QTest::newRow("below a thousand") << qint64(9999900) << QChar(u'.') << QChar(u',') << "999.99";
    QTest::newRow("rounded to the cent") << qint64(-1) << QChar(u'.') << QChar(u',') << "0.00";
    QTest::newRow("billions") << qint64(12345678901234500) << QChar(u'.') << QChar(u',')
                              << "1,234,567,890,123.45";
}

void TestCurrency::moneyText() {
    QFETCH(qint64, raw);
    QFETCH(QChar, decimal);
    QFETCH(QChar, thousands);
    QFETCH(QString, expected);
    QCOMPARE(Currency::FromRaw(raw).ToMoney(decimal, thousands), expected);
}

void TestCurrency::moneyInRegionalSettings_data() {
    QTest::addColumn<QChar>("decimal");
    QTest::addColumn<QChar>("thousands");
    QTest::addColumn<QString>("expected");
    QTest::newRow("US") << QChar(u'.') << QChar(u',') << "-12,345.60";
    QTest::newRow("decimal comma with dots") << QChar(u',') << QChar(u'.') << "-12.345,60";
    // Only the decimal separator stored: the groups must not look like decimals.
    QTest::newRow("decimal comma alone") << QChar(u',') << QChar(u',') << "-12.345,60";
    QTest::newRow("apostrophe groups") << QChar(u'.') << QChar(u'\'') << "-12'345.60";
}

void TestCurrency::moneyInRegionalSettings() {
    QFETCH(QChar, decimal);
    QFETCH(QChar, thousands);
    QFETCH(QString, expected);
    TRegionalSettings settings;
    settings.DecimalSeparator = decimal;
    settings.ThousandSeparator = thousands;
    TRegionalSettingsOverride guard(settings);
    QCOMPARE(MoneyToStr(Currency::FromRaw(-123456000)), expected);
}

void TestCurrency::regionalDecimalSeparator() {
    TRegionalSettings german;
    german.DecimalSeparator = u',';
    TRegionalSettingsOverride guard(german);
    QCOMPARE(StrToCurr("125,50").Raw(), qint64(1255000));
    QCOMPARE(CurrToStr(Currency::FromRaw(1255000)), QString("125,5"));
    QVERIFY_THROWS_EXCEPTION(EConvertError, StrToCurr("125.50"));
}

QTEST_GUILESS_MAIN(TestCurrency)
#include "tst_currency.moc"
