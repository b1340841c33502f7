// The XML-RPC client: the response parser and the caller that posts a
// method call to the payroll service and reads its answer.
#pragma once

#include "table/MemTable.h"
#include "payroll/xmlrpc/XmlRpcTransport.h"
#include "payroll/xmlrpc/XmlRpcTypes.h"

#include <QByteArray>
#include <QString>
#include <memory>

// The answer to a query: the table when the answer was read straight into
// one, else the result as ParseResponse reads it.
struct TRpcDataSetAnswer {
    std::unique_ptr<TMemTable> Table;
    IRpcResultPtr Result;
};

// Builds an IRpcResult from a response text. Empty answers, answers that are
// not well-formed XML, that declare a DOCTYPE or nest too deep come back as
// fault results (600, 601); only values that do not convert, and a fault
// struct without "faultString", throw.
class TRpcClientParser {
public:
    static constexpr qint32 kFaultEmptyResponse = 600;
    static constexpr qint32 kFaultInvalidPayload = 601;
    // Far beyond any answer of the service, far below a stack or memory risk.
    static constexpr int kMaxElementDepth = 128;

    IRpcResultPtr ParseResponse(const QByteArray& response);
    // For answers that become tables: the table straight from the text when
    // the answer has the service's layout, else the result.
    TRpcDataSetAnswer ParseDataSetResponse(const QByteArray& response);

    // Replaces empty "string" and "value" elements by "[NULL]" before the
    // scan, so that they arrive as empty strings.
    bool MarkEmptyValues = true;
    // Reads answers with the fast scanner where it can, with expat where it
    // gives up; off, with expat alone (what the scanner is measured against).
    bool FastScan = true;
};

// Replaces, ignoring letter case, "<string></string>", "<string></nil></string>"
// and "<string></null></string>" by "<string>[NULL]</string>", and the same
// forms of "value" by "<value>[NULL]</value>".
QByteArray MarkEmptyRpcValues(const QByteArray& text);

class TRpcCaller : public TRpcClientParser {
public:
    TRpcCaller() = default;
    explicit TRpcCaller(TRpcTransportSettings settings) : m_settings(std::move(settings)) {}

    TRpcTransportSettings& Settings() { return m_settings; }
    const TRpcTransportSettings& Settings() const { return m_settings; }

    // Posts the call, parses the answer and clears the call object. A
    // transport failure throws ERpcTransportError and leaves the call as it was.
    IRpcResultPtr ExecuteCall(const IRpcFunctionPtr& call);
    // The same for a call whose answer becomes a table.
    TRpcDataSetAnswer ExecuteDataSetCall(const IRpcFunctionPtr& call);
    // methodName: named in the message of a call past its deadline.
    QByteArray PostRequest(const QByteArray& request, const QString& methodName = QString());

private:
    TRpcTransportSettings m_settings;
};
