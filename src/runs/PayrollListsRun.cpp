#include "runs/PayrollListsRun.h"

#include <QThread>

TPayrollListsRun::TPayrollListsRun(TPayrollListsOptions options)
    : m_options(std::move(options)), m_owner(QThread::currentThread()) {}

void TPayrollListsRun::LoadPayrollList(TRunContext& context) {
    const TOrvAPIEnvironment environment = context.OrvaneEnvironment();
    TOrvPayrollLists lists(environment.Redirection);
    try {
        lists.LoadPayrollList(m_options.Connection, context.Logger, *context.Progress,
                              m_options.From, m_options.To, environment);
    } catch (const EOperationCancelled&) {
        context.Logger->LogWarning(QStringLiteral("User cancelled operation"));
        throw;
    }
    m_tables = lists.TakeTables(m_owner);
}
