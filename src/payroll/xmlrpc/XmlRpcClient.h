// The XML-RPC client: the response parser and the caller that posts a
// method call to the payroll service and reads its answer.
#pragma once

#include "payroll/xmlrpc/XmlRpcTransport.h"
#include "payroll/xmlrpc/XmlRpcTypes.h"

#include <QByteArray>
#include <QString>

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

    // Replaces empty "string" and "value" elements by "[NULL]" before the
    // scan, so that they arrive as empty strings.
    bool MarkEmptyValues = true;
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
    QByteArray PostRequest(const QByteArray& request);

private:
    TRpcTransportSettings m_settings;
};
