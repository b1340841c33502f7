#include "RpcTestSupport.h"
#include "TestSupport.h"
#include "payroll/xmlrpc/XmlRpcClient.h"
#include "payroll/xmlrpc/XmlRpcDataSet.h"

#include <QtTest>

#include <functional>

using TResultEdit = std::function<void(IRpcStruct& dataset)>;
Q_DECLARE_METATYPE(TResultEdit)
using TTextEdit = std::function<QByteArray(QByteArray)>;
Q_DECLARE_METATYPE(TTextEdit)

class TestXmlRpcDataSet : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fromResponse();
    void streamedAsTheTreeReadsIt_data();
    void streamedAsTheTreeReadsIt();
    void noRows();
    void layoutRefused_data();
    void layoutRefused();
    void badValues_data();
    void badValues();
    void csvOfEmptyValue();
    void csvQuoting_data();
    void csvQuoting();
    void csvKeepsPosition();
};

namespace {

IRpcStructPtr Column(const char* nm, int tp, int nl = -1) {
    IRpcStructPtr c = NewRpcStruct();
    c->AddItem(QStringLiteral("tb"), "T");
    c->AddItem(QStringLiteral("nm"), nm);
    c->AddItem(QStringLiteral("tp"), tp);
    if (nl >= 0)
        c->AddItem(QStringLiteral("nl"), nl);
    return c;
}

// A result with the columns CL_NBR (int, c1) and NAME (varchar, c2) and one
// row {c1: 7, c2: "x"}.
IRpcStructPtr Result(IRpcStructPtr* datasetOut = nullptr) {
    IRpcStructPtr meta = NewRpcStruct();
    meta->AddItem(QStringLiteral("c1"), Column("CL_NBR", 4, 0));
    meta->AddItem(QStringLiteral("c2"), Column("NAME", 12));
    IRpcStructPtr row = NewRpcStruct();
    row->AddItem(QStringLiteral("c1"), 7);
    row->AddItem(QStringLiteral("c2"), "x");
    IRpcStructPtr rows = NewRpcStruct();
    rows->AddItem(QStringLiteral("r1"), row);
    IRpcStructPtr dataset = NewRpcStruct();
    dataset->AddItem(QStringLiteral("meta"), meta);
    dataset->AddItem(QStringLiteral("val"), rows);
    IRpcStructPtr result = NewRpcStruct();
    result->AddItem(QStringLiteral("DATASET"), dataset);
    if (datasetOut)
        *datasetOut = dataset;
    return result;
}

IRpcStructPtr FirstRow(IRpcStruct& dataset) {
    return dataset.Key(QStringLiteral("val"))->AsStruct()->Item(0)->AsStruct();
}

} // namespace

void TestXmlRpcDataSet::fromResponse() {
    TRpcClientParser parser;
    const IRpcResultPtr result = parser.ParseResponse(
        testsupport::ReadFile(testsupport::DataPath("payroll/dataset_clients.xml")));
    const auto table = XmlToDataSet(result->AsStruct());
    QVERIFY(table);
    QVERIFY(table->Active());
    QCOMPARE(table->FieldCount(), 7);
    const TMemFieldKind kinds[] = {fkInteger, fkString,   fkDate, fkFloat,
                                   fkBoolean, fkDateTime, fkBlob};
    for (int f = 0; f < 7; ++f)
        QCOMPARE(table->Field(f).Kind, kinds[f]);
    QVERIFY(table->Field(0).Required);
    QVERIFY(!table->Field(1).Required);
    QVERIFY(!table->Field(2).Required); // no "nl"
    QCOMPARE(table->Field(1).Size, 40);
    QCOMPARE(table->RecordCount(), 2);
    QCOMPARE(table->RecNo(), 0);
    QCOMPARE(table->Value(QStringLiteral("NAME")).toString(),
             QString::fromUtf8("Zoë & Co, \"Ltd\""));
    QCOMPARE(table->Value(QStringLiteral("CHECK_DATE")).toDate(), QDate(2026, 1, 31));
    QCOMPARE(table->Value(QStringLiteral("NOTES")).toByteArray(), QByteArray("line 1\r\nline 2"));
    table->Next();
    // Empty strings: null in typed columns, an empty string in text columns.
    QCOMPARE(table->Value(QStringLiteral("CL_NBR")).toInt(), 8);
    QVERIFY(!table->IsNull(1));
    QCOMPARE(table->Value(1).toString(), QString());
    for (int f = 2; f < 7; ++f)
        QVERIFY2(table->IsNull(f), qPrintable(table->Field(f).Name));
    table->First();
    QCOMPARE(DataSetToCsv(*table).toUtf8(),
             testsupport::ReadFile(testsupport::DataPath("payroll/dataset_clients.csv")));
}

