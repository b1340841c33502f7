#include "RpcTestSupport.h"

#include "payroll/xmlrpc/XmlRpcClient.h"
#include "payroll/xmlrpc/XmlRpcDataSet.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace rpctest {

namespace {
QJsonArray Tagged(const char* tag, const QJsonValue& value) {
    return QJsonArray{QString::fromLatin1(tag), value};
}
} // namespace

QJsonValue Canon(const IRpcCustomItem& item) {
    switch (item.DataType()) {
    case rdtInteger:
        return Tagged("int", item.AsInteger());
    case rdtString:
        return Tagged("str", item.AsString());
    case rdtBoolean:
        return Tagged("bool", item.AsBoolean());
    case rdtFloat:
        return Tagged("double", item.AsFloat());
    case rdtBase64:
        return Tagged("b64hex", QString::fromLatin1(item.AsBase64().toHex()));
    case rdtDateTime:
        return Tagged("date", FormatIso8601(item.AsDateTime()));
    case rdtStruct: {
        QJsonArray members;
        const IRpcStructPtr s = item.AsStruct();
        for (int i = 0; i < s->Count(); ++i)
            members.append(QJsonArray{XmlUnescape(s->KeyList().at(i)), Canon(*s->Item(i))});
        return Tagged("struct", members);
    }
    case rdtArray:
        return Tagged("array", CanonParams(*item.AsArray()));
    case rdtError: {
        const auto& result = dynamic_cast<const IRpcResult&>(item);
        return QJsonArray{QStringLiteral("fault"), result.FaultCode(), result.FaultString()};
    }
    case rdtNone:
        break;
    }
    return QJsonArray{QStringLiteral("none")};
}

QJsonValue CanonParams(const IRpcCustomArray& params) {
    QJsonArray items;
    for (int i = 0; i < params.Count(); ++i)
        items.append(Canon(*params.Item(i)));
    return items;
}

QString RawText(const IRpcCustomItem& item) {
    switch (item.DataType()) {
    case rdtInteger:
        return QStringLiteral("int ") + QString::number(item.AsInteger());
    case rdtString:
        return QStringLiteral("str ") + item.AsRawString();
    case rdtBoolean:
        return item.AsBoolean() ? QStringLiteral("true") : QStringLiteral("false");
    case rdtFloat:
        return QStringLiteral("double ") + QString::number(item.AsFloat(), 'g', 17);
    case rdtBase64:
        return QStringLiteral("base64 ") + item.AsRawBase64();
    case rdtDateTime:
        return QStringLiteral("date ") + item.AsDateTime().toString(Qt::ISODateWithMs);
    case rdtStruct: {
        QString text = QStringLiteral("struct{");
        if (const IRpcStructPtr s = item.AsStruct()) {
            for (int i = 0; i < s->Count(); ++i)
                text += s->KeyList().at(i) + u'=' + RawText(*s->Item(i)) + u';';
        }
        return text + u'}';
    }
    case rdtArray: {
        QString text = QStringLiteral("array[");
        if (const IRpcArrayPtr a = item.AsArray()) {
            for (int i = 0; i < a->Count(); ++i)
                text += RawText(*a->Item(i)) + u';';
        }
        return text + u']';
    }
    case rdtError: {
        const auto& result = dynamic_cast<const IRpcResult&>(item);
        return QStringLiteral("fault %1 %2").arg(result.FaultCode()).arg(result.FaultString());
    }
    case rdtNone:
        break;
    }
    return QStringLiteral("none");
}

QString TableText(const TMemTable& table) {
    QString text;
    for (int f = 0; f < table.FieldCount(); ++f) {
        const TMemFieldDef& def = table.Field(f);
        text += QStringLiteral("%1 kind %2 size %3%4\n")
                    .arg(def.Name)
                    .arg(int(def.Kind))
                    .arg(def.Size)
                    .arg(def.Required ? QStringLiteral(" required") : QString());
    }
    for (int r = 0; r < table.RecordCount(); ++r) {
        for (int f = 0; f < table.FieldCount(); ++f) {
            const QVariant& value = table.ValueAt(r, f);
            if (!value.isValid())
                text += QStringLiteral("null");
            else if (value.typeId() == QMetaType::Double)
                text += QString::number(value.toDouble(), 'g', 17);
            else if (value.typeId() == QMetaType::QByteArray)
                text += QString::fromLatin1(value.toByteArray().toHex());
            else
                text += QString::fromUtf8(value.typeName()) + u' ' + value.toString();
            text += u'|';
        }
        text += u'\n';
    }
    return text;
}

QString ResponseOutcome(const QByteArray& response, bool fastScan) {
    TRpcClientParser parser;
    parser.FastScan = fastScan;
    try {
        return RawText(*parser.ParseResponse(response));
    } catch (const EztException& e) {
        return QStringLiteral("error: ") + e.Message();
    }
}

QString DataSetOutcome(const QByteArray& response, bool fastScan) {
    TRpcClientParser parser;
    parser.FastScan = fastScan;
    try {
        TRpcDataSetAnswer answer = parser.ParseDataSetResponse(response);
        if (!answer.Table) {
            if (answer.Result->IsError())
                return RawText(*answer.Result);
            answer.Table = XmlToDataSet(answer.Result->AsStruct());
        }
        return answer.Table ? TableText(*answer.Table) : QStringLiteral("no table");
    } catch (const EztException& e) {
        return QStringLiteral("error: ") + e.Message();
    }
}

QString CanonText(const QJsonValue& value) {
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return QString::fromUtf8(doc.toJson(QJsonDocument::Compact));
}

const char* const kPythonCanon = R"PY(
import base64, json, sys, xmlrpc.client as X
def canon(v):
    if isinstance(v, bool): return ["bool", v]
    if isinstance(v, int): return ["int", v]
    if isinstance(v, float): return ["double", v]
    if isinstance(v, str): return ["str", v]
    if isinstance(v, X.Binary): return ["b64hex", v.data.hex()]
    if isinstance(v, X.DateTime): return ["date", v.value]
    if isinstance(v, dict): return ["struct", [[k, canon(x)] for k, x in v.items()]]
    if isinstance(v, (list, tuple)): return ["array", [canon(x) for x in v]]
    if v is None: return ["none"]
    raise TypeError(type(v))
)PY";

QString Python() {
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

QByteArray RunPython(const QString& script, const QByteArray& input, QString* error) {
    QProcess process;
    process.start(Python(), {QStringLiteral("-c"), script});
    if (!process.waitForStarted(30000)) {
        *error = QStringLiteral("python3 did not start");
        return QByteArray();
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        *error =
            QStringLiteral("python3 failed: ") + QString::fromUtf8(process.readAllStandardError());
        return QByteArray();
    }
    error->clear();
    return process.readAllStandardOutput();
}

} // namespace rpctest
