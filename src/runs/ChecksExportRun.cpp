#include "runs/ChecksExportRun.h"

#include "base/vlxTextUtils.h"
#include "reports/ReportFile.h"
#include "runs/ExportRunSteps.h"

QString ChecksRunName(const QString& kindName) {
    return Format("Orvane %s Export", {kindName});
}

TChecksExportRun::TChecksExportRun(TChecksRunOptions options) : m_options(std::move(options)) {}

void TChecksExportRun::RunChecksExport(TRunContext& context) {
    OrvAssert(context.Logger != nullptr && context.ConnectQB != nullptr &&
              context.Dialogs != nullptr);
    m_outcomes.clear();
    if (m_options.Source.Tab == rstFile) {
        RunKind(context, rkFile);
        return;
    }
    switch (m_options.CheckKindChoice) {
    case crcAllChecks:
        RunKind(context, rkEmployee);
        // A cancel the employee report's wait took leaves the agency report
        // to fetch; any other stops here.
        if (!context.Cancel->Cancelled())
            RunKind(context, rkAgency);
        break;
    case crcAgencyChecks:
        RunKind(context, rkAgency);
        break;
    default:
        RunKind(context, rkEmployee);
        break;
    }
}

void TChecksExportRun::AddReportPiece(const QString& kindName, const QString& text) {
    const QString piece = text.trimmed().isEmpty()
                              ? Format("Orvane %s report is empty", {kindName})
                              : Format("Orvane %s report:", {kindName}) + u"\r\n" + text;
    if (!m_reportText.trimmed().isEmpty())
        m_reportText += QChar(12) + piece;
    else
        m_reportText = piece;
}

void TChecksExportRun::RunKind(TRunContext& context, TRunKind kind) {
    ICommonLogger& logger = *context.Logger;
    const QString kindName = kind == rkEmployee ? QStringLiteral("Employee Checks")
                             : kind == rkAgency ? QStringLiteral("Agency Checks")
                                                : QStringLiteral("Checks");
    const TChecksReportKind parserKind = kind == rkEmployee ? crkEmployee
                                         : kind == rkAgency ? crkAgency
                                                            : crkEither;
    const QString runName = ChecksRunName(kindName);

    TLogBlockGuard block(logger, runName);
    try {
        logger.LogEvent(runName + QStringLiteral(" started"));

        TFetchedReport report;
        IDirectReportSourcePtr direct;
        IDirectReportSource* source = nullptr;
        // Named with the line in the message of a line that fails.
        QString reportName = Format("Orvane %s report", {kindName});
        if (kind == rkFile) {
            const QString& path = m_options.Source.FileName;
            reportName = path;
            logger.LogContextItem(QStringLiteral("Orvane Checks file"), path);
            const QString text = TextReportOrEmpty(ReadReportFile(path));
            logger.LogDebug(QStringLiteral("Orvane Checks file"), text);
            report = text;
        } else {
            direct = OpenDirectReportSource(context, m_options.Source);
            source = direct.get();
            report = source->FetchChecksReport(kind == rkEmployee ? cfkEmployee : cfkAgency);
        }

        AddReportPiece(kindName, report.value_or(QString()));
        if (!report) {
            EndRunWithoutReport(logger, *context.Dialogs, source, runName);
            return;
        }
        // The service writes a placeholder line for payrolls that paid no
        // agency: nothing to post, and nothing wrong.
        if (kind == rkAgency && IsEmptyAgencyReport(*report)) {
            const QString none = QStringLiteral("No agency checks in this payroll");
            m_outcomes.push_back({runName, {}, runName + QStringLiteral(": ") + none});
            logger.LogEvent(none);
            context.Dialogs->ShowInformation(none);
            return;
        }
        // Nothing is opened for a run cancelled meanwhile.
        context.Cancel->CheckPoint();

        TChecksExportResult result;
        {
            TWaitGuard wait(*context.Progress, QStringLiteral("Creating QuickBooks Transactions"));
            // Declared after the wait guard: freed before the wait ends.
            const std::unique_ptr<TQBConnection> connection = context.ConnectQB(context.Logger);
            const TCheckRecords records =
                ParseChecksReport(logger, *report, parserKind, reportName);
            result = ExportChecks(*connection, records, m_options.Checks, context.Watch());
        }

        const QString message = runName + u' ' + FormatChecksExportResult(result);
        m_outcomes.push_back({runName, result, message});
        if (result.Cancelled) {
            logger.LogWarning(QStringLiteral("User cancelled operation"));
            logger.LogWarning(message);
            context.Dialogs->ShowInformation(message);
        } else if (result.Errors > 0) {
            logger.LogWarning(message);
            context.Dialogs->ShowError(message);
        } else {
            // The counts tell a run that added checks from one that found
            // them all there.
            logger.LogEvent(message);
            context.Dialogs->ShowInformation(message);
        }
    } catch (const EOperationCancelled&) {
        LogRunCancelled(logger, runName);
    } catch (...) {
        logger.PassthroughExceptionAndWarnFmt(QStringLiteral("%s failed"), {runName});
    }
}
