#include "ledger/LedgerLocation.h"
#include "ledger/LedgerSchema.h"
#include "ledger/RunLedger.h"
#include "settings/ztSettingsFile.h"

#include <QTemporaryDir>
#include <QtTest>

class TestLedgerLocation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parse_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected"); // engine|file|host|port|user|db, or the error
        QTest::newRow("file") << " /home/ann/ledger.sqlite "
                              << "sqlite|/home/ann/ledger.sqlite||||";
        QTest::newRow("url") << "postgresql://bureau@db.local:5433/ledger"
                             << "pg||db.local|5433|bureau|ledger";
        QTest::newRow("default port, no user") << "postgres://10.0.0.5/orvq"
                                               << "pg||10.0.0.5|5432||orvq";
        QTest::newRow("password refused") << "postgresql://bureau:secret@db/ledger"
                                          << "error:it holds a password";
        QTest::newRow("no database") << "postgresql://bureau@db/"
                                     << "error:names no database";
        QTest::newRow("no host") << "postgresql:///ledger"
                                 << "error:names no host";
        QTest::newRow("empty") << "  "
                               << "error:No run ledger is configured";
    }
    void parse() {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        try {
            const TLedgerLocation l = ParseLedgerLocation(value);
            const QString got =
                QStringList{l.Engine == lenSQLite ? "sqlite" : "pg",
                            l.FilePath,
                            l.Host,
                            l.Engine == lenSQLite ? QString() : QString::number(l.Port),
                            l.User,
                            l.DatabaseName}
                    .join(u'|');
            QCOMPARE(got, expected);
            QVERIFY(!l.Display().contains(u"secret"));
        } catch (const ELedgerError& e) {
            QVERIFY2(expected.startsWith(u"error:"), qPrintable(e.Message()));
            QVERIFY2(e.Message().contains(expected.mid(6)), qPrintable(e.Message()));
        }
    }

    // The password is stored protected, never as its text, and a damaged
    // value reads as none.
    void passwordInSettings() {
        QTemporaryDir dir;
        TztSettingsRegistry settings(TztSettingsHive::File(dir.filePath("s.ini")), QString());
        QCOMPARE(LoadLedgerPassword(settings), QString());
        SaveLedgerPassword(settings, QStringLiteral("pä55"));
        QCOMPARE(LoadLedgerPassword(settings), QStringLiteral("pä55"));
        QVERIFY(!settings.GetAsString("Ledger\\PasswordHex").contains(u"55"));
        settings.SetAsString("Ledger\\PasswordHex", "ABC");
        QCOMPARE(LoadLedgerPassword(settings), QString());
    }

    // The alias names the file; its folder is made on first use.
    void opensTheAliasFile() {
        QTemporaryDir dir;
        const QString file = dir.filePath("data/OrvQ/ledger.sqlite");
        const TGenericRedirection redirection({}, {{"Ledger", file}}, TRedirectionPlaces{},
                                              dir.path());
        TztSettingsRegistry settings(TztSettingsHive::File(dir.filePath("s.ini")), QString());
        auto ledger = OpenLedger(redirection, settings, TLedgerOptions{});
        QCOMPARE(ledger->Location().FilePath, file);
        QCOMPARE(ledger->Version(), CurrentLedgerVersion());
        QVERIFY(QFile::exists(file));
    }
};

QTEST_GUILESS_MAIN(TestLedgerLocation)
#include "tst_ledgerlocation.moc"
