#include "RpcTestSupport.h"
#include "TestSupport.h"
#include "payroll/xmlrpc/XmlRpcClient.h"
#include "payroll/xmlrpc/XmlRpcScanner.h"

#include <QJsonDocument>
#include <QtTest>

using namespace rpctest;
using namespace Qt::StringLiterals;

class TestXmlRpcClient : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void requestDisconnect();
    void requestMixedKinds();
    void parse_data();
    void parse();
    void scannerTokens_data();
    void scannerTokens();
    void parseRawEscapedText();
    void parseRejectsValues_data();
    void parseRejectsValues();
    void parseManyDuplicateMembers();
    void parseLargeBase64StaysEncoded();
    void parseLeavesNoStateBehind();
    void pythonLoadsOurRequests();
    void pythonAnswersParse_data();
    void pythonAnswersParse();
};

namespace {

IRpcFunctionPtr MixedCall() {
    IRpcFunctionPtr call = NewRpcFunction();
    call->SetMethodName(QStringLiteral("orv.test"));
    call->AddItem(-42);
    call->AddItem(true);
    IRpcStructPtr s = NewRpcStruct();
    s->AddItem(QStringLiteral("Name"), QStringLiteral("Ann <A>"));
    s->AddItem(QStringLiteral("flag"), false);
    s->AddItem(QStringLiteral("when"), QDateTime(QDate(2026, 1, 31), QTime(7, 5, 9), Qt::UTC));
    s->AddItem(QStringLiteral("nothing"));
    IRpcArrayPtr list = NewRpcArray();
    list->AddItem(1);
    list->AddItem("x");
    list->AddItemBase64("hi");
    s->AddItem(QStringLiteral("list"), list);
    call->AddItem(s);
    call->AddItem(0.1);
    // A parameter of kind none gets only its "param" lines.
    call->AddItem(0);
    call->Item(call->Count() - 1)->Clear();
    return call;
}

QString ParsedCanon(const QByteArray& response, bool fastScan = true) {
    TRpcClientParser parser;
    parser.FastScan = fastScan;
    return CanonText(Canon(*parser.ParseResponse(response)));
}

// The tokens of a text as the fast scanner reports them, one a line:
// "<name", "text", ">name", and "done" or "gives up" at the end.
QString ScannedTokens(const QByteArray& text, int maxDepth) {
    TRpcXmlScanner scanner(text, true, maxDepth);
    QStringList tokens;
    for (;;) {
        switch (scanner.Next()) {
        case TRpcXmlScanner::tkStart:
            tokens << u'<' + QString::fromUtf8(scanner.Name());
            break;
        case TRpcXmlScanner::tkEnd:
            tokens << u'>' + QString::fromUtf8(scanner.Name());
            break;
        case TRpcXmlScanner::tkText:
            tokens << QString::fromUtf8(scanner.Text());
            break;
        case TRpcXmlScanner::tkDone:
            return (tokens << QStringLiteral("done")).join(u'|');
        case TRpcXmlScanner::tkGiveUp:
            return (tokens << QStringLiteral("gives up")).join(u'|');
        }
    }
}

} // namespace

void TestXmlRpcClient::requestDisconnect() {
    TRpcFunction call;
    call.SetMethodName(QStringLiteral("orv.disconnect"));
    call.AddItem("S-1&2");
    QCOMPARE(call.GetRequestXML(),
             testsupport::ReadFile(testsupport::DataPath("payroll/request_disconnect.xml")));
}

void TestXmlRpcClient::requestMixedKinds() {
    QCOMPARE(MixedCall()->GetRequestXML(),
             testsupport::ReadFile(testsupport::DataPath("payroll/request_mixed.xml")));
}

