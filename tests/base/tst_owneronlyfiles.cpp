// Files and folders the program makes are its user's only, under the usual
// umask 022; a stricter mode the user set stays.
#include "base/OwnerOnlyFiles.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

int Mode(const QString& path) {
    struct stat st {};
    return stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

class TestOwnerOnlyFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { umask(022); }

    // How each kind of writer reaches the file: an open QFile, a QSaveFile
    // before its commit, a path another library writes.
    void files_data() {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<int>("before"); // -1: no file yet
        QTest::addColumn<int>("after");
        for (const char* writer : {"file", "save file", "prepared path"}) {
            QTest::addRow("%s, new", writer) << writer << -1 << 0600;
            QTest::addRow("%s, readable to all", writer) << writer << 0644 << 0600;
            QTest::addRow("%s, read-only", writer) << writer << 0400 << 0400;
        }
    }
    void files() {
        QFETCH(QString, writer);
        QFETCH(int, before);
        QFETCH(int, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data.txt"));
        if (before >= 0) {
            QFile made(path);
            QVERIFY(made.open(QIODevice::WriteOnly));
            made.close();
            QCOMPARE(chmod(QFile::encodeName(path).constData(), mode_t(before)), 0);
        }
        if (writer == u"file") {
            QFile file(path);
            // As root a read-only file opens all the same; else only reading.
            if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
                QVERIFY(file.open(QIODevice::ReadOnly));
            platform::KeepToOwner(file);
        } else if (writer == u"save file") {
            QSaveFile file(path);
            // Only root may replace a read-only file.
            if (file.open(QIODevice::WriteOnly)) {
                platform::KeepToOwner(file);
                file.write("x");
                QVERIFY(file.commit());
            } else {
                QVERIFY(before == 0400 && geteuid() != 0);
            }
        } else {
            QVERIFY(platform::PrepareOwnerOnlyFile(path));
        }
        QCOMPARE(Mode(path), after);
    }

    void folders() {
        QTemporaryDir dir;
        const QString existing = dir.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkdir(existing));
        QCOMPARE(chmod(QFile::encodeName(existing).constData(), 0755), 0);
        QVERIFY(platform::MakeOwnerOnlyPath(existing + QStringLiteral("/OrvQ/logs")));
        QCOMPARE(Mode(existing), 0755);
        QCOMPARE(Mode(existing + QStringLiteral("/OrvQ")), 0700);
        QCOMPARE(Mode(existing + QStringLiteral("/OrvQ/logs")), 0700);
        QVERIFY(platform::MakeOwnerOnlyPath(existing + QStringLiteral("/OrvQ/logs")));
        // A file where a folder should be.
        QFile plain(dir.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QVERIFY(!platform::MakeOwnerOnlyPath(plain.fileName() + QStringLiteral("/sub")));
    }
};

QTEST_GUILESS_MAIN(TestOwnerOnlyFiles)
#include "tst_owneronlyfiles.moc"
