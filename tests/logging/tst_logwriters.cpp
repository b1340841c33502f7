#include "TestSupport.h"

#include "base/ztExceptions.h"
#include "logging/vlxLogWriters.h"
#include "logging/vlxLoggerChain.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Root = QStringLiteral("Orvane QB Export application");

// A clock that returns T0 plus the next of the given offsets, in milliseconds.
TLogClock ScriptedClock(QList<qint64> offsets) {
    auto remaining = std::make_shared<QList<qint64>>(std::move(offsets));
    return [remaining] {
        const QDateTime t0(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);
        if (remaining->isEmpty())
            qFatal("clock read more often than scripted");
        return t0.addMSecs(remaining->takeFirst());
    };
}

QString Blanks(int count) {
    return QString(count, u' ');
}

// The usual scene of the user log: an error with context two levels down.
void LogReadingFileScene(ICommonLogger& log) {
    TLogBlockGuard reading(log, "Reading file");
    log.LogContextItem("File", "C:\\data\\s1910.txt");
    log.LogError("The file is empty");
}

} // namespace

class TestLogWriters : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void devWriterGolden();
    void userRecords_data();
    void userRecords();
    void userLogFileBytes();
    void streamOutputWritesUtf8WithCrLf();
    void fileOutputCreatesFoldersAndAppends();
    void fileOutputReopensAfterClose();
    void fileOutputRetriesAfterFailure();
    void fileOutputNeverFails_data();
    void fileOutputNeverFails();
    void htmlWriterGolden();
    void htmlWriterWithShippedTemplates();
    void htmlWriterMissingTemplate();
};

void TestLogWriters::devWriterGolden() {
    TLoggerChain chain = CreateLoggerChain();
    QStringList records;
    // Creation, then two reads a record: before writing and after it.
    auto writer = std::make_shared<TPlainTextDevLogWriter>(
        std::make_shared<TStringsLogOutput>(&records),
        ScriptedClock({0, 16, 16, 1016, 1017, 1017, 1017, 124473, 124473, 124473, 124473, 124473,
                       124473, 121973, 121973}));
    {
        TScopedSink sink(chain.Stateful, writer);
        ICommonLogger& log = *chain.Common;
        log.LogEntry("Reading file");
        log.LogContextItem("File", "C:\\data\\s1910.txt");
        log.LogError("The file is empty");
        log.LogEntry("Line");
        // Bare LF and CR, as in qbXML and report text, end lines with CR LF too.
        log.LogDebug("two\nlines", "d1\r\nd2\rd3");
        log.LogExit();
        log.LogExit(); // the clock steps back here: the elapsed time stays positive
    }
    const QString pad16 = Blanks(16);
    const QStringList expected{
        "    0.016 sec |     enter Reading file",
        "    1.000 sec |     File = C:\\data\\s1910.txt",
        "    0.000 sec |     Error: The file is empty\r\n" + pad16 + Blanks(4),
        "  123.456 sec |         enter Line",
        "    0.000 sec |         Debug: two\r\n" + pad16 + Blanks(8) + "lines\r\n" + pad16 +
            Blanks(8) + "d1\r\n" + pad16 + Blanks(8) + "d2\r\n" + pad16 + Blanks(8) + "d3",
        "    0.000 sec |         leave Line",
        "    2.500 sec |     leave Reading file",
    };
    QCOMPARE(records, expected);
}

void TestLogWriters::userRecords_data() {
    QTest::addColumn<std::function<void(ICommonLogger&)>>("scene");
    QTest::addColumn<QStringList>("expected");
    using Scene = std::function<void(ICommonLogger&)>;

    QTest::newRow("error with context") << Scene(LogReadingFileScene)
                                        << QStringList{"Error: The file is empty\r\n"
                                                       "Context:\r\n"
                                                       "Reading file\r\n"
                                                       "File: C:\\data\\s1910.txt\r\n"};
    QTest::newRow("no details, no context")
        << Scene([](ICommonLogger& l) { l.LogEvent("Done"); }) << QStringList{"Event: Done\r\n"};
    QTest::newRow("details and multi-line value, blocks without items skipped")
        << Scene([](ICommonLogger& l) {
               TLogBlockGuard run(l, "Run");
               l.LogContextItem("Company", "12");
               TLogBlockGuard empty(l, "No items here");
               TLogBlockGuard parse(l, "Parsing");
               l.LogContextItem("Line", "a,b\r\nc,d");
               l.LogContextItem("Number", "7");
               l.LogWarning("Skipped", "already in QuickBooks");
           })
        << QStringList{"Warning: Skipped\r\n"
                       "already in QuickBooks\r\n"
                       "Context:\r\n"
                       "Run\r\n"
                       "Company: 12\r\n"
                       "Parsing\r\n"
                       "Line: \r\n    a,b\r\n    c,d\r\n"
                       "Number: 7\r\n"};
    QTest::newRow("debug skipped, others kept") << Scene([](ICommonLogger& l) {
        l.LogDebug("hidden");
        l.LogWarning("shown");
        try {
            throw EztException("Failed\r\n\r\nLine 3");
        } catch (...) {
            l.StopException();
        }
    }) << QStringList{"Warning: shown\r\n", "Exception: Failed\r\nLine 3\r\n"};
}

