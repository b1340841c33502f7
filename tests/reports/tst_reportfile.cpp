// Reading a report file: only a regular file of at most MaxReportBytes is
// read, and what is not one is refused with the file named, before a byte
// of it is read (a pipe would block the run, a device never end).
#include "TestPlatform.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "reports/ReportFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestReportFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readsRegularFile();
    void refusesWhatIsNoReport_data();
    void refusesWhatIsNoReport();
};

void TestReportFile::readsRegularFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("s1911.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // More than one piece of the read, a character split between two.
    const QByteArray line = "\"Caf\xc3\xa9\",\"m\",3/8/2024,1,2.00\r\n";
    QByteArray bytes;
    while (bytes.size() < 200 * 1024)
        bytes += line;
    file.write(bytes);
    file.close();
    QCOMPARE(ReadReportFile(path), QString::fromUtf8(bytes));
}

void TestReportFile::refusesWhatIsNoReport_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    const QString notRegular = "It is not a regular file.";
    QTest::newRow("named pipe") << "fifo" << notRegular;
    QTest::newRow("endless device") << "/dev/zero" << notRegular;
    QTest::newRow("folder") << "folder" << notRegular;
    QTest::newRow("one byte over the bound")
        << "sparse:1"
        << "It has 268435457 bytes, more than the 256 MB a report can have.";
    // Only its size can say so: read, it would stop at the bound.
    QTest::newRow("far over the bound")
        << "sparse:805306368"
        << "It has 1073741824 bytes, more than the 256 MB a report can have.";
}

void TestReportFile::refusesWhatIsNoReport() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString path = dir.filePath("report.txt");
    if (kind == "fifo") {
        const QString notMade = testsupport::MakeFifo(path);
        if (!notMade.isEmpty())
            QSKIP(qPrintable(notMade));
    } else if (kind == "folder") {
        QVERIFY(QDir(dir.path()).mkdir("report.txt"));
    } else if (kind.startsWith("sparse:")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(MaxReportBytes + kind.mid(7).toLongLong()));
    } else {
        path = kind;
    }
    try {
        ReadReportFile(path);
        QFAIL("no exception");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), "Cannot read file \"" + path + "\". " + reason);
    }
}

QTEST_GUILESS_MAIN(TestReportFile)
#include "tst_reportfile.moc"