void TestXmlRpcClient::parse_data() {
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QString>("canon");
    auto param = [](const QByteArray& value) -> QByteArray {
        return "<?xml version=\"1.0\"?><methodResponse><params><param>" + value +
               "</param></params></methodResponse>";
    };
    auto member = [&](const char* name, const char* value) -> QByteArray {
        return param(QByteArray("<value><struct><member><name>") + name + "</name>" + value +
                     "</member></struct></value>");
    };
    const QByteArray i4 = param("<value><i4>7</i4></value>");
    QTest::newRow("i4 at top level") << i4 << R"(["int",7])";
    QTest::newRow("empty string member")
        << QByteArray(member("a", "<value><string></string></value>"))
        << R"(["struct",[["a",["str",""]]]])";
    QTest::newRow("string really [NULL]")
        << QByteArray(member("a", "<value><string>[NULL]</string></value>"))
        << R"(["struct",[["a",["str",""]]]])";
    QTest::newRow("nil in string, any case")
        << QByteArray(member("a", "<value><STRING></NIL></STRING></value>"))
        << R"(["struct",[["a",["str",""]]]])";
    QTest::newRow("empty value") << QByteArray(member("a", "<value></value>"))
                                 << R"(["struct",[["a",["str",""]]]])";
    QTest::newRow("value of two spaces")
        << QByteArray(member("a", "<value>  </value>")) << R"(["struct",[["a",["str","  "]]]])";
    QTest::newRow("string of two spaces")
        << QByteArray(member("a", "<value><string>  </string></value>"))
        << R"(["struct",[["a",["str","  "]]]])";
    QTest::newRow("untyped value equal to its name")
        << QByteArray(member("CODE", "<value>CODE</value>"))
        << R"(["struct",[["CODE",["str",""]]]])";
    QTest::newRow("untyped value")
        << QByteArray(member("a", "<value>abc</value>")) << R"(["struct",[["a",["str","abc"]]]])";
    QTest::newRow("self-closing string") << QByteArray(member("a", "<value><string/></value>"))
                                         << R"(["struct",[["a",["str",""]]]])";
    QTest::newRow("empty base64 on its own line")
        << QByteArray(member("a", "<value><base64>\n</base64></value>"))
        << R"(["struct",[["a",["b64hex",""]]]])";
    QTest::newRow("entities and references")
        << param("<value><string>a &amp; b &lt;c&gt; &#233;&#x20AC;</string></value>")
        << QString::fromUtf8(R"(["str","a & b <c> é€"])");
    QTest::newRow("UTF-8 kept") << param("<value><string>Zo\xc3\xab</string></value>")
                                << QString::fromUtf8(R"(["str","Zoë"])");
    QTest::newRow("whitespace around typed value")
        << param("<value>\n  <int>5</int>\n</value>") << R"(["int",5])";
    QTest::newRow("int with a plus sign")
        << param("<value><int>+5</int></value>") << R"(["int",5])";
    QTest::newRow("i4 with a plus sign") << param("<value><i4>+5</i4></value>") << R"(["int",5])";
    QTest::newRow("nested containers")
        << param("<value><struct><member><name>rows</name><value><array><data>"
                 "<value><struct><member><name>n</name><value><int>1</int></value></member>"
                 "</struct></value><value><array><data><value><boolean>1</boolean></value>"
                 "</data></array></value></data></array></value></member>"
                 "<member><name>d</name><value><double>-1.5</double></value></member>"
                 "</struct></value>")
        << R"(["struct",[["rows",["array",[["struct",[["n",["int",1]]]],["array",[["bool",true]]]]]],["d",["double",-1.5]]]])";
    QTest::newRow("fault element")
        << QByteArray("<?xml version=\"1.0\"?><methodResponse><fault><value><struct>"
                      "<member><name>faultCode</name><value><int>810</int></value></member>"
                      "<member><name>faultString</name><value><string>Wrong session</string>"
                      "</value></member></struct></value></fault></methodResponse>")
        << R"(["fault",810,"Wrong session"])";
    QTest::newRow("faultCode in a normal answer")
        << param("<value><struct><member><name>faultString</name><value>no</value></member>"
                 "<member><name>faultCode</name><value><int>3</int></value></member>"
                 "</struct></value>")
        << R"(["fault",3,"no"])";
    QTest::newRow("comment and CDATA")
        << param("<value><string>a<!-- c --></string></value>") << R"(["str","a"])";
    QTest::newRow("CDATA is text")
        << param("<value><string><![CDATA[<x>]]></string></value>") << R"(["str","<x>"])";
    QTest::newRow("no value at all")
        << QByteArray("<?xml version=\"1.0\"?><methodResponse><params/></methodResponse>")
        << R"(["none"])";
    QTest::newRow("declared Latin-1")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><methodResponse><params>"
                      "<param><value><string>Zo\xeb</string></value></param></params>"
                      "</methodResponse>")
        << QString::fromUtf8(R"(["str","Zoë"])");

    const QString empty = R"(["fault",600,"The xml-rpc server returned a empty response"])";
    const QString invalid = R"(["fault",601,"Invalid payload received from xml-rpc server"])";
    QTest::newRow("empty answer") << QByteArray() << empty;
    QTest::newRow("whitespace answer") << QByteArray(" \r\n\t ") << empty;
    QTest::newRow("HTML error page")
        << QByteArray("<html><body><h1>Service Unavailable</h1></body></html>") << invalid;
    QTest::newRow("truncated") << i4.left(i4.size() - 30) << invalid;
    QTest::newRow("tags crossed")
        << QByteArray("<?xml version=\"1.0\"?><methodResponse><params><param><value><int>1"
                      "</value></int></param></params></methodResponse>")
        << invalid;
    QTest::newRow("binary garbage") << QByteArray("xml\x00\x01\xff\xfe<<&&", 11) << invalid;
    QTest::newRow("DOCTYPE entity bomb")
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">"
                      "<!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
                      "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">]>"
                      "<methodResponse><params><param><value><string>&lol3;</string></value>"
                      "</param></params></methodResponse>")
        << invalid;
    QTest::newRow("external entity")
        << QByteArray(
               "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
               "<methodResponse><params><param><value><string>&x;</string></value>"
               "</param></params></methodResponse>")
        << invalid;
    QTest::newRow("undeclared entity")
        << param("<value><string>&nbsp;</string></value>") << invalid;
    QByteArray deep = "<?xml version=\"1.0\"?><methodResponse><params><param>";
    for (int i = 0; i < 1000; ++i)
        deep += "<value><array><data>";
    for (int i = 0; i < 1000; ++i)
        deep += "</data></array></value>";
    deep += "</param></params></methodResponse>";
    QTest::newRow("1000-deep nesting") << deep << invalid;
}

