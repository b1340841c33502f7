// Where a run takes its report from. The export page implements these: the
// source tab, the file box, and the direct source that has the payroll
// service produce the report. Each run adds its own options on top of
// IReportSource (the checks run its kind choice and checks options, the GL
// run its GL options).
#pragma once

#include "export/UserDialogs.h"
#include "ledger/ReportKind.h"
#include "logging/vlxcommonlogger.h"
#include "settings/QBDecl.h"

#include <QString>
#include <memory>
#include <optional>

// The source tabs in page order.
enum TReportSourceTab { rstDirectConnection = 0, rstFile = 1 };

// A fetched report: its text (possibly empty), or nothing when the server
// task failed or the user cancelled. The runs treat the two differently.
using TFetchedReport = std::optional<QString>;

// The payroll service as a report source; it logs into the run's block.
class IDirectReportSource {
public:
    virtual ~IDirectReportSource() = default;
    virtual TFetchedReport FetchChecksReport(TReportKind kind) = 0;
    virtual TFetchedReport FetchGLReport(const TQBGLExportParam& options) = 0;
    // True when the last fetch gave nothing because the user cancelled it.
    virtual bool LastFetchCancelled() const { return false; }
};
using IDirectReportSourcePtr = std::shared_ptr<IDirectReportSource>;

class IReportSource {
public:
    virtual ~IReportSource() = default;
    virtual TReportSourceTab SourceTab() const = 0;
    // The path in the file box, trimmed of blanks.
    virtual QString FileName() const = 0;
    // The direct source; null where there is none (the command line). A run
    // on the direct tab without one fails with a clear message.
    virtual IDirectReportSource* DirectSource() const = 0;
};

// A fetch that gave nothing ends the run: logged as its failure, and a
// cancel is told to the user, who would otherwise not know what became of
// the run.
inline void EndRunWithoutReport(ICommonLogger& logger, IUserDialogs& dialogs,
                                const IDirectReportSource* source, const QString& runName) {
    logger.LogWarning(runName + QStringLiteral(" failed"));
    if (source && source->LastFetchCancelled())
        dialogs.ShowInformation(runName + QStringLiteral(" was cancelled: nothing was posted"));
}
