// The payroll service as the report source of the export runs: the selected
// payrolls' report is run as a server task behind the report wait window.
#pragma once

#include "export/ReportSource.h"
#include "payroll/OrvReportWait.h"

#include <functional>

// The report definitions of the fetches.
TOrvReportDef ChecksReportDef(const TOrvPayrollsDef& selection, TChecksFetchKind kind);
TOrvReportDef GLReportDef(const TOrvPayrollsDef& selection, const TQBGLExportParam& options);

struct TOrvDirectReportSourceServices {
    // The connection panel's settings, read at each fetch.
    std::function<TOrvAPIConnectionParam()> ConnectionParam;
    // The payroll selection panel's choice, read at each fetch.
    std::function<TOrvPayrollsDef()> SelectedPayrolls;
    // A report wait window over the page (the window program's:
    // OrvWaitWindowFactory of ui/OrvWaitForm.h).
    TOrvReportWaitWindowFactory CreateWaitWindow;
    TOrvAPIEnvironment Environment;
    TOrvReportWaitTimings Timings;
};

class TOrvDirectReportSource : public IDirectReportSource {
public:
    TOrvDirectReportSource(ICommonLoggerPtr logger, TOrvDirectReportSourceServices services);

    TFetchedReport FetchChecksReport(TChecksFetchKind kind) override;
    TFetchedReport FetchGLReport(const TQBGLExportParam& options) override;
    bool LastFetchCancelled() const override { return m_cancelled; }

private:
    using TBuildDef = std::function<TOrvReportDef(const TOrvPayrollsDef&)>;
    TFetchedReport Fetch(const TBuildDef& build, const QString& waitText);

    ICommonLoggerPtr m_logger;
    TOrvDirectReportSourceServices m_services;
    bool m_cancelled = false;
};
