#include "RpcTestSupport.h"

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
