#include "payroll/xmlrpc/XmlRpcTypes.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using TItemAction = std::function<void(IRpcResult&)>;
Q_DECLARE_METATYPE(TItemAction)

class TestXmlRpcTypes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void stringsStoredEscaped_data();
    void stringsStoredEscaped();
    void iso8601();
    void iso8601Rejects_data();
    void iso8601Rejects();
    void base64Lines_data();
    void base64Lines();
    void base64DecodeSkipsNoise();
    void wrongKindReads_data();
    void wrongKindReads();
    void failedReadKeepsValue();
    void writeClearsOtherKind();
    void fromText_data();
    void fromText();
    void fromTextRejects_data();
    void fromTextRejects();
    void doubleForms_data();
    void doubleForms();
    void structLookup();
    void structNamesEscaped();
    void resultFaultDetection();
    void resultFaultWithoutText();
    void functionClear();
    void arrayIndexChecked();
    void base64Files();
};

void TestXmlRpcTypes::stringsStoredEscaped_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("raw");
    QTest::newRow("plain") << "Smith"
                           << "Smith";
    QTest::newRow("less and ampersand") << "a<b & c"
                                        << "a&lt;b &amp; c";
    QTest::newRow("all five") << "&<>\"'"
                              << "&amp;&lt;&gt;&quot;&apos;";
    QTest::newRow("entity-looking text") << "&lt;"
                                         << "&amp;lt;";
    QTest::newRow("non-latin") << QString::fromUtf8("Zoë €") << QString::fromUtf8("Zoë €");
}

void TestXmlRpcTypes::stringsStoredEscaped() {
    QFETCH(QString, text);
    QFETCH(QString, raw);
    TRpcArrayItem item;
    item.SetAsString(text);
    QCOMPARE(item.AsRawString(), raw);
    QCOMPARE(item.AsString(), text);
    TRpcArrayItem rawItem;
    rawItem.SetAsRawString(raw);
    QCOMPARE(rawItem.AsString(), text);
}

void TestXmlRpcTypes::iso8601() {
    const QDateTime when(QDate(2026, 1, 31), QTime(7, 5, 9), Qt::UTC);
    QCOMPARE(FormatIso8601(when), QStringLiteral("20260131T07:05:09"));
    QCOMPARE(ParseIso8601(QStringLiteral("20260131T07:05:09")), when);
    // Positions 9, 12 and 15 are not examined.
    QCOMPARE(ParseIso8601(QStringLiteral("20260131 07.05.09")), when);
}

void TestXmlRpcTypes::iso8601Rejects_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("extended form with dashes") << "2026-01-31T07:05:09";
    QTest::newRow("too short") << "20260131T07:05";
    QTest::newRow("month 13") << "20261331T07:05:09";
    QTest::newRow("hour 24") << "20260131T24:00:00";
    QTest::newRow("letters") << "2026O131T07:05:09";
    QTest::newRow("empty") << "";
}

void TestXmlRpcTypes::iso8601Rejects() {
    QFETCH(QString, text);
    try {
        ParseIso8601(text);
        QFAIL("no error");
    } catch (const EConvertError& e) {
        QVERIFY2(e.Message().contains(text.left(20)), qPrintable(e.Message()));
    }
}

void TestXmlRpcTypes::base64Lines_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("lineLengths");
    QTest::newRow("empty") << 0 << QList<int>{};
    QTest::newRow("57 bytes: one full line") << 57 << QList<int>{76};
    QTest::newRow("58 bytes: two lines") << 58 << QList<int>{76, 4};
    QTest::newRow("114 bytes: two full lines") << 114 << QList<int>{76, 76};
}

void TestXmlRpcTypes::base64Lines() {
    QFETCH(int, size);
    QFETCH(QList<int>, lineLengths);
    QByteArray content;
    for (int i = 0; i < size; ++i)
        content += char(i * 7);
    const QString encoded = EncodeBase64(content);
    QList<int> lengths;
    if (!encoded.isEmpty()) {
        for (const QString& line : encoded.split(QStringLiteral("\r\n")))
            lengths << int(line.size());
    }
    QCOMPARE(lengths, lineLengths);
    QVERIFY(!encoded.endsWith(u'\n'));
    QCOMPARE(DecodeBase64(encoded), content);
}

