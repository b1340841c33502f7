#include "TestSupport.h"

#include "settings/vlxPlatformPaths.h"
#include "settings/vlxRedir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

TRedirectionPlaces FixedPlaces() {
    TRedirectionPlaces places;
    places.WorkDir = QStringLiteral("/work");
    places.AppDir = QStringLiteral("/opt/orvq");
    places.TempDir = QStringLiteral("/tmp");
    places.AppDataDir = QStringLiteral("/home/u/.local/share");
    places.LocalAppDataDir = QStringLiteral("/home/u/.local/state");
    places.CommonAppDataDir = QStringLiteral("/usr/share");
    return places;
}

TGenericRedirection Make(const TRedirectionEntries& directories,
                         const TRedirectionEntries& fileNames = {}) {
    return TGenericRedirection(directories, fileNames, FixedPlaces(), QStringLiteral("/etc/orvq"));
}

template <class TException, class TCall> QString MessageOf(TCall call) {
    try {
        call();
    } catch (const TException& e) {
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// A folder as GetDirectory gives it: ending with the platform's delimiter
// (the value's own separators stay as written).
QString Folder(const QString& withSlash) {
    return withSlash.chopped(1) + platform::PathDelimiter();
}

} // namespace

class TestVlxRedir : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void expansion_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QStringLiteral("/var/x") << Folder(QStringLiteral("/var/x/"));
        QTest::newRow("doubled percent is literal")
            << QStringLiteral("/a/100%%") << Folder(QStringLiteral("/a/100%/"));
        QTest::newRow("built-in") << QStringLiteral("%AppDir%/q")
                                  << Folder(QStringLiteral("/opt/orvq/q/"));
        QTest::newRow("built-in any case") << QStringLiteral("%appdatadir%/OrvQ")
                                           << Folder(QStringLiteral("/home/u/.local/share/OrvQ/"));
        QTest::newRow("every built-in")
            << QStringLiteral("%WorkDir%|%TempDir%|%LocalAppDataDir%|%CommonAppDataDir%|%ThisDir%")
            << Folder(QStringLiteral("/work|/tmp|/home/u/.local/state|/usr/share|/etc/orvq/"));
        QTest::newRow("alias chain")
            << QStringLiteral("%Archives%/x")
            << Folder(QStringLiteral("/home/u/.local/share/OrvQ/Archives/x/"));
        QTest::newRow("alias reference any case")
            << QStringLiteral("%BASE%") << Folder(QStringLiteral("/home/u/.local/share/OrvQ/"));
        QTest::newRow("already ends with delimiter")
            << QStringLiteral("%Base%/") << QStringLiteral("/home/u/.local/share/OrvQ/");
        QTest::newRow("blanks around removed")
            << QStringLiteral("  %TempDir%  ") << Folder(QStringLiteral("/tmp/"));
        QTest::newRow("empty value stays empty") << QString() << QString();
        QTest::newRow("same alias twice in a value")
            << QStringLiteral("%Base%:%Base%")
            << Folder(QStringLiteral("/home/u/.local/share/OrvQ:/home/u/.local/share/OrvQ/"));
    }
    void expansion() {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        const auto redir = Make({{QStringLiteral("Base"), QStringLiteral("%AppDataDir%/OrvQ")},
                                 {QStringLiteral("Archives"), QStringLiteral("%Base%/Archives")},
                                 {QStringLiteral("Subject"), value}});
        QCOMPARE(redir.GetDirectory(QStringLiteral("Subject")), expected);
    }

    void hundredPercentSigns() {
        const QString value(200, u'%');
        const auto redir = Make({}, {{QStringLiteral("F"), value}});
        QCOMPARE(redir.GetFileName(QStringLiteral("F")), QString(100, u'%'));
    }

    void fileNameGetsNoDelimiter() {
        const auto redir = Make({{QStringLiteral("Base"), QStringLiteral("%TempDir%/OrvQ")}},
                                {{QStringLiteral("Log"), QStringLiteral("%Base%/user.log")}});
        QCOMPARE(redir.GetFileName(QStringLiteral("log")), QStringLiteral("/tmp/OrvQ/user.log"));
    }

    void syntaxErrors_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("unterminated reference")
            << QStringLiteral("/x/%AppDir")
            << QStringLiteral(
                   "Redirection: syntax error while parsing </x/%AppDir>.\r\nStopped after </x/>");
        QTest::newRow("single trailing percent")
            << QStringLiteral("50%")
            << QStringLiteral(
                   "Redirection: syntax error while parsing <50%>.\r\nStopped after <50>");
        QTest::newRow("unterminated in referenced alias")
            << QStringLiteral("%Broken%/x")
            << QStringLiteral("Redirection: syntax error while parsing <%TempDir%/%y>.\r\nStopped "
                              "after </tmp/>");
        QTest::newRow("unknown name")
            << QStringLiteral("%Nowhere%")
            << QStringLiteral("Redirection: syntax error: Cannot expand <%Nowhere%>");
        QTest::newRow("file alias is not a folder")
            << QStringLiteral("%Log%/x")
            << QStringLiteral("Redirection: syntax error: Cannot expand <%Log%>");
        QTest::newRow("self reference")
            << QStringLiteral("%Subject%")
            << QStringLiteral("Redirection: circular reference encountered: <Subject,Subject>");
        QTest::newRow("circular chain")
            << QStringLiteral("%A%")
            << QStringLiteral("Redirection: circular reference encountered: <Subject,A,B,A>");
        QTest::newRow("circular in other case")
            << QStringLiteral("%C%")
            << QStringLiteral("Redirection: circular reference encountered: <Subject,C,subject>");
    }
    void syntaxErrors() {
        QFETCH(QString, value);
        QFETCH(QString, message);
        const auto redir = Make({{QStringLiteral("Subject"), value},
                                 {QStringLiteral("Broken"), QStringLiteral("%TempDir%/%y")},
                                 {QStringLiteral("A"), QStringLiteral("%B%")},
                                 {QStringLiteral("B"), QStringLiteral("x/%A%")},
                                 {QStringLiteral("C"), QStringLiteral("%subject%")}},
                                {{QStringLiteral("Log"), QStringLiteral("/l")}});
        QCOMPARE(MessageOf<ERedirectionSyntaxError>(
                     [&] { redir.GetDirectory(QStringLiteral("Subject")); }),
                 message);
    }

    void circularMessageAsWritten() {
        const auto redir = Make({{QStringLiteral("A"), QStringLiteral("%B%")},
                                 {QStringLiteral("B"), QStringLiteral("%A%")}});
        QCOMPARE(
            MessageOf<ERedirectionSyntaxError>([&] { redir.GetDirectory(QStringLiteral("A")); }),
            QStringLiteral("Redirection: circular reference encountered: <A,B,A>"));
    }

    void percentInAliasName() {
        const auto redir = Make({{QStringLiteral("A%"), QStringLiteral("/x")}});
        QCOMPARE(
            MessageOf<ERedirectionSyntaxError>([&] { redir.GetDirectory(QStringLiteral("a%")); }),
            QStringLiteral("Redirection: syntax error: % in alias name: <a%>"));
    }

    void notFound() {
        const auto redir = Make({{QStringLiteral("D"), QStringLiteral("/d")}},
                                {{QStringLiteral("F"), QStringLiteral("/f")}});
        QCOMPARE(MessageOf<ERedirectionNotFound>([&] { redir.GetDirectory(QStringLiteral("F")); }),
                 QStringLiteral("Cannot find redirection for directory alias <F>"));
        QCOMPARE(MessageOf<ERedirectionNotFound>([&] { redir.GetFileName(QStringLiteral("D")); }),
                 QStringLiteral("Cannot find redirection for file alias <D>"));
    }

    void duplicates() {
        QCOMPARE(MessageOf<ERedirectionDuplicateDirectory>([] {
                     Make({{QStringLiteral("Log"), QStringLiteral("/a")},
                           {QStringLiteral("X"), QStringLiteral("/x")},
                           {QStringLiteral("Log"), QStringLiteral("/b")}});
                 }),
                 QStringLiteral("<Log=/a> and <Log=/b>"));
        QCOMPARE(MessageOf<ERedirectionDuplicateFileName>([] {
                     Make({}, {{QStringLiteral("F"), QStringLiteral("1")},
                               {QStringLiteral("F"), QStringLiteral("2")}});
                 }),
                 QStringLiteral("<F=1> and <F=2>"));
        // A different case is another alias; lookups find the first one.
        const auto redir = Make({{QStringLiteral("Log"), QStringLiteral("/first")},
                                 {QStringLiteral("LOG"), QStringLiteral("/second")}});
        QCOMPARE(redir.GetDirectory(QStringLiteral("LOG")), Folder(QStringLiteral("/first/")));
    }

    void parsing() {
        const QByteArray text = "; comment\r\n"
                                "Stray=before any section\r\n"
                                "[directories]\r\n"
                                "  Queries =  %AppDir%/q = r  \r\n"
                                "no equals sign\r\n"
                                "=no alias\r\n"
                                ";Hidden=/x\r\n"
                                "[Other]\r\n"
                                "Ignored=/i\r\n"
                                "[ Filenames ]\n"
                                "Log=/var/log/orvq.log\n"
                                "Empty=\n";
        const auto [directories, fileNames] = ParseRedirectionText(text);
        QCOMPARE(directories, (TRedirectionEntries{
                                  {QStringLiteral("Queries"), QStringLiteral("%AppDir%/q = r")}}));
        QCOMPARE(fileNames,
                 (TRedirectionEntries{{QStringLiteral("Log"), QStringLiteral("/var/log/orvq.log")},
                                      {QStringLiteral("Empty"), QString()}}));
    }

    void binaryJunkFile() {
        const auto [directories, fileNames] = ParseRedirectionText(
            testsupport::ReadFile(testsupport::DataPath(QStringLiteral("settings/junk.red"))));
        const auto redir = Make(directories, fileNames);
        QCOMPARE(redir.GetDirectory(QStringLiteral("Good")), Folder(QStringLiteral("/tmp/good/")));
        QVERIFY_THROWS_EXCEPTION(ERedirectionNotFound,
                                 redir.GetFileName(QStringLiteral("Missing")));
    }

    void tenThousandAliases() {
        TRedirectionEntries entries;
        for (int i = 0; i < 10000; ++i)
            entries.append({QStringLiteral("Alias%1").arg(i), QStringLiteral("/d/%1").arg(i)});
        const auto redir = Make(entries);
        QCOMPARE(redir.GetDirectory(QStringLiteral("alias9999")),
                 Folder(QStringLiteral("/d/9999/")));
        QCOMPARE(redir.GetDirectory(QStringLiteral("Alias0")), Folder(QStringLiteral("/d/0/")));
    }

    void deepChain_data() {
        QTest::addColumn<int>("depth");
        QTest::newRow("1000") << 1000;
        QTest::newRow("10000") << 10000;
    }
    void deepChain() {
        QFETCH(int, depth);
        TRedirectionEntries entries;
        entries.append({QStringLiteral("A0"), QStringLiteral("%TempDir%")});
        for (int i = 1; i < depth; ++i)
            entries.append({QStringLiteral("A%1").arg(i), QStringLiteral("%A%1%/x").arg(i - 1)});
        const auto redir = Make(entries);
        QString expected = QStringLiteral("/tmp");
        for (int i = 1; i < depth; ++i)
            expected += QStringLiteral("/x");
        QCOMPARE(redir.GetDirectory(QStringLiteral("A%1").arg(depth - 1)),
                 expected + platform::PathDelimiter());
    }

    void deepCircularChain() {
        TRedirectionEntries entries;
        for (int i = 0; i < 1000; ++i)
            entries.append(
                {QStringLiteral("A%1").arg(i), QStringLiteral("%A%1%").arg((i + 1) % 1000)});
        const auto redir = Make(entries);
        const QString message =
            MessageOf<ERedirectionSyntaxError>([&] { redir.GetDirectory(QStringLiteral("A0")); });
        QVERIFY2(message.startsWith(
                     QStringLiteral("Redirection: circular reference encountered: <A0,A1,A2,")),
                 qPrintable(message.left(100)));
        QVERIFY(message.endsWith(QStringLiteral(",A999,A0>")));
    }

    // Each level doubles the text: 2^40 characters unless stopped.
    void exponentialExpansionIsStopped() {
        TRedirectionEntries entries;
        entries.append({QStringLiteral("L0"), QStringLiteral("abcdefgh")});
        for (int i = 1; i <= 40; ++i)
            entries.append({QStringLiteral("L%1").arg(i), QStringLiteral("%L%1%%L%1%").arg(i - 1)});
        const auto redir = Make(entries);
        QVERIFY_THROWS_EXCEPTION(ERedirectionSyntaxError,
                                 redir.GetDirectory(QStringLiteral("L40")));
    }

    // The same doubling with empty values produces no text but 2^40 steps.
    void exponentialEmptyReferencesAreStopped() {
        TRedirectionEntries entries;
        entries.append({QStringLiteral("L0"), QString()});
        for (int i = 1; i <= 40; ++i)
            entries.append({QStringLiteral("L%1").arg(i), QStringLiteral("%L%1%%L%1%").arg(i - 1)});
        const auto redir = Make(entries);
        QCOMPARE(
            MessageOf<ERedirectionSyntaxError>([&] { redir.GetDirectory(QStringLiteral("L40")); }),
            QStringLiteral("Redirection: too many references while expanding <L40>"));
    }

    void locating() {
        QTemporaryDir work;
        QTemporaryDir app;
        const QString program = app.filePath(QStringLiteral("orvq"));
        const QString inWork = QDir::toNativeSeparators(work.filePath(QStringLiteral("orvq.red")));
        const QString besideProgram =
            QDir::toNativeSeparators(app.filePath(QStringLiteral("orvq.red")));
        QCOMPARE(MessageOf<ERedirectionFileNotFound>(
                     [&] { LocateRedirectionFile(work.path(), program); }),
                 QStringLiteral("Cannot find redirection file for orvq (<%1> nor <%2>)")
                     .arg(inWork, besideProgram));
        QCOMPARE(MessageOf<ERedirectionFileNotFound>(
                     [&] { LocateRedirectionFile(app.path(), program); }),
                 QStringLiteral("Cannot find redirection file for orvq (<%1>)").arg(besideProgram));
        WriteFile(besideProgram, "[Directories]\n");
        QCOMPARE(LocateRedirectionFile(work.path(), program), besideProgram);
        WriteFile(inWork, "[Directories]\n");
        QCOMPARE(LocateRedirectionFile(work.path(), program), inWork);
    }

    void loadingFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.red"));
        QCOMPARE(MessageOf<ERedirectionFileNotFound>(
                     [&] { TRedirectionFile file(path, FixedPlaces()); }),
                 QStringLiteral("Cannot find redirection file <%1>").arg(path));
        // Junk of any size is refused before it is read into memory.
        WriteFile(path, QByteArray(5 * 1024 * 1024, 'x'));
        QCOMPARE(
            MessageOf<ERedirectionInvalid>([&] { TRedirectionFile file(path, FixedPlaces()); }),
            QStringLiteral("Redirection file <%1> is too large").arg(path));
        WriteFile(path, "[Directories]\nHere=%ThisDir%/sub\nD=1\nD=2\n");
        QVERIFY_THROWS_EXCEPTION(ERedirectionDuplicateDirectory,
                                 TRedirectionFile(path, FixedPlaces()));
        WriteFile(path, "[Directories]\nHere=%ThisDir%/sub\n");
        const TRedirectionFile file(path, FixedPlaces());
        QCOMPARE(file.GetDirectory(QStringLiteral("Here")),
                 Folder(QDir::toNativeSeparators(dir.path()) + QStringLiteral("/sub/")));
        // Edits take effect with the next load.
        WriteFile(path, "[Directories]\nHere=/elsewhere\n");
        QCOMPARE(TRedirectionFile(path, FixedPlaces()).GetDirectory(QStringLiteral("Here")),
                 Folder(QStringLiteral("/elsewhere/")));
    }

    void programWithoutFileNamesBothCandidates() {
        const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        const QString message = MessageOf<ERedirectionFileNotFound>(
            [] { ProgramRedirection(QCoreApplication::applicationFilePath())(); });
        QVERIFY2(message.startsWith(QStringLiteral("Cannot find redirection file for ") + program),
                 qPrintable(message));
        // Named after the program without its extension (".exe" on Windows).
        QVERIFY2(message.contains(QFileInfo(program).completeBaseName() + QStringLiteral(".red>")),
                 qPrintable(message));
    }

    void startupWorkDirIsCaptured() {
        const QString before = StartupWorkDir();
        QTemporaryDir dir;
        const QString current = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        QCOMPARE(StartupWorkDir(), before);
        QCOMPARE(SystemRedirectionPlaces().WorkDir, before);
        QVERIFY(QDir::setCurrent(current));
    }

    // The file shipped beside every built program defines every alias the
    // program uses, at places a fresh machine can use.
    void shippedFileOnFreshMachine() {
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
        const QString bin = QStringLiteral(ORVQ_RUNTIME_DIR);
        const TRedirectionFile redir(bin + QStringLiteral("/orvq.red"));
        QCOMPARE(redir.GetDirectory(QStringLiteral("HTMLTemplates")),
                 bin + QStringLiteral("/templates/"));
        QCOMPARE(redir.GetDirectory(QStringLiteral("Queries")), bin + QStringLiteral("/queries/"));
        QCOMPARE(redir.GetFileName(QStringLiteral("SevenZipDll")),
                 QStringLiteral("/usr/lib/p7zip/7z.so"));
        QVERIFY(!redir.GetFileName(QStringLiteral("Certificate")).isEmpty());
        QVERIFY(!redir.GetFileName(QStringLiteral("ServerCA")).isEmpty());
        // What the program writes lands in the user's own data folder.
        const QString userData = home.filePath(QStringLiteral("data/OrvQ"));
        QCOMPARE(redir.GetDirectory(QStringLiteral("LogArchives")),
                 userData + QStringLiteral("/archives/"));
        QVERIFY(QDir().mkpath(redir.GetDirectory(QStringLiteral("LogArchives"))));
        for (const char* alias : {"Log", "QBCompanyFile", "Ledger"}) {
            const QString path = redir.GetFileName(QString::fromLatin1(alias));
            QVERIFY2(path.startsWith(userData + u'/'), qPrintable(path));
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            QFile file(path);
            QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
        }
    }
};

QTEST_GUILESS_MAIN(TestVlxRedir)
#include "tst_vlxredir.moc"
