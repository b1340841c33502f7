#include "TestPlatform.h"
#include "TestSupport.h"

#include "base/RegionalSettings.h"
#include "settings/vlxPlatformPaths.h"
#include "settings/ztSettings.h"
#include "settings/ztSettingsFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include <vector>

class TestZtSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString File() const { return m_dir->filePath(QStringLiteral("store.ini")); }
    std::unique_ptr<TztSettingsRegistry> Store(const QString& root = QString()) const {
        return std::make_unique<TztSettingsRegistry>(TztSettingsHive::File(File()), root);
    }
    // The file as another program (or a hand edit) sees it.
    std::unique_ptr<QSettings> Raw() const {
        return std::make_unique<QSettings>(File(), SettingsFileFormat());
    }
    void WriteFile(const QByteArray& bytes) const {
        QFile f(File());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void rootPathNormalisation_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("normalised");
        QTest::newRow("empty stays empty") << QString() << QString();
        QTest::newRow("backslash appended") << QStringLiteral("Software\\Zantrel\\orvq")
                                            << QStringLiteral("Software\\Zantrel\\orvq\\");
        QTest::newRow("slash path gets slash") << QStringLiteral("a/b") << QStringLiteral("a/b/");
        QTest::newRow("ends with backslash") << QStringLiteral("a\\") << QStringLiteral("a\\");
        QTest::newRow("ends with slash") << QStringLiteral("a/") << QStringLiteral("a/");
        QTest::newRow("ends with colon") << QStringLiteral("C:") << QStringLiteral("C:");
        QTest::newRow("one letter is a drive") << QStringLiteral("C") << QStringLiteral("C:\\");
    }
    void rootPathNormalisation() {
        QFETCH(QString, path);
        QFETCH(QString, normalised);
        QCOMPARE(TztSettingsRegistry::NormaliseRootPath(path), normalised);
        QCOMPARE(Store(path)->RootPath(), normalised);
    }

    void storedText_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("string") << QVariant(QStringLiteral("Bank, Checking"))
                                << QStringLiteral("Bank, Checking");
        QTest::newRow("non-ascii string")
            << QVariant(QStringLiteral("Zürich €")) << QStringLiteral("Zürich €");
        QTest::newRow("integer") << QVariant(9943) << QStringLiteral("9943");
        QTest::newRow("negative integer") << QVariant(-12) << QStringLiteral("-12");
        QTest::newRow("true") << QVariant(true) << QStringLiteral("1");
        QTest::newRow("false") << QVariant(false) << QStringLiteral("0");
        QTest::newRow("midnight is the date alone")
            << QVariant(QDateTime(QDate(2024, 3, 7), QTime(0, 0))) << QStringLiteral("3/7/2024");
        QTest::newRow("date-time") << QVariant(QDateTime(QDate(2024, 12, 31), QTime(13, 5, 9)))
                                   << QStringLiteral("12/31/2024 13:05:09");
        QTest::newRow("text starting with @")
            << QVariant(QStringLiteral("@Variant(x)")) << QStringLiteral("@Variant(x)");
    }
    void storedText() {
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        auto store = Store();
        store->SetValue(QStringLiteral("Group\\Value"), value);
        QCOMPARE(Raw()->value(QStringLiteral("Group/Value")).toString(), text);
        // ... and reads back as what was written.
        QCOMPARE(store->GetValue(QStringLiteral("Group\\Value"), value), value);
    }

    // Values as a hand edit or another version left them.
    void conversions_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QVariant>("defaultValue");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("integer") << QByteArray("V=12") << QVariant(0) << QVariant(12);
        QTest::newRow("integer not a number") << QByteArray("V=abc") << QVariant(0) << QVariant(0);
        QTest::newRow("integer empty gives default")
            << QByteArray("V=") << QVariant(7) << QVariant(7);
        QTest::newRow("integer overflow")
            << QByteArray("V=99999999999") << QVariant(3) << QVariant(3);
        QTest::newRow("ushort in range")
            << QByteArray("V=9000") << QVariant::fromValue(quint16(9943))
            << QVariant::fromValue(quint16(9000));
        QTest::newRow("ushort out of range")
            << QByteArray("V=70000") << QVariant::fromValue(quint16(9943))
            << QVariant::fromValue(quint16(9943));
        QTest::newRow("ushort negative") << QByteArray("V=-1") << QVariant::fromValue(quint16(9943))
                                         << QVariant::fromValue(quint16(9943));
        QTest::newRow("boolean 1") << QByteArray("V=1") << QVariant(false) << QVariant(true);
        QTest::newRow("boolean 0") << QByteArray("V=0") << QVariant(true) << QVariant(false);
        QTest::newRow("boolean word") << QByteArray("V=True") << QVariant(false) << QVariant(true);
        QTest::newRow("boolean FALSE")
            << QByteArray("V=FALSE") << QVariant(true) << QVariant(false);
        QTest::newRow("boolean yes fails")
            << QByteArray("V=yes") << QVariant(false) << QVariant(false);
        QTest::newRow("boolean yes fails to true default")
            << QByteArray("V=yes") << QVariant(true) << QVariant(true);
        QTest::newRow("string with commas") << QByteArray("V=Bank, Checking") << QVariant(QString())
                                            << QVariant(QStringLiteral("Bank, Checking"));
        QTest::newRow("string empty ignores default")
            << QByteArray("V=") << QVariant(QStringLiteral("x")) << QVariant(QString());
        QTest::newRow("date-time bad")
            << QByteArray("V=31/31/2024") << QVariant(QDateTime()) << QVariant(QDateTime());
        QTest::newRow("date-time date only") << QByteArray("V=3/7/2024") << QVariant(QDateTime())
                                             << QVariant(QDateTime(QDate(2024, 3, 7), QTime(0, 0)));
        QTest::newRow("date-time bad time")
            << QByteArray("V=3/7/2024 25:00") << QVariant(QDateTime()) << QVariant(QDateTime());
        QTest::newRow("double") << QByteArray("V=2.5") << QVariant(0.0) << QVariant(2.5);
        QTest::newRow("double junk") << QByteArray("V=2,5x") << QVariant(1.0) << QVariant(1.0);
        QTest::newRow("serialised variant is not an integer")
            << QByteArray("V=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x5garb)") << QVariant(4)
            << QVariant(4);
    }
    void conversions() {
        QFETCH(QByteArray, line);
        QFETCH(QVariant, defaultValue);
        QFETCH(QVariant, expected);
        WriteFile("[Key]\nOther=1\n" + line + '\n');
        const QVariant value = Store()->GetValue(QStringLiteral("Key\\V"), defaultValue);
        QCOMPARE(value.typeId(), defaultValue.typeId());
        QCOMPARE(value, expected);
    }

    // A value written by hand reads as written: ";", "," and "=" are text,
    // comments take whole lines; QSettings' quoting is still understood.
    void handWrittenValues_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("value");
        QTest::newRow("addresses separated by ;")
            << QByteArray("V=a@x.example;b@y.example") << QStringLiteral("a@x.example;b@y.example");
        QTest::newRow("account name, blanks around") << QByteArray("V =  Bank,Checking:Payroll\t ")
                                                     << QStringLiteral("Bank,Checking:Payroll");
        QTest::newRow("equals sign and backslashes")
            << QByteArray("V=x=y DOMAIN\\tom C:\\new") << QStringLiteral("x=y DOMAIN\\tom C:\\new");
        QTest::newRow("text after a value belongs to it")
            << QByteArray("V=DMY ; day first") << QStringLiteral("DMY ; day first");
        QTest::newRow("quoted as QSettings writes")
            << QByteArray("V=\"a;b, \\\"c\\\" \\\\d\\t\\0\\x31\"")
            << QStringLiteral("a;b, \"c\" \\d\t") + QChar(0) + u'1';
        QTest::newRow("quoted keeps blanks")
            << QByteArray("V=\" padded \"") << QStringLiteral(" padded ");
        QTest::newRow("quoted text beginning with @")
            << QByteArray("V=\"@@x;y\"") << QStringLiteral("@x;y");
        QTest::newRow("quotes not around the whole value are text")
            << QByteArray("V=\"a\" b") << QStringLiteral("\"a\" b");
        QTest::newRow("quote without its end is text")
            << QByteArray("V=\"a;b") << QStringLiteral("\"a;b");
    }
    void handWrittenValues() {
        QFETCH(QByteArray, line);
        QFETCH(QString, value);
        WriteFile("\xEF\xBB\xBF; written by hand\r\n[Key]\r\n  # a comment\r\n" + line +
                  "\r\nNext=1\r\n");
        auto store = Store();
        QCOMPARE(store->GetAsString(QStringLiteral("Key\\V")), value);
        QCOMPARE(store->GetValueNames(QStringLiteral("Key")),
                 (QStringList{QStringLiteral("Next"), QStringLiteral("V")}));
    }

    // The store writes each value so that it reads back unchanged, as it
    // stands wherever it can.
    void writtenValuesReadBack_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("separators") << QStringLiteral("a;b, c=d") << QByteArray("V=a;b, c=d");
        QTest::newRow("backslashes")
            << QStringLiteral("DOMAIN\\tom") << QByteArray("V=DOMAIN\\tom");
        QTest::newRow("@ first") << QStringLiteral("@x") << QByteArray("V=@x");
        QTest::newRow("non-ASCII")
            << QStringLiteral("Z\u00fcrich") << QByteArray("V=Z\xc3\xbcrich");
        QTest::newRow("blanks at the ends")
            << QStringLiteral(" @a\\b ") << QByteArray("V=\" @a\\\\b \"");
        QTest::newRow("leading blanks only")
            << QStringLiteral("   lead") << QByteArray("V=\"   lead\"");
        QTest::newRow("quote first") << QStringLiteral("\"q\"") << QByteArray("V=\"\\\"q\\\"\"");
        QTest::newRow("lone surrogate")
            << QString(QChar(0xDDD2)) + u'x' << QByteArray("V=\"\\xddd2x\"");
        QTest::newRow("surrogate pair as it is")
            << QString::fromUtf8("\xF0\x9F\x98\x80") << QByteArray("V=\xF0\x9F\x98\x80");
        QTest::newRow("control characters")
            << QStringLiteral("a\r\nb\t") + QChar(0) + QStringLiteral("1") + QChar(0x7f)
            << QByteArray("V=\"a\\r\\nb\\t\\0\\x31\\x7f\"");
    }
    void writtenValuesReadBack() {
        QFETCH(QString, value);
        QFETCH(QByteArray, line);
        Store()->SetAsString(QStringLiteral("Key\\V"), value);
        QCOMPARE(testsupport::ReadFile(File()), "[Key]\n" + line + '\n');
        QCOMPARE(Store()->GetAsString(QStringLiteral("Key\\V")), value);
    }

    // Keys with a "/" at an end or doubled, as a hand edit may leave them,
    // read as QSettings names them: found, and kept when the store writes.
    void strayKeySlashes_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::newRow("key ending in /")
            << QByteArray("[General]\nRort/=x\n[Orvan") << QStringLiteral("Rort");
        QTest::newRow("key beginning with \\")
            << QByteArray("[Key]\n\\V=x\n") << QStringLiteral("Key\\V");
        QTest::newRow("group ending in \\, key doubling it")
            << QByteArray("[Key\\]\nA\\\\V=x\n") << QStringLiteral("Key\\A\\V");
    }
    void strayKeySlashes() {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        WriteFile(file);
        QCOMPARE(Store()->GetAsString(name), QStringLiteral("x"));
        Store()->SetAsString(QStringLiteral("Other"), QStringLiteral("y"));
        QCOMPARE(Store()->GetAsString(name), QStringLiteral("x"));
    }

    // A file QSettings' INI format wrote (quoted values, escaped keys,
    // [General] for the root) reads as it did.
    void fileOfQSettingsReadsAsBefore() {
        const QStringList values{QStringLiteral("a;b"), QStringLiteral(" lead"),
                                 QStringLiteral("@x,y"), QStringLiteral("tab\there, too")};
        {
            QSettings ini(File(), QSettings::IniFormat);
            for (int i = 0; i < values.size(); ++i)
                ini.setValue(QStringLiteral("Key with blank/V%1").arg(i), values[i]);
            ini.setValue(QStringLiteral("General/Top"), QStringLiteral("group"));
            ini.setValue(QStringLiteral("Top"), QStringLiteral("root"));
        }
        auto store = Store();
        for (int i = 0; i < values.size(); ++i)
            QCOMPARE(store->GetAsString(QStringLiteral("Key with blank\\V%1").arg(i)), values[i]);
        QCOMPARE(store->GetAsString(QStringLiteral("General\\Top")), QStringLiteral("group"));
        QCOMPARE(store->GetAsString(QStringLiteral("Top")), QStringLiteral("root"));
        // Written again by the store, the same keys stand in the same places.
        store->SetAsString(QStringLiteral("Key with blank\\V0"), QStringLiteral("a;b;c"));
        QSettings ini(File(), QSettings::IniFormat);
        QCOMPARE(ini.value(QStringLiteral("General/Top")).toString(), QStringLiteral("group"));
        QCOMPARE(ini.value(QStringLiteral("Top")).toString(), QStringLiteral("root"));
        QCOMPARE(ini.value(QStringLiteral("Key with blank/V1")).toString(), values[1]);
    }

    void typedAccessors() {
        auto store = Store();
        store->SetAsInteger(QStringLiteral("K\\I"), -5);
        store->SetAsBoolean(QStringLiteral("K\\B"), true);
        store->SetAsString(QStringLiteral("K\\S"), QStringLiteral("text"));
        const QDateTime when(QDate(2025, 1, 2), QTime(3, 4, 5));
        store->SetAsDateTime(QStringLiteral("K\\D"), when);
        QCOMPARE(store->GetAsInteger(QStringLiteral("K\\I")), -5);
        QCOMPARE(store->GetAsBoolean(QStringLiteral("K\\B")), true);
        QCOMPARE(store->GetAsString(QStringLiteral("K\\S")), QStringLiteral("text"));
        QCOMPARE(store->GetAsDateTime(QStringLiteral("K\\D")), when);
        QCOMPARE(store->GetAsInteger(QStringLiteral("K\\S")), 0);
        QCOMPARE(store->GetAsBoolean(QStringLiteral("K\\S")), false);
        QVERIFY(store->GetAsDateTime(QStringLiteral("K\\S")).isNull());
    }

    void emptyTextOnMissingKeyCreatesNothing() {
        auto store = Store();
        store->SetAsString(QStringLiteral("New\\Key\\Value"), QString());
        store->SetAsDateTime(QStringLiteral("New\\When"), QDateTime());
        QVERIFY(!QFile::exists(File()));
        QCOMPARE(store->GetChildNames(QString()), QStringList());
    }

    void emptyTextDeletesValue() {
        auto store = Store();
        store->SetAsString(QStringLiteral("K\\A"), QStringLiteral("x"));
        store->SetAsString(QStringLiteral("K\\B"), QStringLiteral("y"));
        store->SetAsString(QStringLiteral("K\\A"), QString());
        QCOMPARE(store->GetValueNames(QStringLiteral("K")), QStringList{QStringLiteral("B")});
        QVERIFY(!Raw()->contains(QStringLiteral("K/A")));
    }

    void missingKeyGivesDefaultMissingValueGivesEmpty() {
        auto store = Store();
        store->SetAsString(QStringLiteral("K\\Present"), QStringLiteral("x"));
        const QVariant fallback(QStringLiteral("default"));
        QCOMPARE(store->GetValue(QStringLiteral("Nope\\V"), fallback), fallback);
        QCOMPARE(store->GetValue(QStringLiteral("K\\Absent"), fallback), QVariant(QString()));
        QCOMPARE(store->GetValue(QStringLiteral("K\\Absent"), QVariant(42)), QVariant(42));
    }

    void nameSplitsAtLastBackslash() {
        auto store = Store(QStringLiteral("Software\\Zantrel\\orvq"));
        store->SetAsString(QStringLiteral("A\\B\\C"), QStringLiteral("deep"));
        store->SetAsString(QStringLiteral("Top"), QStringLiteral("root"));
        auto raw = Raw();
        QCOMPARE(raw->value(QStringLiteral("Software/Zantrel/orvq/A/B/C")).toString(),
                 QStringLiteral("deep"));
        QCOMPARE(raw->value(QStringLiteral("Software/Zantrel/orvq/Top")).toString(),
                 QStringLiteral("root"));
        QCOMPARE(store->GetChildNames(QStringLiteral("A")), QStringList{QStringLiteral("B")});
        QCOMPARE(store->GetValueNames(QString()), QStringList{QStringLiteral("Top")});
        QCOMPARE(store->GetAsString(QStringLiteral("Top")), QStringLiteral("root"));
    }

    void listsOfMissingKeyAreEmpty() {
        auto store = Store();
        QCOMPARE(store->GetValueNames(QStringLiteral("Nope")), QStringList());
        QCOMPARE(store->GetChildNames(QStringLiteral("Nope\\Deeper")), QStringList());
    }

    void deleteNodeRemovesSubtree() {
        auto store = Store();
        store->SetAsString(QStringLiteral("OrvaneConnection\\Username"), QStringLiteral("u"));
        store->SetAsInteger(QStringLiteral("OrvaneConnection\\APIServerPort"), 1);
        store->SetAsString(QStringLiteral("OrvaneConnection\\Sub\\X"), QStringLiteral("x"));
        store->SetAsString(QStringLiteral("Other\\Y"), QStringLiteral("y"));
        store->DeleteNode(QStringLiteral("OrvaneConnection"));
        QCOMPARE(store->GetChildNames(QString()), QStringList{QStringLiteral("Other")});
        QCOMPARE(store->GetAsString(QStringLiteral("Other\\Y")), QStringLiteral("y"));
        store->DeleteNode(QStringLiteral("OrvaneConnection")); // missing: no error
        store->DeleteValue(QStringLiteral("Other\\Missing"));
        store->DeleteValue(QStringLiteral("Other\\Y"));
        QCOMPARE(store->GetChildNames(QString()), QStringList());
    }

    void garbageFileNeverFailsReaders() {
        QVERIFY(QFile::copy(testsupport::DataPath(QStringLiteral("settings/garbage.ini")), File()));
        QFile::setPermissions(File(), QFile::ReadOwner | QFile::WriteOwner);
        auto store = Store();
        QCOMPARE(store->GetValue(QStringLiteral("OrvaneConnection\\APIServerPort"),
                                 QVariant::fromValue(quint16(9943))),
                 QVariant::fromValue(quint16(9943)));
        QCOMPARE(store->GetAsInteger(QStringLiteral("QBGLExportOptions\\GLTagParsing")), 0);
        QCOMPARE(store->GetAsBoolean(QStringLiteral("QBGLExportOptions\\SplitBillingByDBDT")),
                 false);
        QCOMPARE(store->GetAsBoolean(QStringLiteral("QBGLExportOptions\\Clear")), true);
        store->GetAsString(QStringLiteral("OrvaneConnection\\Username"));
        store->GetValueNames(QStringLiteral("OrvaneConnection"));
        // Writing over it keeps working.
        store->SetAsString(QStringLiteral("OrvaneConnection\\Username"), QStringLiteral("me"));
        QCOMPARE(store->GetAsString(QStringLiteral("OrvaneConnection\\Username")),
                 QStringLiteral("me"));
    }

    void unwritableStoreThrowsOnWrite() {
        // The settings file would have to live below a plain file.
        WriteFile("not a folder");
        TztSettingsRegistry store(TztSettingsHive::File(File() + QStringLiteral("/store.ini")),
                                  QString());
        QCOMPARE(store.GetAsString(QStringLiteral("K\\V")), QString());
        QVERIFY_THROWS_EXCEPTION(ESettingsError,
                                 store.SetAsString(QStringLiteral("K\\V"), QStringLiteral("x")));
        // Deleting what is not there touches nothing and does not fail.
        store.SetAsString(QStringLiteral("K\\V"), QString());
    }

    void emptyValueNameIsRefused() {
        auto store = Store();
        QVERIFY_THROWS_EXCEPTION(ESettingsError,
                                 store->SetAsString(QStringLiteral("K\\"), QStringLiteral("x")));
        QCOMPARE(store->GetValue(QStringLiteral("K\\"), QVariant(5)), QVariant(5));
    }

    // One store shared by threads: every write lands, no read sees a torn
    // file.
    void sharedBetweenThreads() {
        auto store = Store();
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&store, t] {
                for (int i = 0; i < 25; ++i) {
                    const QString name = QStringLiteral("T%1\\V%2").arg(t).arg(i);
                    store->SetAsInteger(name, t * 100 + i);
                    store->GetAsInteger(name);
                }
            });
        for (auto& thread : threads)
            thread.join();
        for (int t = 0; t < 4; ++t) {
            QCOMPARE(store->GetValueNames(QStringLiteral("T%1").arg(t)).size(), 25);
            QCOMPARE(store->GetAsInteger(QStringLiteral("T%1\\V24").arg(t)), t * 100 + 24);
        }
    }

    // The program's own store is where the system keeps a user's settings
    // (on Windows the registry): written, read back, deleted there.
    void appSettingsLiveInUserConfigFolder() {
        qputenv("XDG_CONFIG_HOME", m_dir->filePath(QStringLiteral("config")).toUtf8());
        const QString program = platform::ProgramName(QCoreApplication::applicationFilePath());
        auto store = CreateAppSettings();
        store->DeleteNode(QString());
        QCOMPARE(store->RootPath(), testsupport::StoredAppSettingsRootPath(program));
        const QString name = QStringLiteral("OrvaneConnection\\Username");
        const QString value = QStringLiteral("me \U0001D11E");
        store->SetAsString(name, value);
        QCOMPARE(testsupport::OpenStoredAppSettings(program)
                     ->value(QStringLiteral("OrvaneConnection/Username"))
                     .toString(),
                 value);
        QCOMPARE(store->GetAsString(name), value);
        store->DeleteValue(name);
        QVERIFY(!testsupport::OpenStoredAppSettings(program)->contains(
            QStringLiteral("OrvaneConnection/Username")));
        store->DeleteNode(QString());
    }

    void editsByOthersAreSeen() {
        auto store = Store();
        store->SetAsInteger(QStringLiteral("K\\V"), 1);
        {
            auto raw = Raw();
            raw->setValue(QStringLiteral("K/V"), QStringLiteral("2"));
        }
        QCOMPARE(store->GetAsInteger(QStringLiteral("K\\V")), 2);
    }
};

QTEST_GUILESS_MAIN(TestZtSettings)
#include "tst_ztsettings.moc"
