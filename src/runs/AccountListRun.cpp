#include "runs/AccountListRun.h"

#include "runs/CompanyGuard.h"

void TAccountListRun::FetchAccountList(TRunContext& context) {
    const TWaitGuard wait(*context.Progress,
                          QStringLiteral("Getting Account list from QuickBooks"));
    QStringList names;
    {
        const std::unique_ptr<TQBConnection> connection = context.ConnectQB(context.Logger);
        // The pages show from the start where their runs will post.
        ShowOpenCompany(context, *connection);
        connection->GetAccountFullNames(names);
    }
    // QuickBooks' answer is not taken once the user has cancelled.
    if (context.Cancel->StopHere()) {
        context.Logger->LogWarning(QStringLiteral("User cancelled operation"));
        throw EOperationCancelled();
    }
    m_names = names;
}
