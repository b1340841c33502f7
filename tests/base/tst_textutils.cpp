#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"

#include <QtTest>

class TestTextUtils : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void splitsCommaText_data();
    void splitsCommaText();
    void rejectsTextAfterField_data();
    void rejectsTextAfterField();
    void pluralForms_data();
    void pluralForms();
    void indentsAndFormatsContext();
    void escapesHtml();
    void recognisesComponentStreams();
    void decodesReportBytes_data();
    void decodesReportBytes();
    void escapesControlCharacters_data();
    void escapesControlCharacters();
    void splitsLines_data();
    void splitsLines();
};

void TestTextUtils::splitsCommaText_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("blank line") << "   " << QStringList();
    QTest::newRow("empty line") << "" << QStringList();
    QTest::newRow("blanks around fields") << "  a ,\tb  , c " << QStringList{"a", "b", "c"};
    QTest::newRow("adjacent commas") << "a,,b" << QStringList{"a", "", "b"};
    QTest::newRow("trailing comma") << "a,b," << QStringList{"a", "b", ""};
    QTest::newRow("leading comma") << ",a" << QStringList{"", "a"};
    QTest::newRow("comma then space") << "Smith, John" << QStringList{"Smith", "John"};
    QTest::newRow("quoted with space") << "\"John Smith\",x" << QStringList{"John Smith", "x"};
    QTest::newRow("doubled quotes") << "\"say \"\"hi\"\" \",x" << QStringList{"say \"hi\" ", "x"};
    QTest::newRow("quoted keeps inner blanks") << "\"  memo  \"" << QStringList{"  memo  "};
    QTest::newRow("quoted comma") << "\"1,000.00\"" << QStringList{"1,000.00"};
    QTest::newRow("unterminated quote runs to end") << "\"abc, def" << QStringList{"abc, def"};
    QTest::newRow("empty quoted") << "\"\",a" << QStringList{"", "a"};
    QTest::newRow("NUL is not white space")
        << QString::fromLatin1("a\0b", 3) << QStringList{QString::fromLatin1("a\0b", 3)};
}

void TestTextUtils::splitsCommaText() {
    QFETCH(QString, line);
    QFETCH(QStringList, fields);
    QCOMPARE(SplitCommaText(line), fields);
}

void TestTextUtils::rejectsTextAfterField_data() {
    QTest::addColumn<QString>("line");
    QTest::newRow("unquoted inner space") << "John Smith,x";
    QTest::newRow("text after closing quote") << "\"John\"Smith";
    QTest::newRow("two quoted fields without comma") << "\"a\" \"b\"";
}

void TestTextUtils::rejectsTextAfterField() {
    QFETCH(QString, line);
    try {
        SplitCommaText(line);
        QFAIL("no exception");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), QString("Invalid delimited text"));
    }
}

void TestTextUtils::pluralForms_data() {
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one") << "check" << 1 << "check";
    QTest::newRow("zero") << "check" << 0 << "checks";
    QTest::newRow("o") << "memo" << 2 << "memoes";
    QTest::newRow("s") << "bus" << 2 << "buses";
    QTest::newRow("ch") << "batch" << 2 << "batches";
    QTest::newRow("sh") << "dash" << 2 << "dashes";
    QTest::newRow("x") << "box" << 2 << "boxes";
    QTest::newRow("y") << "entry" << 3 << "entries";
    QTest::newRow("case sensitive") << "BOX" << 2 << "BOXs";
}

void TestTextUtils::pluralForms() {
    QFETCH(QString, word);
    QFETCH(int, count);
    QFETCH(QString, expected);
    QCOMPARE(PluralForm(word, count), expected);
}

void TestTextUtils::indentsAndFormatsContext() {
    QCOMPARE(IndentText("a\nb", 2), QString("        a\n        b"));
    QCOMPARE(IndentText("", 3), QString());
    QCOMPARE(FormatContextValue("one line"), QString("one line"));
    QCOMPARE(FormatContextValue("first\r\nsecond"), QString("\r\n    first\r\n    second"));
    QVERIFY_THROWS_EXCEPTION(EAssertionFailed, PluralForm("", 2));
}

void TestTextUtils::escapesHtml() {
    QCOMPARE(EscapeHtmlText("a<b> & \"c\" 'd'\r\ne"),
             QString("a&lt;b&gt; &amp; &quot;c&quot; &apos;d&apos;<br/>e"));
    QCOMPARE(EscapeHtmlText("&lt;"), QString("&amp;lt;"));
}

void TestTextUtils::recognisesComponentStreams() {
    QCOMPARE(TextReportOrEmpty("TPF0\x07TForm1"), QString());
    QCOMPARE(TextReportOrEmpty("TPF"), QString("TPF"));
    QCOMPARE(TextReportOrEmpty(" TPF0"), QString(" TPF0"));
}

