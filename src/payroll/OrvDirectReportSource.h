// The payroll service as the report source of the export runs: the selected
// payrolls' report is run as a server task and awaited on the run's thread,
// as the run's stage "Please wait while Orvane generates ... report".
#pragma once

#include "export/ReportSource.h"
#include "payroll/OrvReportWait.h"

#include <functional>

// The report definitions of the fetches.
TOrvReportDef ChecksReportDef(const TOrvPayrollsDef& selection, TReportKind kind);
TOrvReportDef GLReportDef(const TOrvPayrollsDef& selection, const TQBGLExportParam& options);

struct TOrvDirectReportSourceServices {
    // The connection settings and the payroll selection the run was given.
    TOrvAPIConnectionParam ConnectionParam;
    TOrvPayrollsDef SelectedPayrolls;
    // The certificates, the run's cancel and where a failure is shown; the
    // wait takes the cancel and the failure display from here.
    TOrvAPIEnvironment Environment;
    TOrvReportWaitOptions Wait;
    // Where the report wait is shown; none: nowhere.
    IRunProgress* Progress = nullptr;
    // A session the fetches borrow, left logged in; none: each fetch logs in
    // with ConnectionParam and out again.
    IOrvAPIConnectionPtr Session;
};

class TOrvDirectReportSource : public IDirectReportSource {
public:
    TOrvDirectReportSource(ICommonLoggerPtr logger, TOrvDirectReportSourceServices services);

    TFetchedReport FetchChecksReport(TReportKind kind) override;
    TFetchedReport FetchGLReport(const TQBGLExportParam& options) override;
    bool LastFetchCancelled() const override { return m_cancelled; }

private:
    using TBuildDef = std::function<TOrvReportDef(const TOrvPayrollsDef&)>;
    TFetchedReport Fetch(const TBuildDef& build, const QString& waitText);

    ICommonLoggerPtr m_logger;
    TOrvDirectReportSourceServices m_services;
    bool m_cancelled = false;
};