void TestXmlRpcTypes::base64DecodeSkipsNoise() {
    QCOMPARE(DecodeBase64(QStringLiteral("\n  aGVs\r\nbG8=  \n")), QByteArray("hello"));
    QCOMPARE(DecodeBase64(QStringLiteral("aGk")), QByteArray("hi"));
}

void TestXmlRpcTypes::wrongKindReads_data() {
    QTest::addColumn<TItemAction>("read");
    QTest::addColumn<QString>("message");
    QTest::newRow("string") << TItemAction([](IRpcResult& i) { i.AsString(); })
                            << "Item is not a string type";
    QTest::newRow("raw string") << TItemAction([](IRpcResult& i) { i.AsRawString(); })
                                << "Item is not a string type";
    QTest::newRow("double") << TItemAction([](IRpcResult& i) { i.AsFloat(); })
                            << "Item is not a double type";
    QTest::newRow("boolean") << TItemAction([](IRpcResult& i) { i.AsBoolean(); })
                             << "Item is not a boolean type";
    QTest::newRow("date") << TItemAction([](IRpcResult& i) { i.AsDateTime(); })
                          << "Item is not a date type";
    QTest::newRow("base64") << TItemAction([](IRpcResult& i) { i.AsBase64(); })
                            << "Item is not a base64 type";
    QTest::newRow("raw base64") << TItemAction([](IRpcResult& i) { i.AsRawBase64(); })
                                << "Item is not a base64 type";
    QTest::newRow("array") << TItemAction([](IRpcResult& i) { i.AsArray(); })
                           << "Item is not an array type";
    QTest::newRow("struct") << TItemAction([](IRpcResult& i) { i.AsStruct(); })
                            << "Item is not a struct type";
    QTest::newRow("fault code") << TItemAction([](IRpcResult& i) { i.FaultCode(); })
                                << "Item is not an error type";
    QTest::newRow("fault string") << TItemAction([](IRpcResult& i) { i.FaultString(); })
                                  << "Item is not an error type";
}

void TestXmlRpcTypes::wrongKindReads() {
    QFETCH(TItemAction, read);
    QFETCH(QString, message);
    TRpcResult item;
    item.SetAsInteger(5);
    try {
        read(item);
        QFAIL("no error");
    } catch (const EXmlRpcError& e) {
        QCOMPARE(e.Message(), message);
    }
}

void TestXmlRpcTypes::failedReadKeepsValue() {
    TRpcArrayItem item;
    item.SetAsString(QStringLiteral("5"));
    QVERIFY_THROWS_EXCEPTION(EXmlRpcError, item.AsInteger());
    QCOMPARE(item.DataType(), rdtString);
    QCOMPARE(item.AsString(), QStringLiteral("5"));
}

void TestXmlRpcTypes::writeClearsOtherKind() {
    TRpcArrayItem item;
    item.SetAsStruct(NewRpcStruct());
    item.SetAsBoolean(true);
    QVERIFY(item.IsBoolean());
    QVERIFY(!item.IsStruct());
    item.Clear();
    QCOMPARE(item.DataType(), rdtNone);
}

void TestXmlRpcTypes::fromText_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("double") << int(rdtFloat) << "-1.25" << QVariant(-1.25);
    QTest::newRow("double exponent") << int(rdtFloat) << "1E-5" << QVariant(1e-5);
    QTest::newRow("int") << int(rdtInteger) << "-7" << QVariant(-7);
    QTest::newRow("int max") << int(rdtInteger) << "2147483647" << QVariant(2147483647);
    QTest::newRow("bool 0") << int(rdtBoolean) << "0" << QVariant(false);
    QTest::newRow("bool other number") << int(rdtBoolean) << "2" << QVariant(true);
    QTest::newRow("bool TRUE") << int(rdtBoolean) << "TRUE" << QVariant(true);
    QTest::newRow("bool False") << int(rdtBoolean) << "False" << QVariant(false);
    QTest::newRow("string stored escaped") << int(rdtString) << "a<b" << QVariant("a&lt;b");
    QTest::newRow("base64 kept encoded") << int(rdtBase64) << "aGk=\n" << QVariant("aGk=\n");
}

