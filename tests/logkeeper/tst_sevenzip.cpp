#include "SevenZipTool.h"
#include "TestPlatform.h"
#include "TestSupport.h"

#include "logkeeper/vlxSevenZip.h"
#include "logkeeper/vlxSevenZipLibrary.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>

namespace {

const QString Password = QStringLiteral("p\u00e4ss w0rd");
const QDateTime PackTime(QDate(2026, 3, 7), QTime(14, 5, 9), Qt::UTC);

// Fails after a number of bytes, like a disk that fills up.
class TFullDevice : public QIODevice {
public:
    explicit TFullDevice(qint64 capacity) : m_capacity(capacity) { open(QIODevice::WriteOnly); }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_data.size(); }
    bool seek(qint64 pos) override { return QIODevice::seek(pos); }
    qint64 Written() const { return m_written; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override {
        if (pos() + length > m_capacity) {
            setErrorString("No space left on device");
            return -1;
        }
        if (m_data.size() < pos() + length)
            m_data.resize(pos() + length);
        std::memcpy(m_data.data() + pos(), data, static_cast<size_t>(length));
        m_written += length;
        return length;
    }

private:
    qint64 m_capacity;
    qint64 m_written = 0;
    QByteArray m_data;
};

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QString FirstLine(const QString& message) {
    return message.section("\r\n", 0, 0);
}

} // namespace

class TestSevenZip : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void entriesFromDiskAndMemory();
    void wrongPasswordFails();
    void namesAreHiddenWithoutPassword();
    void namesOutsideBasicPlane();
    void replacesAnArchiveWhole();
    void emptyArchiveAndEmptyEntry();
    void badLibraries_data();
    void badLibraries();
    void missingFileIsRefusedWhenAdded();
    void fullDiskLeavesNothing();
    void unwritableFolderLeavesNothing();
    void resultCodeTexts_data();
    void resultCodeTexts();
};

void TestSevenZip::initTestCase() {
    // 7z shows times in local time; its answers must not depend on the machine.
    qputenv("TZ", "UTC");
    if (const QString why = testsupport::SevenZipLibraryNotBuilt(sevenziptool::LibraryPath());
        !why.isEmpty())
        QSKIP(qPrintable(why));
    const QString missing = sevenziptool::MissingTools();
    if (!missing.isEmpty())
        QFAIL(qPrintable(missing));
}

void TestSevenZip::entriesFromDiskAndMemory() {
    QTemporaryDir dir;
    const QString userLog = dir.filePath("OrvQ.log");
    QByteArray onDisk;
    for (int i = 0; i < 2000; ++i)
        onDisk += "Event: record " + QByteArray::number(i) + "\r\n\r\n";
    {
        QFile file(userLog);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(onDisk);
    }
    const QByteArray sessionUser("Warning: Check 1001 skipped\r\n\r\n");
    const QByteArray sessionDebug("    0.000 sec |     Debug: \xc3\x85 hello\r\n");

    TSevenZipArchive archive(sevenziptool::LibraryPath());
    QVERIFY(archive.LibraryVersion() >= (23u << 16));
    archive.SetPassword(Password);
    archive.AddFile(userLog, "OrvQ.log");
    archive.AddData(sessionUser, "session-user.log", PackTime);
    archive.AddData(sessionDebug, "session-debug.log", PackTime);
    const QString path = dir.filePath("out/logs.7z");
    QVERIFY(QDir().mkpath(dir.filePath("out")));
    archive.WriteTo(path);
    QCOMPARE(FilesIn(dir.filePath("out")), QStringList{"logs.7z"});

    bool ok = false;
    const auto entries = sevenziptool::List(path, Password, ok);
    QVERIFY(ok);
    // 7-Zip orders a solid block by name itself; what counts is each entry.
    QMap<QString, sevenziptool::TEntry> byName;
    for (const auto& entry : entries)
        byName.insert(entry.Path, entry);
    QCOMPARE(byName.keys(), (QStringList{"OrvQ.log", "session-debug.log", "session-user.log"}));
    QCOMPARE(byName["OrvQ.log"].Size, QString::number(onDisk.size()));
    for (const auto& entry : entries)
        QCOMPARE(entry.Encrypted, QString("+"));
    // The in-memory entries: archive attribute, the packing time (UTC).
    for (const char* name : {"session-user.log", "session-debug.log"}) {
        QCOMPARE(byName[name].Attributes, QString("A"));
        QCOMPARE(byName[name].Modified, QString("2026-03-07 14:05:09.0000000"));
        QCOMPARE(byName[name].Created, QString("2026-03-07 14:05:09.0000000"));
    }

    const auto files = sevenziptool::Extract(path, Password, ok);
    QVERIFY(ok);
    QCOMPARE(files.keys(), (QStringList{"OrvQ.log", "session-debug.log", "session-user.log"}));
    QCOMPARE(files["OrvQ.log"], onDisk);
    QCOMPARE(files["session-user.log"], sessionUser);
    QCOMPARE(files["session-debug.log"], sessionDebug);
}

