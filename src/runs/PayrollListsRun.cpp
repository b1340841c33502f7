#include "runs/PayrollListsRun.h"

#include <QThread>

namespace {

// Loads into lists of the run's own; a cancel is logged as the user's.
template <typename Load> void LoadLists(TRunContext& context, Load load) {
    try {
        load();
    } catch (const EOperationCancelled&) {
        context.Logger->LogWarning(QStringLiteral("User cancelled operation"));
        throw;
    }
}

} // namespace

TPayrollListsRun::TPayrollListsRun(TPayrollListsOptions options)
    : m_options(std::move(options)), m_owner(QThread::currentThread()) {}

void TPayrollListsRun::LoadPayrollList(TRunContext& context) {
    const TOrvAPIEnvironment environment = context.OrvaneEnvironment();
    TOrvPayrollLists lists(environment.Redirection);
    LoadLists(context, [&] {
        lists.LoadPayrollList(m_options.Connection, context.Logger, *context.Progress,
                              m_options.From, m_options.To, environment);
    });
    m_tables = lists.TakeTables(m_owner);
}

QList<TOrvCompanyDef> LoadOrvaneCompanies(TRunContext& context,
                                          const TOrvAPIConnectionParam& connection) {
    const TOrvAPIEnvironment environment = context.OrvaneEnvironment();
    TOrvPayrollLists lists(environment.Redirection);
    LoadLists(context, [&] {
        TRunStageProgress progress(*context.Progress);
        lists.LoadCompanies(*CreateOrvAPIConnection(connection, context.Logger, environment),
                            progress);
    });
    return lists.CompanyList();
}
