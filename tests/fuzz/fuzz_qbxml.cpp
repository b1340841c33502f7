// QuickBooks' answers: any text, read as the answer to request sets of each
// kind of request the program sends, and as a stored answer.
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "base/ztExceptions.h"
#include "quickbooks/QBXml.h"

#include <functional>

ORVQ_FUZZ_TARGET(qbxml) {
    const QString text = QString::fromUtf8(fuzz::Bytes(data, size));
    const std::function<void(TMsgSetRequest&)> sets[] = {
        [](TMsgSetRequest& s) { s.AppendAccountQueryRq(); },
        [](TMsgSetRequest& s) {
            s.AppendClassQueryRq();
            s.AppendCustomerQueryRq();
            s.AppendEmployeeQueryRq();
        },
        [](TMsgSetRequest& s) {
            s.AppendCheckQueryRq();
            s.AppendDepositQueryRq();
            s.AppendJournalEntryQueryRq();
        },
        [](TMsgSetRequest& s) {
            s.AppendCheckAddRq();
            s.AppendDepositAddRq();
            s.AppendJournalEntryAddRq();
        },
        [](TMsgSetRequest& s) {
            s.AppendTxnVoidRq();
            s.AppendClearedStatusModRq();
        },
    };
    for (const auto& build : sets) {
        TMsgSetRequest request(QStringLiteral("US"), 7, 0);
        build(request);
        for (const bool stored : {false, true}) {
            try {
                const auto response = stored ? ReadQBStoredResponseSet(text, request)
                                             : ReadQBResponseSet(text, request);
                FUZZ_CHECK(response != nullptr);
                FUZZ_CHECK(response->Count() == request.Count() ||
                           (stored && response->Count() == 0));
            } catch (const EztException&) {
                // The reason the answer could not be read.
            }
        }
    }
}