void TestXmlRpcClient::parse() {
    QFETCH(QByteArray, response);
    QFETCH(QString, canon);
    QCOMPARE(ParsedCanon(response), canon);
    QCOMPARE(ParsedCanon(response, false), canon);
}

void TestXmlRpcClient::scannerTokens_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("tokens");
    QTest::newRow("declaration, empty element, text")
        << QByteArray("<?xml version='1.0' encoding=\"UTF-8\" ?>\n<a >\n<b/>x</a >\n")
        << "<a|\n|<b|>b|x|>a|done";
    QTest::newRow("references and line breaks")
        << QByteArray("<a>1 &lt; 2 &amp;&#65;&#x42;&#xe9;\r\nz\r&#13;</a>")
        << u"<a|1 < 2 &AB\u00e9\nz\n\r|>a|done"_s;
    QTest::newRow("empty values marked, any case")
        << QByteArray("<a><STRING></String><value></NIL></value><value></value></a>")
        << "<a|<string|[NULL]|>string|<value|[NULL]|>value|<value|[NULL]|>value|>a|done";
    QTest::newRow("UTF-8 kept") << QByteArray("<a>Zo\xc3\xab \xf0\x9f\x98\x80</a>")
                                << u"<a|Zo\u00eb \U0001F600|>a|done"_s;
    QTest::newRow("nesting at the limit")
        << QByteArray("<a><b><c/></b></a>") << "<a|<b|<c|>c|>b|>a|done";
    QTest::newRow("nesting beyond it")
        << QByteArray("<a><b><c><d/></c></b></a>") << "<a|<b|<c|gives up";
    QTest::newRow("attribute") << QByteArray("<a b='1'/>") << "gives up";
    QTest::newRow("comment") << QByteArray("<a><!-- x --></a>") << "<a|gives up";
    QTest::newRow("CDATA") << QByteArray("<a><![CDATA[x]]></a>") << "<a|gives up";
    QTest::newRow("document type") << QByteArray("<!DOCTYPE a><a/>") << "gives up";
    QTest::newRow("processing instruction") << QByteArray("<a><?pi x?></a>") << "<a|gives up";
    QTest::newRow("Latin-1 declared")
        << QByteArray("<?xml version='1.0' encoding='ISO-8859-1'?><a/>") << "gives up";
    QTest::newRow("crossed tags") << QByteArray("<a><b></a></b>") << "<a|<b|gives up";
    QTest::newRow("unclosed") << QByteArray("<a>text") << "<a|gives up";
    QTest::newRow("text after the root") << QByteArray("<a/>x") << "<a|>a|gives up";
    QTest::newRow("second root") << QByteArray("<a/><b/>") << "<a|>a|gives up";
    QTest::newRow("bad UTF-8") << QByteArray("<a>\xc3(</a>") << "<a|gives up";
    QTest::newRow("U+FFFF") << QByteArray("<a>\xef\xbf\xbf</a>") << "<a|gives up";
    QTest::newRow("surrogate") << QByteArray("<a>\xed\xa0\x80</a>") << "<a|gives up";
    QTest::newRow("control character") << QByteArray("<a>\x01</a>") << "<a|gives up";
    QTest::newRow("]]> in text") << QByteArray("<a>]]></a>") << "<a|gives up";
    QTest::newRow("undeclared entity") << QByteArray("<a>&nbsp;</a>") << "<a|gives up";
    QTest::newRow("reference to NUL") << QByteArray("<a>&#0;</a>") << "<a|gives up";
    QTest::newRow("non-ASCII name") << QByteArray("<\xc3\xa9/>") << "gives up";
}