namespace {

// Replaces the first occurrence of a text in the answer.
TTextEdit Replace(const QByteArray& before, const QByteArray& after) {
    return [before, after](QByteArray text) {
        const qsizetype at = text.indexOf(before);
        return at < 0 ? QByteArray("edit not applicable") : text.replace(at, before.size(), after);
    };
}

} // namespace

void TestXmlRpcDataSet::streamedAsTheTreeReadsIt_data() {
    QTest::addColumn<TTextEdit>("edit");
    QTest::addColumn<bool>("streamed");
    const QByteArray c2 = "<value><string>Zo\xc3\xab &amp; Co, \"Ltd\"</string></value>";
    QTest::newRow("as the service writes it") << TTextEdit([](QByteArray t) { return t; }) << true;
    QTest::newRow("CR LF line breaks")
        << TTextEdit([](QByteArray t) { return t.replace("\n", "\r\n"); }) << true;
    QTest::newRow("untyped text") << Replace(c2, "<value>Untyped &lt;text&gt;</value>") << true;
    QTest::newRow("untyped text equal to its name") << Replace(c2, "<value>c2</value>") << true;
    QTest::newRow("blank value") << Replace(c2, "<value>  </value>") << true;
    QTest::newRow("empty value") << Replace(c2, "<value/>") << true;
    QTest::newRow("empty value element") << Replace(c2, "<value></value>") << true;
    QTest::newRow("string [NULL]") << Replace(c2, "<value><string>[NULL]</string></value>") << true;
    QTest::newRow("i4") << Replace("<int>7</int>", "<i4> 7 </i4>") << true;
    QTest::newRow("no rows") << TTextEdit([](QByteArray t) -> QByteArray {
        return t.left(t.indexOf("<name>val</name>") + 16) +
               "<value><string></string></value></member></struct></value></member></struct>"
               "</value></param></params></methodResponse>";
    }) << false;
    QTest::newRow("fault") << TTextEdit([](QByteArray) {
        return QByteArray("<?xml version='1.0'?><methodResponse><fault><value><struct><member>"
                          "<name>faultCode</name><value><int>810</int></value></member><member>"
                          "<name>faultString</name><value><string>Wrong session</string></value>"
                          "</member></struct></value></fault></methodResponse>");
    }) << false;
    QTest::newRow("faultCode beside the dataset")
        << Replace("</struct></value>\n</param>",
                   "<member><name>faultCode</name><value><int>4</int></value></member>"
                   "<member><name>faultString</name><value>x</value></member></struct></value>"
                   "\n</param>")
        << false;
    const QByteArray rowsEnd = "</struct></value>\n</member>\n</struct></value>\n</member>\n";
    QTest::newRow("member after val")
        << Replace(rowsEnd + "</struct>",
                   rowsEnd + "<member><name>more</name><value>1</value></member></struct>")
        << false;
    QTest::newRow("text in an integer column")
        << Replace("<int>7</int>", "<string>7</string>") << false;
    QTest::newRow("integer that does not convert")
        << Replace("<int>7</int>", "<int>7x</int>") << false;
    QTest::newRow("row member without column")
        << Replace("<name>C1</name>", "<name>c9</name>") << false;
    QTest::newRow("comment") << Replace("<member>", "<!-- x --><member>") << false;
    QTest::newRow("not well-formed") << Replace("</val", "</vl") << false;
}

