// Answers of the payroll service: the fast scanner and expat alone must
// read every text to the same result or the same error, with empty values
// marked and without.
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "RpcTestSupport.h"
#include "payroll/xmlrpc/XmlRpcClient.h"

namespace {

QString Outcome(const QByteArray& text, bool markEmptyValues, bool fastScan) {
    TRpcClientParser parser;
    parser.MarkEmptyValues = markEmptyValues;
    parser.FastScan = fastScan;
    try {
        return rpctest::RawText(*parser.ParseResponse(text));
    } catch (const EztException& e) {
        return QStringLiteral("error: ") + e.Message();
    }
}

} // namespace

ORVQ_FUZZ_TARGET(xmlrpcresponse) {
    const QByteArray text = fuzz::Bytes(data, size);
    for (const bool mark : {true, false})
        FUZZ_CHECK(Outcome(text, mark, true) == Outcome(text, mark, false));
}