void TestSevenZip::wrongPasswordFails() {
    QTemporaryDir dir;
    TSevenZipArchive archive(sevenziptool::LibraryPath());
    archive.SetPassword(Password);
    archive.AddData("secret", "session-user.log", PackTime);
    const QString path = dir.filePath("a.7z");
    archive.WriteTo(path);
    bool ok = true;
    sevenziptool::Extract(path, "wrong", ok);
    QVERIFY(!ok);
    sevenziptool::Extract(path, Password, ok);
    QVERIFY(ok);
}

void TestSevenZip::namesAreHiddenWithoutPassword() {
    QTemporaryDir dir;
    TSevenZipArchive archive(sevenziptool::LibraryPath());
    archive.SetPassword(Password);
    archive.AddData("secret", "session-debug.log", PackTime);
    const QString path = dir.filePath("a.7z");
    archive.WriteTo(path);
    bool ok = true;
    sevenziptool::List(path, QString(), ok);
    QVERIFY(!ok);
    const QByteArray bytes = testsupport::ReadFile(path);
    QVERIFY(!bytes.contains("session"));
    QVERIFY(!bytes.contains(QByteArray("s\0e\0s\0s\0i\0o\0n", 13)));
}

void TestSevenZip::namesOutsideBasicPlane() {
    QTemporaryDir dir;
    TSevenZipArchive archive(sevenziptool::LibraryPath());
    archive.SetPassword(Password);
    const QString name = QString::fromUtf8("Z\xc3\xbcrich-\xf0\x9f\x98\x80.log");
    archive.AddData("x", name, PackTime);
    const QString path = dir.filePath("a.7z");
    archive.WriteTo(path);
    bool ok = false;
    const auto entries = sevenziptool::List(path, Password, ok);
    QVERIFY(ok);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].Path, name);
}

void TestSevenZip::replacesAnArchiveWhole() {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.7z");
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x')); // longer than the new archive
    }
    TSevenZipArchive archive(sevenziptool::LibraryPath());
    archive.SetPassword(Password);
    archive.AddData("new", "session-user.log", PackTime);
    archive.WriteTo(path);
    QCOMPARE(FilesIn(dir.path()), QStringList{"a.7z"});
    bool ok = false;
    const auto files = sevenziptool::Extract(path, Password, ok);
    QVERIFY(ok);
    QCOMPARE(files.value("session-user.log"), QByteArray("new"));
}

void TestSevenZip::emptyArchiveAndEmptyEntry() {
    QTemporaryDir dir;
    TSevenZipArchive archive(sevenziptool::LibraryPath());
    archive.SetPassword(Password);
    archive.AddData(QByteArray(), "session-user.log", PackTime);
    const QString path = dir.filePath("a.7z");
    archive.WriteTo(path);
    bool ok = false;
    const auto entries = sevenziptool::List(path, Password, ok);
    QVERIFY(ok);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].Size, QString("0"));
}

