// Query results of the payroll service as in-memory tables, and tables as
// comma-separated text for the developer log.
#pragma once

#include "table/MemTable.h"
#include "payroll/xmlrpc/XmlRpcTypes.h"

#include <memory>

// The field kind of a column type code ("tp"); fkUnknown for other codes.
TMemFieldKind FieldKindOfTypeCode(qint32 code);

// A new open table from a result struct {"DATASET": {"meta": ..., "val": ...}};
// nullptr when the struct does not have that layout. Bad values throw (the
// XML-RPC errors, "Key [%s] not found", the table's errors); no partly built
// table is ever returned.
std::unique_ptr<TMemTable> XmlToDataSet(const IRpcStructPtr& result);

// A query answer of the layout the service writes, read straight into a
// table without a value tree; nullptr for any other answer (a fault, another
// layout, a value that does not convert, text only expat reads), which
// ParseResponse and XmlToDataSet then read as before. Where it returns a
// table, that is the table XmlToDataSet makes of ParseResponse's result.
std::unique_ptr<TMemTable> StreamDataSetResponse(const QByteArray& response, bool markEmptyValues);

// Field names, then one line per visible record; CR LF after every line.
QString DataSetToCsv(TMemTable& table);

// Comma-separated values: quotes doubled, CR LF pairs as one space, values
// quoted when empty or holding a control character, space, quote or comma.
class TCSWriter {
public:
    void WriteValue(const QString& value);
    void EndLine();
    const QString& Text() const { return m_text; }

private:
    QString m_text;
    bool m_lineStarted = false;
};