void TestXmlRpcTypes::fromText() {
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(QVariant, expected);
    TRpcArray array;
    array.AddItemFromText(TRpcDataType(kind), text);
    QCOMPARE(array.Count(), 1);
    const IRpcArrayItemPtr item = array.Item(0);
    QCOMPARE(int(item->DataType()), kind);
    switch (kind) {
    case rdtFloat:
        QCOMPARE(item->AsFloat(), expected.toDouble());
        break;
    case rdtInteger:
        QCOMPARE(item->AsInteger(), expected.toInt());
        break;
    case rdtBoolean:
        QCOMPARE(item->AsBoolean(), expected.toBool());
        break;
    case rdtString:
        QCOMPARE(item->AsRawString(), expected.toString());
        break;
    case rdtBase64:
        QCOMPARE(item->AsRawBase64(), expected.toString());
        break;
    }
}

void TestXmlRpcTypes::fromTextRejects_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("int too large") << int(rdtInteger) << "99999999999";
    QTest::newRow("int with fraction") << int(rdtInteger) << "1.5";
    QTest::newRow("int empty") << int(rdtInteger) << "";
    QTest::newRow("int hex") << int(rdtInteger) << "$FF";
    QTest::newRow("bool yes") << int(rdtBoolean) << "yes";
    QTest::newRow("double comma") << int(rdtFloat) << "1,5";
    QTest::newRow("double nan") << int(rdtFloat) << "nan";
    QTest::newRow("date") << int(rdtDateTime) << "2026-01-31T00:00:00";
}

void TestXmlRpcTypes::fromTextRejects() {
    QFETCH(int, kind);
    QFETCH(QString, text);
    TRpcStruct s;
    try {
        s.AddItemFromText(TRpcDataType(kind), QStringLiteral("n"), text);
        QFAIL("no error");
    } catch (const EConvertError& e) {
        QVERIFY2(e.Message().contains(u'\'' + text + u'\''), qPrintable(e.Message()));
    }
    QCOMPARE(s.Count(), 0);
}

void TestXmlRpcTypes::doubleForms_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("tenth") << 0.1 << "0.1";
    QTest::newRow("negative") << -2.5 << "-2.5";
    QTest::newRow("integral") << 100.0 << "100";
    QTest::newRow("small plain") << 0.0001 << "0.0001";
    QTest::newRow("small exponent") << 1e-5 << "1E-5";
    QTest::newRow("large exponent") << 1e20 << "1E20";
    QTest::newRow("15 digits") << 123456789012345678.0 << "1.23456789012346E17";
    QTest::newRow("money") << 1234.56 << "1234.56";
}

void TestXmlRpcTypes::doubleForms() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(FormatRpcDouble(value), text);
}

void TestXmlRpcTypes::structLookup() {
    TRpcStruct s;
    s.AddItem(QStringLiteral("SESSION"), QStringLiteral("first"));
    s.AddItem(QStringLiteral("session"), QStringLiteral("second"));
    s.AddItem(QStringLiteral("Count"), 3);
    QCOMPARE(s.Key(QStringLiteral("Session"))->AsString(), QStringLiteral("first"));
    QCOMPARE(s.IndexOf(QStringLiteral("count")), 2);
    QVERIFY(!s.KeyExists(QStringLiteral("Type")));
    try {
        s.IndexOf(QStringLiteral("Type"));
        QFAIL("no error");
    } catch (const EXmlRpcError& e) {
        QCOMPARE(e.Message(), QStringLiteral("Key [Type] not found"));
    }
    QVERIFY_THROWS_EXCEPTION(EXmlRpcError, s.Key(QStringLiteral("Type")));
    QVERIFY_THROWS_EXCEPTION(EXmlRpcError, s.Delete(QStringLiteral("Type")));
    s.Delete(QStringLiteral("SESSION"));
    QCOMPARE(s.KeyList(), QStringList({"session", "Count"}));
    QCOMPARE(s.Key(QStringLiteral("SESSION"))->AsString(), QStringLiteral("second"));
}

void TestXmlRpcTypes::structNamesEscaped() {
    TRpcStruct s;
    s.AddItem(QStringLiteral("a<b"), 1);
    QCOMPARE(s.KeyList(), QStringList{QStringLiteral("a&lt;b")});
    // Lookups take the name as given: the stored form matches, the plain one does not.
    QVERIFY(s.KeyExists(QStringLiteral("a&lt;b")));
    QVERIFY(!s.KeyExists(QStringLiteral("a<b")));
    QVERIFY(s.GetAsXML().contains(QStringLiteral("<name>a&lt;b</name>")));
}