void TestXmlRpcClient::scannerTokens() {
    QFETCH(QByteArray, text);
    QFETCH(QString, tokens);
    QCOMPARE(ScannedTokens(text, 3), tokens);
}

void TestXmlRpcClient::parseRawEscapedText() {
    TRpcClientParser parser;
    const IRpcResultPtr result = parser.ParseResponse(
        "<?xml version=\"1.0\"?><methodResponse><params><param><value><struct><member>"
        "<name>a&lt;b</name><value><string>x &amp; y</string></value></member>"
        "</struct></value></param></params></methodResponse>");
    const IRpcStructPtr s = result->AsStruct();
    QCOMPARE(s->KeyList(), QStringList{QStringLiteral("a&lt;b")});
    QCOMPARE(s->Item(0)->AsRawString(), QStringLiteral("x &amp; y"));
}

void TestXmlRpcClient::parseRejectsValues_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("int 99999999999")
        << QByteArray("<int>99999999999</int>") << "'99999999999' is not a valid integer value";
    QTest::newRow("boolean yes") << QByteArray("<boolean>yes</boolean>")
                                 << "'yes' is not a valid boolean value";
    QTest::newRow("double") << QByteArray("<double>1,5</double>")
                            << "'1,5' is not a valid floating point value";
    QTest::newRow("date") << QByteArray("<dateTime.iso8601>2026-01-31T00:00:00</dateTime.iso8601>")
                          << "'2026-01-31T00:00:00' is not a valid date and time";
}

void TestXmlRpcClient::parseRejectsValues() {
    QFETCH(QByteArray, value);
    QFETCH(QString, message);
    TRpcClientParser parser;
    try {
        parser.ParseResponse("<?xml version=\"1.0\"?><methodResponse><params><param><value>" +
                             value + "</value></param></params></methodResponse>");
        QFAIL("no error");
    } catch (const EConvertError& e) {
        QCOMPARE(e.Message(), message);
    }
    // A fault without its text is refused as well.
    QVERIFY_THROWS_EXCEPTION(
        EXmlRpcError,
        parser.ParseResponse("<?xml version=\"1.0\"?><methodResponse><fault><value><struct>"
                             "<member><name>faultCode</name><value><int>1</int></value></member>"
                             "</struct></value></fault></methodResponse>"));
}

void TestXmlRpcClient::parseManyDuplicateMembers() {
    QByteArray text = "<?xml version=\"1.0\"?><methodResponse><params><param><value><struct>";
    for (int i = 0; i < 10000; ++i)
        text += "<member><name>same</name><value><int>" + QByteArray::number(i) +
                "</int></value></member>";
    text += "</struct></value></param></params></methodResponse>";
    TRpcClientParser parser;
    const IRpcStructPtr s = parser.ParseResponse(text)->AsStruct();
    QCOMPARE(s->Count(), 10000);
    QCOMPARE(s->Key(QStringLiteral("SAME"))->AsInteger(), 0);
    QCOMPARE(s->Item(9999)->AsInteger(), 9999);
}

void TestXmlRpcClient::parseLargeBase64StaysEncoded() {
    const QByteArray content(8 * 1024 * 1024, 'z');
    const QByteArray encoded = EncodeBase64(content).toLatin1();
    TRpcClientParser parser;
    const IRpcResultPtr result = parser.ParseResponse(
        "<?xml version=\"1.0\"?><methodResponse><params><param><value><base64>" + encoded +
        "</base64></value></param></params></methodResponse>");
    // Kept encoded (XML turns its CR LF into LF), decoded only when read.
    QVERIFY(result->AsRawBase64().startsWith(QString::fromLatin1(encoded.left(76)) + u'\n'));
    QCOMPARE(result->AsBase64(), content);
}

