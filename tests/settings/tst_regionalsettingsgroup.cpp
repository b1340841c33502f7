#include "TestSupport.h"

#include "settings/RegionalSettingsGroup.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(TRegionalSettings)

class TestRegionalSettingsGroup : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TztSettingsRegistry> m_store;

    static TRegionalSettings German() { return {TDateOrder::DayMonthYear, u'.', u','}; }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<TztSettingsRegistry>(
            TztSettingsHive::File(m_dir->filePath(QStringLiteral("s.ini"))), QString());
    }

    void read_data() {
        QTest::addColumn<QString>("order");
        QTest::addColumn<QString>("dateSeparator");
        QTest::addColumn<QString>("decimalSeparator");
        QTest::addColumn<TRegionalSettings>("expected");
        const TRegionalSettings us;
        QTest::newRow("nothing stored keeps the system")
            << QString() << QString() << QString() << us;
        QTest::newRow("all three") << "DMY"
                                   << "."
                                   << "," << German();
        QTest::newRow("lower-case order")
            << "ymd"
            << "-" << QString() << TRegionalSettings{TDateOrder::YearMonthDay, u'-', u'.'};
        QTest::newRow("unknown order") << "DYM" << QString() << QString() << us;
        QTest::newRow("letter separator") << QString() << "x" << QString() << us;
        QTest::newRow("digit separator") << QString() << QString() << "5" << us;
        QTest::newRow("two characters") << QString() << "//"
                                        << ".," << us;
        QTest::newRow("minus is a sign, not a separator") << QString() << QString() << "-" << us;
        QTest::newRow("one bad item keeps the others")
            << "DMY"
            << "?"
            << "abc" << TRegionalSettings{TDateOrder::DayMonthYear, u'?', u'.'};
    }
    void read() {
        QFETCH(QString, order);
        QFETCH(QString, dateSeparator);
        QFETCH(QString, decimalSeparator);
        QFETCH(TRegionalSettings, expected);
        m_store->SetAsString(QStringLiteral("RegionalSettings\\DateOrder"), order);
        m_store->SetAsString(QStringLiteral("RegionalSettings\\DateSeparator"), dateSeparator);
        m_store->SetAsString(QStringLiteral("RegionalSettings\\DecimalSeparator"),
                             decimalSeparator);
        QCOMPARE(ReadRegionalSettings(*m_store, TRegionalSettings()), expected);
    }

    void readsYearDigits_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("nothing stored keeps the system") << QString() << 4;
        QTest::newRow("two") << "2" << 2;
        QTest::newRow("blanks around") << " 2 " << 2;
        QTest::newRow("three keeps the system") << "3" << 4;
        QTest::newRow("a word keeps the system") << "two" << 4;
    }
    void readsYearDigits() {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        m_store->SetAsString(QStringLiteral("RegionalSettings\\YearDigits"), stored);
        QCOMPARE(ReadRegionalSettings(*m_store, TRegionalSettings()).YearDigits, expected);
    }

    // The README's example, copied into the settings file, does what it says.
    void readmeExample() {
        QFile file(m_dir->filePath(QStringLiteral("s.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(testsupport::ReadmeExample(QStringLiteral("[RegionalSettings]")));
        file.close();
        TRegionalSettings expected = German();
        expected.ThousandSeparator = u'.';
        QCOMPARE(ReadRegionalSettings(*m_store, TRegionalSettings()), expected);
    }

    void thousandSeparator_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QChar>("expected");
        QTest::newRow("nothing stored keeps the system") << QString() << QChar(u',');
        QTest::newRow("dot") << "." << QChar(u'.');
        QTest::newRow("apostrophe") << "'" << QChar(u'\'');
        QTest::newRow("blank") << " " << QChar(u' ');
        QTest::newRow("no-break space") << QString(QChar(0xA0)) << QChar(0xA0);
        QTest::newRow("digit") << "1" << QChar(u',');
        QTest::newRow("two characters") << ".." << QChar(u',');
    }
    void thousandSeparator() {
        QFETCH(QString, stored);
        QFETCH(QChar, expected);
        m_store->SetAsString(QStringLiteral("RegionalSettings\\ThousandSeparator"), stored);
        QCOMPARE(ReadRegionalSettings(*m_store, TRegionalSettings()).ThousandSeparator, expected);
    }

    void loadPutsSettingsInForce() {
        TRegionalSettingsOverride saved(RegionalSettings());
        m_store->SetAsString(QStringLiteral("RegionalSettings\\DateOrder"), QStringLiteral("DMY"));
        m_store->SetAsString(QStringLiteral("RegionalSettings\\DateSeparator"),
                             QStringLiteral("."));
        m_store->SetAsString(QStringLiteral("RegionalSettings\\DecimalSeparator"),
                             QStringLiteral(","));
        QCOMPARE(LoadRegionalSettings(*m_store), German());
        QCOMPARE(RegionalSettings(), German());
        QCOMPARE(StrToDate(QStringLiteral("31.12.2024")), QDate(2024, 12, 31));
    }
};

QTEST_GUILESS_MAIN(TestRegionalSettingsGroup)
#include "tst_regionalsettingsgroup.moc"