void TestSevenZip::badLibraries_data() {
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("message");
    const QString fakes = QStringLiteral(ORVQ_FAKE7Z_DIR);
    QTemporaryDir dir;
    QTest::newRow("no such file") << "/nonexistent/7z.so"
                                  << "Error loading library /nonexistent/7z.so";
    const QString text = testsupport::DataPath("logging/templates/entry.html");
    QTest::newRow("not a library") << text << "Error loading library " + text;
    const QString libm = "libm.so.6";
    QTest::newRow("library without CreateObject") << libm << libm + " is not a 7z library";
    QTest::newRow("no format entry points")
        << fakes + "/fake7z_noformat.so" << fakes + "/fake7z_noformat.so is not a Format library";
    QTest::newRow("old layout, no GetModuleProp")
        << fakes + "/fake7z_oldlayout.so"
        << fakes + "/fake7z_oldlayout.so is a 7-Zip library with the interfaces of versions "
                   "before 23, which this program cannot use; install 7-Zip 23 or later";
    QTest::newRow("old layout by GetModuleProp")
        << fakes + "/fake7z_virtdtor.so"
        << fakes + "/fake7z_virtdtor.so is a 7-Zip library with the interfaces of versions "
                   "before 23, which this program cannot use; install 7-Zip 23 or later";
}

void TestSevenZip::badLibraries() {
    QFETCH(QString, library);
    QFETCH(QString, message);
    try {
        TSevenZipArchive archive(library);
        QFAIL("the library was accepted");
    } catch (const ESevenZipError& error) {
        QCOMPARE(FirstLine(error.Message()), message);
    }
}

void TestSevenZip::missingFileIsRefusedWhenAdded() {
    QTemporaryDir dir;
    TSevenZipArchive archive(sevenziptool::LibraryPath());
    const QString path = dir.filePath("OrvQ.log");
    try {
        archive.AddFile(path, "OrvQ.log");
        QFAIL("a missing file was accepted");
    } catch (const ESevenZipError& error) {
        QCOMPARE(error.Message(), "Cannot open file <" + path + ">. No such file or directory");
    }
}

void TestSevenZip::fullDiskLeavesNothing() {
    TSevenZipArchive archive(sevenziptool::LibraryPath());
    archive.SetPassword(Password);
    QByteArray noise;
    for (int i = 0; i < 50000; ++i)
        noise += QByteArray::number(i * 7919 % 100003);
    archive.AddData(noise, "session-debug.log", PackTime);
    TFullDevice device(1000);
    try {
        archive.WriteToDevice(device);
        QFAIL("a full device was reported as success");
    } catch (const ESevenZipError& error) {
        QCOMPARE(error.Message(), QString("No space left on device"));
    }
}

void TestSevenZip::unwritableFolderLeavesNothing() {
    QTemporaryDir dir;
    {
        QFile blocker(dir.filePath("archives"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    TSevenZipArchive archive(sevenziptool::LibraryPath());
    archive.SetPassword(Password);
    archive.AddData("x", "session-user.log", PackTime);
    const QString path = dir.filePath("archives/a.7z");
    try {
        archive.WriteTo(path);
        QFAIL("writing below a file was reported as success");
    } catch (const ESevenZipError& error) {
        QVERIFY2(error.Message().startsWith("Cannot create file <" + path + ">. "),
                 qPrintable(error.Message()));
    }
    QCOMPARE(FilesIn(dir.path()), QStringList{"archives"});
}

void TestSevenZip::resultCodeTexts_data() {
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("E_ABORT") << 0x80004004u << "Operation aborted";
    QTest::newRow("E_INVALIDARG") << 0x80070057u << "The parameter is incorrect";
    QTest::newRow("system error around errno")
        << (0x80070000u | ENOSPC) << "No space left on device";
    QTest::newRow("unknown") << 0x8000ABCDu << "Error code 0x8000ABCD";
}

void TestSevenZip::resultCodeTexts() {
    QFETCH(quint32, code);
    QFETCH(QString, text);
    QCOMPARE(sevenzip::ResultCodeText(static_cast<std::int32_t>(code)), text);
}

QTEST_GUILESS_MAIN(TestSevenZip)
#include "tst_sevenzip.moc"
