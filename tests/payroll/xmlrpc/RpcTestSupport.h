// Helpers of the XML-RPC tests: a canonical JSON form of values, so that our
// values and Python's can be compared, and running python3.
#pragma once

#include "table/MemTable.h"
#include "payroll/xmlrpc/XmlRpcTypes.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>

namespace rpctest {

// ["int", 5], ["str", "x"], ["bool", true], ["double", 1.5],
// ["b64hex", "00ff"], ["date", "20260131T07:05:09"], ["none"],
// ["struct", [[name, value], ...]], ["array", [value, ...]],
// ["fault", code, text].
QJsonValue Canon(const IRpcCustomItem& item);
QJsonValue CanonParams(const IRpcCustomArray& params);
QString CanonText(const QJsonValue& value);

// The same canonical form, written by Python for its own values.
extern const char* const kPythonCanon;

// Every detail of a value as stored: kinds, raw (escaped) strings and names,
// encoded base64, doubles to the last bit.
QString RawText(const IRpcCustomItem& item);
// A table's fields (name, kind, size, required) and every value with its
// type, null apart from empty.
QString TableText(const TMemTable& table);
// What an answer becomes: ParseResponse's result in RawText, or the error.
QString ResponseOutcome(const QByteArray& response, bool fastScan);
// What a query answer becomes, read as the connection reads it: the table in
// TableText, the fault, "no table", or the error.
QString DataSetOutcome(const QByteArray& response, bool fastScan);

// Path of python3, or empty when it is not installed.
QString Python();
// Runs python3 with the script, feeding stdin; a failure (start, exit code)
// is described in *error.
QByteArray RunPython(const QString& script, const QByteArray& input, QString* error);

} // namespace rpctest
