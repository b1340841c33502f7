#include "FakeLogger.h"

#include "settings/OrvConnectionParam.h"
#include "settings/vlxCrypt.h"
#include "settings/vlxPlatformPaths.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// Written by the openssl command line tool for the key string "Pane.Widget".
const QString SecretHex = QStringLiteral("D68379F801B733E4C9B0FB830AD654A6");
// "Päss" in Windows-1252, as versions that kept 8-bit text stored it.
const QString AnsiPassHex = QStringLiteral("27A735431A26DED5C82CC409329D4D92");

} // namespace

class TestOrvConnectionParam : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TztSettingsRegistry> m_store;

    QStringList Names(const QString& key = QStringLiteral("OrvaneConnection")) const {
        QStringList names = m_store->GetValueNames(key);
        names.sort();
        return names;
    }
    TOrvAPIConnectionParam Load(TFakeLogger& logger, const QString& root = QString()) const {
        TOrvAPIConnectionParam param;
        LoadConnectionParam(logger, *m_store, root, param);
        return param;
    }

private Q_SLOTS:
    // The program's own kind of store, where the system keeps it (on Windows
    // the registry), emptied around every case.
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", m_dir->filePath(QStringLiteral("config")).toUtf8());
        const QString program = platform::ProgramName(QCoreApplication::applicationFilePath());
        m_store = std::make_unique<TztSettingsRegistry>(platform::AppSettingsHive(program),
                                                        platform::AppSettingsRootPath(program));
        m_store->DeleteNode(QString());
    }
    void cleanup() { m_store->DeleteNode(QString()); }

    void nothingStored() {
        TFakeLogger logger;
        const TOrvAPIConnectionParam param = Load(logger);
        QCOMPARE(param, TOrvAPIConnectionParam());
        QCOMPARE(param.APIServerPort, 9943);
        QCOMPARE(logger.Exceptions, QStringList());
        QCOMPARE(logger.Debug,
                 (QStringList{QStringLiteral("XXX: key=OrvaneConnection\\APIServerAddress"),
                              QStringLiteral("XXX: val=")}));
    }

    void roundTrip_data() {
        QTest::addColumn<QString>("password");
        QTest::newRow("ascii") << QStringLiteral("secret");
        QTest::newRow("exactly 16") << QStringLiteral("0123456789abcdef");
        QTest::newRow("non-ascii") << QStringLiteral("Pässwörd€ 密码");
        QTest::newRow("long") << QString(100, u'x');
    }
    void roundTrip() {
        QFETCH(QString, password);
        TOrvAPIConnectionParam saved;
        saved.APIServerAddress = QStringLiteral("orvane.example.com");
        saved.APIServerPort = 443;
        saved.Username = QStringLiteral("jörg");
        saved.Password = password;
        saved.SavePassword = true;
        SaveConnectionParam(saved, *m_store, QString());
        TFakeLogger logger;
        QCOMPARE(Load(logger), saved);
        QCOMPARE(logger.Exceptions, QStringList());
        QVERIFY(m_store->GetAsString(QStringLiteral("OrvaneConnection\\PasswordHex")) != password);
    }

    void storedPasswordFormat() {
        TOrvAPIConnectionParam param;
        param.Password = QStringLiteral("secret");
        param.SavePassword = true;
        SaveConnectionParam(param, *m_store, QString());
        QCOMPARE(m_store->GetAsString(QStringLiteral("OrvaneConnection\\PasswordHex")), SecretHex);
        QCOMPARE(m_store->GetAsString(QStringLiteral("OrvaneConnection\\SavePassword")),
                 QStringLiteral("1"));
    }

    void passwordNotSaved() {
        TOrvAPIConnectionParam param;
        param.APIServerAddress = QStringLiteral("host");
        param.Username = QStringLiteral("me");
        param.Password = QStringLiteral("secret");
        param.SavePassword = true;
        SaveConnectionParam(param, *m_store, QString());
        param.SavePassword = false;
        SaveConnectionParam(param, *m_store, QString());
        QCOMPARE(Names(),
                 (QStringList{QStringLiteral("APIServerAddress"), QStringLiteral("APIServerPort"),
                              QStringLiteral("SavePassword"), QStringLiteral("Username")}));
        QCOMPARE(m_store->GetAsString(QStringLiteral("OrvaneConnection\\SavePassword")),
                 QStringLiteral("0"));
        TFakeLogger logger;
        QCOMPARE(Load(logger).Password, QString());
    }

    void emptyAddressDeletesValue() {
        TOrvAPIConnectionParam param;
        param.APIServerAddress = QStringLiteral("host");
        SaveConnectionParam(param, *m_store, QString());
        param.APIServerAddress.clear();
        SaveConnectionParam(param, *m_store, QString());
        QVERIFY(!Names().contains(QStringLiteral("APIServerAddress")));
        TFakeLogger logger;
        QCOMPARE(Load(logger).APIServerAddress, QString());
    }

    void oldPlainPassword() {
        m_store->SetAsString(QStringLiteral("OrvaneConnection\\Password"), QStringLiteral("plain"));
        m_store->SetAsString(QStringLiteral("OrvaneConnection\\PasswordHex"), SecretHex);
        TFakeLogger logger;
        TOrvAPIConnectionParam param = Load(logger);
        QCOMPARE(param.Password, QStringLiteral("plain"));
        param.SavePassword = true;
        SaveConnectionParam(param, *m_store, QString());
        QVERIFY(!Names().contains(QStringLiteral("Password")));
        QCOMPARE(Load(logger).Password, QStringLiteral("plain"));
    }

    void legacyAnsiPassword() {
        m_store->SetAsString(QStringLiteral("OrvaneConnection\\PasswordHex"), AnsiPassHex);
        TFakeLogger logger;
        QCOMPARE(Load(logger).Password, QStringLiteral("Päss"));
    }

    void damagedValues_data() {
        QTest::addColumn<QString>("passwordHex");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("exception");
        QTest::addColumn<int>("expectedPort");
        QTest::newRow("odd length") << QStringLiteral("ABC") << QStringLiteral("9000")
                                    << QStringLiteral("Invalid buffer size for decryption") << 9000;
        QTest::newRow("one block and a digit")
            << SecretHex + u'0' << QStringLiteral("1")
            << QStringLiteral("Invalid buffer size for decryption") << 1;
        QTest::newRow("not hex") << QStringLiteral("ZZ") + SecretHex.mid(2) << QStringLiteral("x")
                                 << QStringLiteral("'0xZZ' is not a valid integer value") << 9943;
        QTest::newRow("port beyond 16 bits")
            << QString() << QStringLiteral("70000") << QString() << 9943;
        QTest::newRow("negative port") << QString() << QStringLiteral("-1") << QString() << 9943;
    }
    void damagedValues() {
        QFETCH(QString, passwordHex);
        QFETCH(QString, port);
        QFETCH(QString, exception);
        QFETCH(int, expectedPort);
        m_store->SetAsString(QStringLiteral("OrvaneConnection\\PasswordHex"), passwordHex);
        m_store->SetAsString(QStringLiteral("OrvaneConnection\\APIServerPort"), port);
        m_store->SetAsString(QStringLiteral("OrvaneConnection\\Username"), QStringLiteral("me"));
        m_store->SetAsString(QStringLiteral("OrvaneConnection\\SavePassword"), QStringLiteral("1"));
        TFakeLogger logger;
        const TOrvAPIConnectionParam param = Load(logger);
        QCOMPARE(logger.Exceptions, exception.isEmpty() ? QStringList() : QStringList{exception});
        QCOMPARE(param.Password, QString());
        QCOMPARE(param.APIServerPort, expectedPort);
        // The steps after the failing one still run.
        QCOMPARE(param.Username, QStringLiteral("me"));
        QCOMPARE(param.SavePassword, true);
    }

    void wrongKeyGivesGarbageWithoutError() {
        const QString foreign = StrToHex(EncryptString("secret", "another key"));
        m_store->SetAsString(QStringLiteral("OrvaneConnection\\PasswordHex"), foreign);
        TFakeLogger logger;
        const QString password = Load(logger).Password;
        QCOMPARE(logger.Exceptions, QStringList());
        QVERIFY(password != QStringLiteral("secret"));
    }

    void rootPrefix() {
        TOrvAPIConnectionParam param;
        param.Username = QStringLiteral("site user");
        SaveConnectionParam(param, *m_store, QStringLiteral("Site1"));
        QCOMPARE(m_store->GetAsString(QStringLiteral("Site1\\OrvaneConnection\\Username")),
                 QStringLiteral("site user"));
        QCOMPARE(Names(), QStringList());
        TFakeLogger logger;
        QCOMPARE(Load(logger, QStringLiteral("Site1")).Username, QStringLiteral("site user"));
        QCOMPARE(logger.Debug.first(),
                 QStringLiteral("XXX: key=Site1\\OrvaneConnection\\APIServerAddress"));
    }

    void saveFailureReachesCaller() {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("file"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        TztSettingsRegistry store(TztSettingsHive::File(blocker + QStringLiteral("/s.ini")),
                                  QString());
        TOrvAPIConnectionParam param;
        param.APIServerAddress = QStringLiteral("host");
        QVERIFY_THROWS_EXCEPTION(ESettingsError, SaveConnectionParam(param, store, QString()));
    }
};

QTEST_GUILESS_MAIN(TestOrvConnectionParam)
#include "tst_orvconnectionparam.moc"
