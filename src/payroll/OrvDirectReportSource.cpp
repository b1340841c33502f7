#include "payroll/OrvDirectReportSource.h"

#include "base/ztFormat.h"

namespace {

const QString kWaitFormat = QStringLiteral("Please wait while Orvane generates %s report");

// The report wait as a stage of the run, for as long as it lives.
class TReportWaitStage {
public:
    TReportWaitStage(IRunProgress* progress, const QString& message) : m_progress(progress) {
        if (m_progress)
            m_progress->StartReportWait(message);
    }
    ~TReportWaitStage() {
        try {
            if (m_progress)
                m_progress->EndWait();
        } catch (...) {
        }
    }
    TReportWaitStage(const TReportWaitStage&) = delete;
    TReportWaitStage& operator=(const TReportWaitStage&) = delete;

private:
    IRunProgress* m_progress;
};

} // namespace

TOrvReportDef ChecksReportDef(const TOrvPayrollsDef& selection, TReportKind kind) {
    TOrvReportDef report;
    report.Params = ReportParamsFromPayrolls(selection);
    report.ReportType = QStringLiteral("S");
    report.ReportNumber = kind == rkAgencyChecks ? 1911 : 1910;
    return report;
}

TOrvReportDef GLReportDef(const TOrvPayrollsDef& selection, const TQBGLExportParam& options) {
    TOrvReportDef report;
    report.Params = ReportParamsFromPayrolls(selection);
    report.Params->AddItem(QStringLiteral("Format"), qint32(1));
    report.Params->AddItem(QStringLiteral("bExcludeManualChecks"), options.ExcludeManualChecks);
    report.Params->AddItem(QStringLiteral("bBillingByDBDT"), options.SplitBillingByDBDT);
    report.ReportType = QStringLiteral("S");
    report.ReportNumber = 348;
    return report;
}

TOrvDirectReportSource::TOrvDirectReportSource(ICommonLoggerPtr logger,
                                               TOrvDirectReportSourceServices services)
    : m_logger(std::move(logger)), m_services(std::move(services)) {
    OrvAssert(m_logger != nullptr);
    m_services.Wait.Cancel = m_services.Environment.Cancel;
    if (!m_services.Wait.ShowFailure)
        m_services.Wait.ShowFailure = m_services.Environment.ShowFailure;
}

TFetchedReport TOrvDirectReportSource::FetchChecksReport(TReportKind kind) {
    const QString name =
        kind == rkAgencyChecks ? QStringLiteral("Agency Checks") : QStringLiteral("Employee Checks");
    return Fetch([kind](const TOrvPayrollsDef& s) { return ChecksReportDef(s, kind); },
                 Format(kWaitFormat, {name}));
}

TFetchedReport TOrvDirectReportSource::FetchGLReport(const TQBGLExportParam& options) {
    return Fetch([options](const TOrvPayrollsDef& s) { return GLReportDef(s, options); },
                 QStringLiteral("Please wait while Orvane generates GL Report"));
}

TFetchedReport TOrvDirectReportSource::Fetch(const TBuildDef& build, const QString& waitText) {
    m_cancelled = false;
    const TOrvPayrollsDef& selection = m_services.SelectedPayrolls;
    LogPayrollsDef(*m_logger, selection);
    const TOrvReportDef report = build(selection);
    // A connection of its own is released when the fetch ends, also on
    // failure; releasing logs out.
    const IOrvAPIConnectionPtr connection =
        m_services.Session
            ? m_services.Session
            : CreateOrvAPIConnection(m_services.ConnectionParam, m_logger, m_services.Environment);
    const TReportWaitStage wait(m_services.Progress, waitText);
    return RunReportAndWait(m_logger, connection, report, m_services.Wait, &m_cancelled);
}
