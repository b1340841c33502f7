#include "../settings/FakeLogger.h"

#include "settings/QBDecl.h"

#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(TQBGLExportParam)

using TStored = QList<QPair<QString, QString>>; // value name, stored text

class TestQBDecl : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TztSettingsRegistry> m_store;

    void Store(const QString& key, const TStored& values) {
        for (const auto& [name, text] : values)
            m_store->SetAsString(key + u'\\' + name, text);
    }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<TztSettingsRegistry>(
            TztSettingsHive::File(m_dir->filePath(QStringLiteral("s.ini"))), QString());
    }

    void loadGLExportParam_data() {
        QTest::addColumn<TStored>("stored");
        QTest::addColumn<bool>("useAccountNumbers");
        QTest::addColumn<int>("parsing");
        QTest::addColumn<QString>("delimiter");
        QTest::newRow("nothing stored") << TStored{} << true << 0 << QString();
        QTest::newRow("account names")
            << TStored{{"UseAccountNumbers", "0"}} << false << 0 << QString();
        QTest::newRow("junk account flag reads false")
            << TStored{{"UseAccountNumbers", "maybe"}} << false << 0 << QString();
        QTest::newRow("old class flag")
            << TStored{{"ExtractClassFromGLTag", "1"}} << true << 1 << QString();
        QTest::newRow("old class flag off")
            << TStored{{"ExtractClassFromGLTag", "0"}} << true << 0 << QString();
        QTest::newRow("new value wins over old flag")
            << TStored{{"ExtractClassFromGLTag", "1"}, {"GLTagParsing", "2"}} << true << 2
            << QString();
        QTest::newRow("parsing above range")
            << TStored{{"GLTagParsing", "7"}} << true << 0 << QString();
        QTest::newRow("parsing negative")
            << TStored{{"GLTagParsing", "-1"}} << true << 0 << QString();
        QTest::newRow("parsing junk") << TStored{{"GLTagParsing", "x"}} << true << 0 << QString();
        QTest::newRow("delimiter first character")
            << TStored{{"DelimiterInGLTag", "::"}} << true << 0 << QStringLiteral(":");
        QTest::newRow("delimiter outside the basic plane")
            << TStored{{"DelimiterInGLTag", QStringLiteral("\U0001F600x")}} << true << 0
            << QStringLiteral("\U0001F600");
    }
    void loadGLExportParam() {
        QFETCH(TStored, stored);
        QFETCH(bool, useAccountNumbers);
        QFETCH(int, parsing);
        QFETCH(QString, delimiter);
        Store(QBGLExportOptionsKey, stored);
        const TQBGLExportParam param = LoadGLExportParam(*m_store, QBGLExportOptionsKey);
        QCOMPARE(param.UseAccountNumbers, useAccountNumbers);
        QCOMPARE(int(param.GLTagParsing), parsing);
        QCOMPARE(param.DelimiterInGLTag, delimiter);
        QCOMPARE(param.Clear, false);
    }

    void oldStoreUpgradesOnSave() {
        Store(QBGLExportOptionsKey, {{"ExtractClassFromGLTag", "1"}, {"Clear", "1"}});
        const TQBGLExportParam param = LoadGLExportParam(*m_store, QBGLExportOptionsKey);
        QCOMPARE(param.GLTagParsing, gtpAssignClass);
        SaveGLExportParam(param, *m_store, QBGLExportOptionsKey);
        QCOMPARE(m_store->GetAsString(QStringLiteral("QBGLExportOptions\\GLTagParsing")),
                 QStringLiteral("1"));
        // The old flag is left alone and no longer consulted.
        QCOMPARE(m_store->GetAsString(QStringLiteral("QBGLExportOptions\\ExtractClassFromGLTag")),
                 QStringLiteral("1"));
        QCOMPARE(LoadGLExportParam(*m_store, QBGLExportOptionsKey), param);
    }

    void glRoundTrip() {
        TQBGLExportParam param;
        param.Clear = true;
        param.UseAccountNumbers = false;
        param.GLTagParsing = gtpAssignName;
        param.DelimiterInGLTag = QStringLiteral("-");
        param.ExcludeManualChecks = true;
        param.SplitBillingByDBDT = true;
        SaveGLExportParam(param, *m_store, QBGLExportOptionsKey);
        QCOMPARE(LoadGLExportParam(*m_store, QBGLExportOptionsKey), param);
        QVERIFY(!m_store->GetValueNames(QBGLExportOptionsKey)
                     .contains(QStringLiteral("ExtractClassFromGLTag")));
    }

    void checksDefaultsAndRoundTrip() {
        TQBChecksExportParam defaults;
        QCOMPARE(LoadChecksExportParam(*m_store, QBChecksExportOptionsKey), defaults);
        QCOMPARE(defaults.IncludeEENames, true);

        TQBChecksExportParam param;
        param.Clear = true;
        param.CashAccount = QStringLiteral("Checking, Main");
        param.LiabilityAccount = QStringLiteral("Payroll Liabilities:Net Pay");
        param.IncludeDD = true;
        param.IncludeEENames = false;
        SaveChecksExportParam(param, *m_store, QBChecksExportOptionsKey);
        QCOMPARE(LoadChecksExportParam(*m_store, QBChecksExportOptionsKey), param);

        // An empty account name removes the stored value.
        param.CashAccount.clear();
        SaveChecksExportParam(param, *m_store, QBChecksExportOptionsKey);
        QVERIFY(!m_store->GetValueNames(QBChecksExportOptionsKey)
                     .contains(QStringLiteral("CashAccount")));
        QCOMPARE(LoadChecksExportParam(*m_store, QBChecksExportOptionsKey), param);
    }

    void batchSizeReadNeverWritten_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("size");
        QTest::newRow("nothing stored") << QString() << 50;
        QTest::newRow("one") << QStringLiteral("1") << 1;
        QTest::newRow("largest") << QStringLiteral("500") << 500;
        QTest::newRow("zero") << QStringLiteral("0") << 50;
        QTest::newRow("too large") << QStringLiteral("501") << 50;
        QTest::newRow("junk") << QStringLiteral("many") << 50;
    }
    void batchSizeReadNeverWritten() {
        // No widget edits it: what an administrator stored stays stored.
        QFETCH(QString, stored);
        QFETCH(int, size);
        for (const QString& key : {QBChecksExportOptionsKey, QBGLExportOptionsKey}) {
            if (!stored.isNull())
                Store(key, {{"BatchSize", stored}});
            TQBChecksExportParam checks = LoadChecksExportParam(*m_store, key);
            TQBGLExportParam gl = LoadGLExportParam(*m_store, key);
            QCOMPARE(checks.BatchSize, size);
            QCOMPARE(gl.BatchSize, size);
            checks.BatchSize = gl.BatchSize = 7;
            SaveChecksExportParam(checks, *m_store, key);
            SaveGLExportParam(gl, *m_store, key);
            QCOMPARE(m_store->GetAsString(key + QStringLiteral("\\BatchSize")), stored);
        }
    }

    void includeEENamesJunkKeepsDefault() {
        Store(QBChecksExportOptionsKey, {{"IncludeEENames", "n/a"}, {"IncludeDD", "n/a"}});
        const TQBChecksExportParam param =
            LoadChecksExportParam(*m_store, QBChecksExportOptionsKey);
        QCOMPARE(param.IncludeEENames, true);
        QCOMPARE(param.IncludeDD, false);
    }

    void reportChoice_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("choice");
        QTest::newRow("missing") << QString() << 0;
        QTest::newRow("all") << QStringLiteral("0") << 0;
        QTest::newRow("agency") << QStringLiteral("2") << 2;
        QTest::newRow("above range") << QStringLiteral("5") << 1;
        QTest::newRow("negative") << QStringLiteral("-3") << 1;
        QTest::newRow("junk") << QStringLiteral("two") << 0;
    }
    void reportChoice() {
        QFETCH(QString, stored);
        QFETCH(int, choice);
        Store(OrvChecksExportOptionsKey, {{"Kind", stored}});
        QCOMPARE(LoadChecksReportChoice(*m_store, OrvChecksExportOptionsKey), choice);
        SaveChecksReportChoice(2, *m_store, OrvChecksExportOptionsKey);
        QCOMPARE(m_store->GetAsString(QStringLiteral("OrvChecksExportOptions\\Kind")),
                 QStringLiteral("2"));
    }

    void logDescription_data() {
        QTest::addColumn<TQBGLExportParam>("param");
        QTest::addColumn<QStringList>("items");
        TQBGLExportParam defaults;
        QTest::newRow("defaults") << defaults << QStringList{"Clear=False",
                                                             "Treat GL tags as=account numbers",
                                                             "GL tag parsing=Don't parse",
                                                             "Delimiter=",
                                                             "Exclude manual checks=False",
                                                             "Split billing by D/B/D/T=False"};
        TQBGLExportParam other;
        other.Clear = true;
        other.UseAccountNumbers = false;
        other.GLTagParsing = gtpAssignClass;
        other.DelimiterInGLTag = QStringLiteral(":");
        other.ExcludeManualChecks = true;
        other.SplitBillingByDBDT = true;
        QTest::newRow("classes") << other << QStringList{"Clear=True",
                                                         "Treat GL tags as=account full names",
                                                         "GL tag parsing=Assign class",
                                                         "Delimiter=:",
                                                         "Exclude manual checks=True",
                                                         "Split billing by D/B/D/T=True"};
        other.GLTagParsing = gtpAssignName;
        QTest::newRow("names") << other << QStringList{"Clear=True",
                                                       "Treat GL tags as=account full names",
                                                       "GL tag parsing=Assign name",
                                                       "Delimiter=:",
                                                       "Exclude manual checks=True",
                                                       "Split billing by D/B/D/T=True"};
    }
    void logDescription() {
        QFETCH(TQBGLExportParam, param);
        QFETCH(QStringList, items);
        TFakeLogger logger;
        LogGLExportParam(logger, param);
        QCOMPARE(logger.Context, items);
    }
};

QTEST_GUILESS_MAIN(TestQBDecl)
#include "tst_qbdecl.moc"