void TestXmlRpcDataSet::streamedAsTheTreeReadsIt() {
    QFETCH(TTextEdit, edit);
    QFETCH(bool, streamed);
    const QByteArray text =
        edit(testsupport::ReadFile(testsupport::DataPath("payroll/dataset_clients.xml")));
    QVERIFY(text != "edit not applicable");
    QCOMPARE(StreamDataSetResponse(text, true) != nullptr, streamed);
    // The reference: expat alone, and the value tree.
    QCOMPARE(rpctest::DataSetOutcome(text, true), rpctest::DataSetOutcome(text, false));
}

void TestXmlRpcDataSet::noRows() {
    IRpcStructPtr dataset;
    const IRpcStructPtr result = Result(&dataset);
    dataset->Item(1)->SetAsString(QString());
    const auto table = XmlToDataSet(result);
    QVERIFY(table);
    QVERIFY(table->Active());
    QCOMPARE(table->FieldCount(), 2);
    QVERIFY(table->IsEmpty());
    QCOMPARE(DataSetToCsv(*table), QStringLiteral("CL_NBR,NAME\r\n"));
}

void TestXmlRpcDataSet::layoutRefused_data() {
    QTest::addColumn<TResultEdit>("edit");
    QTest::newRow("val before meta") << TResultEdit([](IRpcStruct& d) {
        const IRpcStructItemPtr meta = d.Item(0);
        d.Delete(0);
        d.AddItem(QStringLiteral("meta"))->SetAsStruct(meta->AsStruct());
    });
    QTest::newRow("val missing") << TResultEdit([](IRpcStruct& d) { d.Delete(1); });
    QTest::newRow("meta misspelt") << TResultEdit([](IRpcStruct& d) {
        const IRpcStructPtr meta = d.Item(0)->AsStruct();
        const IRpcStructItemPtr val = d.Item(1);
        d.Clear();
        d.AddItem(QStringLiteral("Meta"), meta);
        d.AddItem(QStringLiteral("val"), val->AsStruct());
    });
    QTest::newRow("column without tb") << TResultEdit([](IRpcStruct& d) {
        d.Item(0)->AsStruct()->Item(1)->AsStruct()->Delete(QStringLiteral("tb"));
    });
    QTest::newRow("column with empty nm") << TResultEdit([](IRpcStruct& d) {
        d.Item(0)
            ->AsStruct()
            ->Item(1)
            ->AsStruct()
            ->Key(QStringLiteral("nm"))
            ->SetAsString(QString());
    });
}

void TestXmlRpcDataSet::layoutRefused() {
    QFETCH(TResultEdit, edit);
    IRpcStructPtr dataset;
    const IRpcStructPtr result = Result(&dataset);
    QVERIFY(XmlToDataSet(result));
    edit(*dataset);
    QVERIFY(!XmlToDataSet(result));

    IRpcStructPtr renamed = NewRpcStruct();
    renamed->AddItem(QStringLiteral("dataset"), dataset);
    QVERIFY(!XmlToDataSet(renamed));
}

