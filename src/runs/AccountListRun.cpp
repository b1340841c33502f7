#include "runs/AccountListRun.h"

void TAccountListRun::FetchAccountList(TRunContext& context) {
    const TWaitGuard wait(*context.Progress,
                          QStringLiteral("Getting Account list from QuickBooks"));
    QStringList names;
    {
        const std::unique_ptr<TQBConnection> connection = context.ConnectQB(context.Logger);
        connection->GetAccountFullNames(names);
    }
    // QuickBooks' answer is not taken once the user has cancelled.
    if (context.Cancel->StopHere()) {
        context.Logger->LogWarning(QStringLiteral("User cancelled operation"));
        throw EOperationCancelled();
    }
    m_names = names;
}
