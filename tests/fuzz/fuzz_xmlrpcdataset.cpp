// Query answers: read straight into a table, or through the value tree and
// XmlToDataSet with expat alone, every text gives the same table, fault or
// error; the table then writes as comma-separated text.
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "RpcTestSupport.h"
#include "payroll/xmlrpc/XmlRpcClient.h"
#include "payroll/xmlrpc/XmlRpcDataSet.h"

ORVQ_FUZZ_TARGET(xmlrpcdataset) {
    const QByteArray text = fuzz::Bytes(data, size);
    FUZZ_CHECK(rpctest::DataSetOutcome(text, true) == rpctest::DataSetOutcome(text, false));
    TRpcClientParser parser;
    try {
        if (std::unique_ptr<TMemTable> table = parser.ParseDataSetResponse(text).Table)
            FUZZ_CHECK(DataSetToCsv(*table).endsWith(QLatin1String("\r\n")));
    } catch (const EztException&) {
        // A value that does not convert.
    }
}