void TestXmlRpcTypes::resultFaultDetection() {
    TRpcResult result;
    IRpcStructPtr fault = NewRpcStruct();
    fault->AddItem(QStringLiteral("faultCode"), 4);
    fault->AddItem(QStringLiteral("faultString"), QStringLiteral("Too many <parameters>"));
    result.SetAsStruct(fault);
    QVERIFY(result.IsError());
    QCOMPARE(result.FaultCode(), 4);
    QCOMPARE(result.FaultString(), QStringLiteral("Too many <parameters>"));
    QVERIFY_THROWS_EXCEPTION(EXmlRpcError, result.AsStruct());

    IRpcStructPtr plain = NewRpcStruct();
    plain->AddItem(QStringLiteral("SESSION"), QStringLiteral("x"));
    result.SetAsStruct(plain);
    QVERIFY(result.IsStruct());
    QCOMPARE(result.AsStruct(), plain);
}

void TestXmlRpcTypes::resultFaultWithoutText() {
    TRpcResult result;
    result.SetAsInteger(1);
    IRpcStructPtr fault = NewRpcStruct();
    fault->AddItem(QStringLiteral("faultCode"), 4);
    try {
        result.SetAsStruct(fault);
        QFAIL("no error");
    } catch (const EXmlRpcError& e) {
        QCOMPARE(e.Message(), QStringLiteral("Key [faultString] not found"));
    }
    QCOMPARE(result.AsInteger(), 1);
}

void TestXmlRpcTypes::functionClear() {
    TRpcFunction call;
    call.SetMethodName(QStringLiteral("orv.disconnect"));
    call.AddItem(QStringLiteral("S"));
    call.AddItem(true);
    QCOMPARE(call.Count(), 2);
    QCOMPARE(call.Item(1)->DataType(), rdtBoolean);
    call.SetFault(5, QStringLiteral("bad"));
    QCOMPARE(call.Count(), 0);
    QCOMPARE(call.MethodName(), QString());
    QCOMPARE(call.FaultCode(), 5);
    QVERIFY(call.GetResponseXML().contains("<name>faultCode</name>"));
    IRpcFunction& asInterface = call;
    asInterface.Clear();
    QCOMPARE(call.FaultCode(), 0);
}

void TestXmlRpcTypes::arrayIndexChecked() {
    TRpcArray array;
    array.AddItem(1);
    QVERIFY_THROWS_EXCEPTION(EXmlRpcError, array.Item(1));
    QVERIFY_THROWS_EXCEPTION(EXmlRpcError, array.Item(-1));
    QVERIFY_THROWS_EXCEPTION(EXmlRpcError, array.Delete(3));
    array.Delete(0);
    QCOMPARE(array.Count(), 0);
}

void TestXmlRpcTypes::base64Files() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray content = QByteArray::fromHex("0001626172ff");
    TRpcStructItem item;
    item.SetAsBase64(content);
    const QString path = dir.filePath(QStringLiteral("out.bin"));
    item.SaveToFile(path);

    TRpcStruct s;
    s.AddItemBase64FromFile(QStringLiteral("file"), path);
    QCOMPARE(s.Key(QStringLiteral("file"))->AsBase64(), content);

    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    s.Item(0)->SaveToStream(buffer);
    QCOMPARE(buffer.data(), content);

    try {
        s.AddItemBase64FromFile(QStringLiteral("missing"), dir.filePath(QStringLiteral("none")));
        QFAIL("no error");
    } catch (const EXmlRpcError& e) {
        QVERIFY2(e.Message().contains(QStringLiteral("none")), qPrintable(e.Message()));
    }
    QCOMPARE(s.Count(), 1);
    TRpcArrayItem notBase64;
    notBase64.SetAsInteger(1);
    QVERIFY_THROWS_EXCEPTION(EXmlRpcError, notBase64.SaveToFile(dir.filePath(QStringLiteral("x"))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x"))));
}

QTEST_GUILESS_MAIN(TestXmlRpcTypes)
#include "tst_xmlrpctypes.moc"