void TestXmlRpcDataSet::badValues_data() {
    QTest::addColumn<TResultEdit>("edit");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown type code") << TResultEdit([](IRpcStruct& d) {
        d.Item(0)->AsStruct()->Item(1)->AsStruct()->Key(QStringLiteral("tp"))->SetAsInteger(1111);
    }) << "Field 'NAME' is of an unknown type";
    QTest::newRow("row member without column")
        << TResultEdit([](IRpcStruct& d) { FirstRow(d)->AddItem(QStringLiteral("c9"), 1); })
        << "Key [c9] not found";
    QTest::newRow("text in an integer column") << TResultEdit([](IRpcStruct& d) {
        FirstRow(d)->Item(0)->SetAsString(QStringLiteral("7"));
    }) << "Item is not an integer type";
    QTest::newRow("required column empty")
        << TResultEdit([](IRpcStruct& d) { FirstRow(d)->Item(0)->SetAsString(QString()); })
        << "Field 'CL_NBR' must have a value";
    QTest::newRow("required column missing")
        << TResultEdit([](IRpcStruct& d) { FirstRow(d)->Delete(0); })
        << "Field 'CL_NBR' must have a value";
    QTest::newRow("duplicate field name") << TResultEdit([](IRpcStruct& d) {
        d.Item(0)->AsStruct()->AddItem(QStringLiteral("c3"), Column("name", 12));
    }) << "Duplicate field name 'name'";
    QTest::newRow("row that is not a struct") << TResultEdit([](IRpcStruct& d) {
        d.Item(1)->AsStruct()->AddItem(QStringLiteral("r2"), 5);
    }) << "Item is not a struct type";
}

void TestXmlRpcDataSet::badValues() {
    QFETCH(TResultEdit, edit);
    QFETCH(QString, message);
    IRpcStructPtr dataset;
    const IRpcStructPtr result = Result(&dataset);
    edit(*dataset);
    std::unique_ptr<TMemTable> table;
    try {
        table = XmlToDataSet(result);
        QFAIL("no error");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), message);
    }
    QVERIFY(!table);
}

void TestXmlRpcDataSet::csvOfEmptyValue() {
    IRpcStructPtr dataset;
    const IRpcStructPtr result = Result(&dataset);
    FirstRow(*dataset)->Item(1)->SetAsString(QString());
    const auto table = XmlToDataSet(result);
    QVERIFY(table);
    QCOMPARE(DataSetToCsv(*table), QStringLiteral("CL_NBR,NAME\r\n7,\"\"\r\n"));
    // A row that omits a column leaves it null; null is empty text, quoted too.
    FirstRow(*dataset)->Delete(1);
    const auto omitted = XmlToDataSet(result);
    QVERIFY(omitted->IsNull(1));
    QCOMPARE(DataSetToCsv(*omitted), QStringLiteral("CL_NBR,NAME\r\n7,\"\"\r\n"));
}

void TestXmlRpcDataSet::csvQuoting_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("written");
    QTest::newRow("plain") << "abc"
                           << "abc";
    QTest::newRow("empty") << ""
                           << "\"\"";
    QTest::newRow("comma") << "a,b"
                           << "\"a,b\"";
    QTest::newRow("space") << "a b"
                           << "\"a b\"";
    QTest::newRow("quote doubled") << "say \"hi\""
                                   << "\"say \"\"hi\"\"\"";
    QTest::newRow("CR LF becomes a space") << "a\r\nb"
                                           << "\"a b\"";
    QTest::newRow("lone LF kept, quoted") << "a\nb"
                                          << "\"a\nb\"";
    QTest::newRow("tab") << "a\tb"
                         << "\"a\tb\"";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Zoë") << QString::fromUtf8("Zoë");
}

void TestXmlRpcDataSet::csvQuoting() {
    QFETCH(QString, value);
    QFETCH(QString, written);
    TCSWriter writer;
    writer.WriteValue(QStringLiteral("x"));
    writer.WriteValue(value);
    writer.EndLine();
    QCOMPARE(writer.Text(), QStringLiteral("x,") + written + QStringLiteral("\r\n"));
}

void TestXmlRpcDataSet::csvKeepsPosition() {
    TRpcClientParser parser;
    const auto table = XmlToDataSet(parser
                                        .ParseResponse(testsupport::ReadFile(
                                            testsupport::DataPath("payroll/dataset_clients.xml")))
                                        ->AsStruct());
    QVERIFY(table);
    table->Last();
    DataSetToCsv(*table);
    QCOMPARE(table->RecNo(), 1);
    QVERIFY(!table->ControlsDisabled());
}

QTEST_GUILESS_MAIN(TestXmlRpcDataSet)
#include "tst_xmlrpcdataset.moc"
