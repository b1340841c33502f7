#include "runs/ExportRunSteps.h"

IDirectReportSourcePtr OpenDirectReportSource(TRunContext& context,
                                              const TReportSourceOptions& source) {
    if (!source.Direct)
        throw EztException(QStringLiteral(
            "Reports cannot be fetched from Orvane here. Export a report file instead."));
    return context.OpenDirectSource(*source.Direct);
}

void LogRunCancelled(ICommonLogger& logger, const QString& runName) {
    logger.LogWarning(QStringLiteral("User cancelled operation"));
    logger.LogWarning(runName + QStringLiteral(" failed"));
}
