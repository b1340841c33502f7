#include "runs/RunContext.h"

#include "payroll/OrvDirectReportSource.h"

TOrvAPIEnvironment TRunContext::OrvaneEnvironment() const {
    TOrvAPIEnvironment environment = Orvane;
    environment.Cancel = Cancel.get();
    environment.ShowFailure = ShowFailure;
    return environment;
}

IDirectReportSourcePtr TRunContext::OpenDirectSource(const TDirectSourceOptions& options) {
    return DirectSource ? DirectSource(options, *this) : OrvaneReportSource(*this, options);
}

IDirectReportSourcePtr OrvaneReportSource(TRunContext& context,
                                          const TDirectSourceOptions& options) {
    TOrvDirectReportSourceServices services;
    services.ConnectionParam = options.Connection;
    services.SelectedPayrolls = options.Payrolls;
    services.Environment = context.OrvaneEnvironment();
    services.Wait.PollIntervalMs = context.ReportPollIntervalMs;
    services.Wait.Wait = context.PollWait;
    services.Progress = context.Progress.get();
    services.Session = options.Session;
    return std::make_shared<TOrvDirectReportSource>(context.Logger, std::move(services));
}