void TestLogWriters::userRecords() {
    QFETCH(std::function<void(ICommonLogger&)>, scene);
    QFETCH(QStringList, expected);
    TLoggerChain chain = CreateLoggerChain();
    QStringList records;
    {
        TScopedSink sink(chain.Stateful, std::make_shared<TPlainTextUserLogWriter>(
                                             std::make_shared<TStringsLogOutput>(&records)));
        scene(*chain.Common);
    }
    QCOMPARE(records, expected);
}

void TestLogWriters::userLogFileBytes() {
    QTemporaryDir dir;
    const QString path = dir.filePath("user.log");
    TLoggerChain chain = CreateLoggerChain();
    {
        auto output = std::make_shared<TFileLogOutput>(path);
        TScopedSink sink(chain.Stateful, std::make_shared<TPlainTextUserLogWriter>(output));
        LogReadingFileScene(*chain.Common);
        chain.Common->LogEvent("Done");
        chain.Common->LogDebug("not for the user");
    }
    QCOMPARE(testsupport::ReadFile(path), QByteArray("Error: The file is empty\r\n"
                                                     "Context:\r\n"
                                                     "Reading file\r\n"
                                                     "File: C:\\data\\s1910.txt\r\n"
                                                     "\r\n"
                                                     "Event: Done\r\n"
                                                     "\r\n"));
}

void TestLogWriters::streamOutputWritesUtf8WithCrLf() {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    TStreamLogOutput output(&buffer);
    output.WriteLine(QStringLiteral("Jos\u00e9"));
    output.WriteLine(QStringLiteral("a\r\nb"));
    output.WriteLine(QString());
    QCOMPARE(buffer.data(), QByteArray("Jos\xc3\xa9\r\na\r\nb\r\n\r\n"));

    QStringList list{"kept"};
    TStringsLogOutput strings(&list);
    strings.WriteLine("one\r\ntwo");
    QCOMPARE(list, (QStringList{"kept", "one\r\ntwo"}));
}

void TestLogWriters::fileOutputCreatesFoldersAndAppends() {
    QTemporaryDir dir;
    const QString path = dir.filePath("logs/2026/user.log");
    {
        TFileLogOutput output(path);
        // Opened at creation: the folders and the file exist before any record.
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(output.FileName(), path);
        output.WriteLine(QStringLiteral("first \u00c5"));
        // Flushed per record: readable while the output is still open.
        QCOMPARE(testsupport::ReadFile(path), QByteArray("first \xc3\x85\r\n"));
    }
    {
        TFileLogOutput output(path);
        output.WriteLine("second");
    }
    QCOMPARE(testsupport::ReadFile(path), QByteArray("first \xc3\x85\r\nsecond\r\n"));
}

void TestLogWriters::fileOutputReopensAfterClose() {
    QTemporaryDir dir;
    const QString path = dir.filePath("user.log");
    TFileLogOutput output(path);
    output.WriteLine("one");
    output.CloseFile();
    output.CloseFile();
    // Someone (the packer) reads the closed file meanwhile; then logging goes on.
    QCOMPARE(testsupport::ReadFile(path), QByteArray("one\r\n"));
    output.WriteLine("two");
    QCOMPARE(testsupport::ReadFile(path), QByteArray("one\r\ntwo\r\n"));
}