void TestXmlRpcClient::parseLeavesNoStateBehind() {
    TRpcClientParser parser;
    // A struct left open by a broken answer must not reach the next result.
    QVERIFY(parser
                .ParseResponse("<?xml version=\"1.0\"?><methodResponse><params><param><value>"
                               "<struct><member><name>x</name><value>1</value></member>")
                ->IsError());
    const IRpcResultPtr next = parser.ParseResponse(
        "<?xml version=\"1.0\"?><methodResponse><params><param><value><string>ok</string>"
        "</value></param></params></methodResponse>");
    QCOMPARE(next->AsString(), QStringLiteral("ok"));
}

void TestXmlRpcClient::pythonLoadsOurRequests() {
    if (Python().isEmpty())
        QSKIP("python3 is not installed");
    IRpcFunctionPtr call = MixedCall();
    // Python has no value for kind none.
    call->Delete(call->Count() - 1);
    call->Item(2)->AsStruct()->Delete(QStringLiteral("nothing"));
    IRpcStructPtr s = NewRpcStruct();
    s->AddItem(QStringLiteral("text"), QString::fromUtf8("Zoë & <Co> \"quoted\" 'single' €"));
    s->AddItem(QStringLiteral("empty"), QString());
    s->AddItemBase64(QStringLiteral("bytes"), QByteArray::fromHex("00ff10") + QByteArray(100, 'x'));
    s->AddItem(QStringLiteral("big"), 1e20);
    s->AddItem(QStringLiteral("nested"), NewRpcStruct());
    call->AddItem(s);
    IRpcArrayPtr empty = NewRpcArray();
    call->AddItem(empty);
    call->AddItem(std::numeric_limits<qint32>::min());

    const QString script = QString::fromLatin1(kPythonCanon) + QStringLiteral(R"PY(
params, method = X.loads(sys.stdin.buffer.read())
print(json.dumps([method, canon(list(params))[1]]))
)PY");
    QString error;
    const QByteArray out = RunPython(script, call->GetRequestXML(), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QJsonArray expected{QStringLiteral("orv.test"), CanonParams(*call)};
    QCOMPARE(CanonText(QJsonDocument::fromJson(out).array()), CanonText(expected));
}

void TestXmlRpcClient::pythonAnswersParse_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("fault") << "X.Fault(4, 'Too <many> & \\u00e9 parameters')";
    QTest::newRow("nested structs and arrays")
        << "{'a': [1, 2, {'b': 'x', 'c': []}], 's': {'t': True, 'f': False}, 'n': {}}";
    QTest::newRow("scalars")
        << "['', ' ', 'x&y<z>', -7, 2**31 - 1, 1.5, -0.001, 1e300, True, False, "
           "'Zo\\u00eb \\u20ac']";
    QTest::newRow("base64") << "[X.Binary(bytes(range(256)) * 3), X.Binary(b'')]";
    QTest::newRow("dates")
        << "{'d': X.DateTime('20260131T07:05:09'), 'e': X.DateTime('19991231T23:59:59')}";
    QTest::newRow("empty strings in struct") << "{'x': '', 'y': 'y', 'z': ''}";
    QTest::newRow("empty key") << "{'': 1, 'k': 2}";
}

void TestXmlRpcClient::pythonAnswersParse() {
    if (Python().isEmpty())
        QSKIP("python3 is not installed");
    QFETCH(QString, value);
    const QString script = QString::fromLatin1(kPythonCanon) + QStringLiteral(R"PY(
v = %1
if isinstance(v, X.Fault):
    text = X.dumps(v, methodresponse=True)
    c = ["fault", v.faultCode, v.faultString]
else:
    text = X.dumps((v,), methodresponse=True)
    c = canon(v)
sys.stdout.buffer.write(json.dumps(c).encode() + b"\n" + text.encode("utf-8"))
)PY")
                                                                   .arg(value);
    QString error;
    const QByteArray out = RunPython(script, QByteArray(), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const qsizetype split = out.indexOf('\n');
    const QJsonArray expected = QJsonDocument::fromJson(out.left(split)).array();
    QCOMPARE(ParsedCanon(out.mid(split + 1)), CanonText(expected));
}

QTEST_GUILESS_MAIN(TestXmlRpcClient)
#include "tst_xmlrpcclient.moc"