void TestTextUtils::decodesReportBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("utf-8") << QByteArray("Jos\xc3\xa9") << QString::fromUtf8("Jos\xc3\xa9");
    QTest::newRow("windows-1252") << QByteArray("Jos\xe9") << QString::fromUtf8("Jos\xc3\xa9");
    QTest::newRow("1252 euro and quotes")
        << QByteArray("\x80 \x93x\x94")
        << QString::fromUtf8("\xe2\x82\xac \xe2\x80\x9cx\xe2\x80\x9d");
    QTest::newRow("truncated utf-8 sequence")
        << QByteArray("ab\xc3") << QString::fromUtf8("ab\xc3\x83");
    QTest::newRow("NUL survives") << QByteArray("a\0b", 3) << QString::fromLatin1("a\0b", 3);
}

void TestTextUtils::decodesReportBytes() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(DecodeReportBytes(bytes), text);
}

void TestTextUtils::escapesControlCharacters_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");
    QTest::addColumn<QString>("inLine");
    QTest::addColumn<QString>("terminal");
    const QString plain = QStringLiteral("Z\u00fcrich \\x00 \u00a0\u20ac \u05e9\u05dc\u05d5\u05dd");
    QTest::newRow("nothing to escape") << plain << plain << plain << plain;
    QTest::newRow("NUL, ESC, DEL and C1")
        << QString::fromLatin1("a\0b\x1b\x7f\x85", 6) << QStringLiteral("a\\x00b\\x1B\\x7F\\x85")
        << QStringLiteral("a\\x00b\\x1B\\x7F\\x85") << QStringLiteral("a\\x00b\\x1B\\x7F\\x85");
    QTest::newRow("layout kept only in text of several lines")
        << QStringLiteral("a\tb\r\nc\nd") << QStringLiteral("a\tb\r\nc\nd")
        << QStringLiteral("a\\x09b\\x0D\\x0Ac\\x0Ad") << QStringLiteral("a\tb\r\nc\nd");
    QTest::newRow("a lone CR would overwrite its line")
        << QStringLiteral("Paid\rVoid") << QStringLiteral("Paid\rVoid")
        << QStringLiteral("Paid\\x0DVoid") << QStringLiteral("Paid\\x0DVoid");
    // Long printable runs are passed over four characters at a time.
    QTest::newRow("control after a long printable run")
        << QStringLiteral("Employee12,A,Smith\x01 tail")
        << QStringLiteral("Employee12,A,Smith\\x01 tail")
        << QStringLiteral("Employee12,A,Smith\\x01 tail")
        << QStringLiteral("Employee12,A,Smith\\x01 tail");
    QTest::newRow("tilde, DEL and U+0100 in one group of four")
        << QStringLiteral("abcd~\x7f\u0100e") << QStringLiteral("abcd~\\x7F\u0100e")
        << QStringLiteral("abcd~\\x7F\u0100e") << QStringLiteral("abcd~\\x7F\u0100e");
    QTest::newRow("surrogate pair and space group")
        << QStringLiteral("    \U0001F600 \x1f") << QStringLiteral("    \U0001F600 \\x1F")
        << QStringLiteral("    \U0001F600 \\x1F") << QStringLiteral("    \U0001F600 \\x1F");
    // A payee that reads "Acme Payroll" backwards on screen, and the other
    // marks and isolates that reorder text.
    const QString bidi = QStringLiteral("\u202eAcme\u202a\u202c\u2066x\u2069\u200e\u200f\u061c.");
    const QString bidiEscaped =
        QStringLiteral("\\u202EAcme\\u202A\\u202C\\u2066x\\u2069\\u200E\\u200F\\u061C.");
    QTest::newRow("bidirectional controls") << bidi << bidiEscaped << bidiEscaped << bidiEscaped;
    // Their neighbours are ordinary text.
    const QString neighbours = QStringLiteral("\u061b\u200d\u2029\u202f\u2065\u206a");
    QTest::newRow("characters next to them")
        << neighbours << neighbours << neighbours << neighbours;
}

void TestTextUtils::splitsLines_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF") << "a\r\nb\r\n" << QStringList{"a", "b"};
    QTest::newRow("LF, no break at the end") << "a\nb" << QStringList{"a", "b"};
    QTest::newRow("lone CRs") << "a\rb\r\rc" << QStringList{"a", "b", "", "c"};
    QTest::newRow("mixed") << "a\n\r\nb\rc\r\n\nd" << QStringList{"a", "", "b", "c", "", "d"};
    QTest::newRow("CR at the very end") << "a\r" << QStringList{"a"};
    QTest::newRow("empty") << "" << QStringList();
}

void TestTextUtils::splitsLines() {
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QStringList split;
    for (const QStringView line : SplitTextLines(text))
        split << line.toString();
    QCOMPARE(split, lines);
}

void TestTextUtils::escapesControlCharacters() {
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    QFETCH(QString, inLine);
    QFETCH(QString, terminal);
    QCOMPARE(EscapeControlChars(text), escaped);
    QCOMPARE(EscapeControlCharsInLine(text), inLine);
    QCOMPARE(EscapeTerminalText(text), terminal);
}

QTEST_GUILESS_MAIN(TestTextUtils)
#include "tst_textutils.moc"