void TestLogWriters::fileOutputRetriesAfterFailure() {
    QTemporaryDir dir;
    const QString blocker = dir.filePath("logs");
    {
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    TFileLogOutput output(blocker + "/user.log");
    output.WriteLine("lost");
    QVERIFY(QFile::remove(blocker));
    output.WriteLine("kept");
    QCOMPARE(testsupport::ReadFile(blocker + "/user.log"), QByteArray("kept\r\n"));
}

void TestLogWriters::fileOutputNeverFails_data() {
    QTest::addColumn<QString>("relative");
    QTest::newRow("folder below a file") << "plain.txt/user.log";
    QTest::newRow("the path is a folder") << "folder";
    QTest::newRow("empty name") << "";
}

void TestLogWriters::fileOutputNeverFails() {
    QFETCH(QString, relative);
    QTemporaryDir dir;
    {
        QFile plain(dir.filePath("plain.txt"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    const QString path = relative.isEmpty() ? QString() : dir.filePath(relative);

    TLoggerChain chain = CreateLoggerChain();
    QStringList records;
    {
        auto output = std::make_shared<TFileLogOutput>(path);
        TScopedSink file(chain.Stateful, std::make_shared<TPlainTextUserLogWriter>(output));
        TScopedSink list(chain.Stateful, std::make_shared<TPlainTextUserLogWriter>(
                                             std::make_shared<TStringsLogOutput>(&records)));
        chain.Common->LogError("Still logged");
        output->CloseFile();
    }
    // The sink after the broken file still got the record.
    QCOMPARE(records, QStringList{"Error: Still logged\r\n"});
    QCOMPARE(QFileInfo(dir.filePath("plain.txt")).size(), 0);
}

void TestLogWriters::htmlWriterGolden() {
    TLoggerChain chain = CreateLoggerChain();
    QStringList records;
    {
        auto writer = std::make_shared<THtmlUserLogWriter>(
            std::make_shared<TStringsLogOutput>(&records), "Orvane <QB> log",
            testsupport::DataPath("logging/templates/"));
        QCOMPARE(records, QStringList{"<h1>Orvane &lt;QB&gt; log</h1>"});
        TScopedSink sink(chain.Stateful, writer);
        ICommonLogger& log = *chain.Common;
        log.LogEvent("Plain");
        log.LogDebug("hidden");
        TLogBlockGuard run(log, "Run \"A\"");
        log.LogContextItem("File", "a&b.txt");
        TLogBlockGuard empty(log, "No items");
        TLogBlockGuard line(log, "Line");
        log.LogContextItem("Text", "x<y\r\nz");
        log.LogError("Can't read <file> & \"stop\"", "line 1\r\nline 2");
        log.LogWarning("Literal %CONTEXT% and %DETAILS% stay", "");
    }
    const QStringList expected{
        "<h1>Orvane &lt;QB&gt; log</h1>", "<div class=\"info\">Plain</div>",
        "<div class=\"error\">Can&apos;t read &lt;file&gt; &amp; &quot;stop&quot;"
        "<p>line 1<br/>line 2</p>"
        "<ul><li>Run &quot;A&quot;<ol><i>File=a&amp;b.txt</i></ol></li>"
        "<li>Line<ol><i>Text=<br/>    x&lt;y<br/>    z</i></ol></li></ul></div>",
        "<div class=\"warning\">Literal %CONTEXT% and %DETAILS% stay"
        "<ul><li>Run &quot;A&quot;<ol><i>File=a&amp;b.txt</i></ol></li>"
        "<li>Line<ol><i>Text=<br/>    x&lt;y<br/>    z</i></ol></li></ul></div>",
        "<end/>"};
    QCOMPARE(records, expected);
}

void TestLogWriters::htmlWriterWithShippedTemplates() {
    const QString dir = qEnvironmentVariable("ORVQ_SOURCE_DIR") + "/data/templates";
    TLoggerChain chain = CreateLoggerChain();
    QStringList records;
    {
        auto writer = std::make_shared<THtmlUserLogWriter>(
            std::make_shared<TStringsLogOutput>(&records), "Orvane QB Export log", dir);
        TScopedSink sink(chain.Stateful, writer);
        LogReadingFileScene(*chain.Common);
        try {
            throw EztException("Cannot connect\r\n\r\nHost unknown");
        } catch (...) {
            chain.Common->StopException();
        }
    }
    QCOMPARE(records.size(), 4);
    QVERIFY(records.front().contains("<title>Orvane QB Export log</title>"));
    QVERIFY(records[1].contains("class=\"entry error\""));
    QVERIFY(records[1].contains("C:\\data\\s1910.txt"));
    QVERIFY(records[2].contains("Host unknown"));
    QVERIFY(records.back().contains("</html>"));
    const QRegularExpression placeholder("%[A-Z_]+%");
    for (const QString& record : records)
        QVERIFY2(!placeholder.match(record).hasMatch(), qPrintable(record));
}

void TestLogWriters::htmlWriterMissingTemplate() {
    QTemporaryDir dir;
    const QDir source(testsupport::DataPath("logging/templates"));
    for (const QString& name : source.entryList(QDir::Files)) {
        if (name != "context_item.html")
            QVERIFY(QFile::copy(source.filePath(name), dir.filePath(name)));
    }
    QStringList records;
    QString message;
    try {
        THtmlUserLogWriter writer(std::make_shared<TStringsLogOutput>(&records), "log", dir.path());
    } catch (const EztException& e) {
        message = e.Message();
    }
    QVERIFY2(message.startsWith("Cannot open file \"") && message.contains("context_item.html"),
             qPrintable(message));
    QVERIFY(records.isEmpty());
}

QTEST_GUILESS_MAIN(TestLogWriters)
#include "tst_logwriters.moc"
