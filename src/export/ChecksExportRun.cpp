#include "export/ChecksExportRun.h"

#include "base/vlxGlobalWaitIndicator.h"
#include "base/vlxTextUtils.h"
#include "reports/ReportFile.h"

QString ChecksRunName(const QString& kindName) {
    return Format("Orvane %s Export", {kindName});
}

TChecksExportRun::TChecksExportRun(ICommonLoggerPtr logger, const IChecksRunInputs& inputs,
                                   IUserDialogs& dialogs, TQBConnectionFactory connectionFactory)
    : m_logger(std::move(logger)), m_inputs(inputs), m_dialogs(dialogs),
      m_connectionFactory(std::move(connectionFactory)) {
    OrvAssert(m_logger != nullptr && m_connectionFactory != nullptr);
}

void TChecksExportRun::RunChecksExport() {
    m_outcomes.clear();
    if (m_inputs.SourceTab() == rstFile) {
        RunKind(rkFile);
        return;
    }
    switch (m_inputs.CheckKindChoice()) {
    case crcAllChecks:
        RunKind(rkEmployee);
        RunKind(rkAgency);
        break;
    case crcAgencyChecks:
        RunKind(rkAgency);
        break;
    default:
        RunKind(rkEmployee);
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

void TChecksExportRun::RunKind(TRunKind kind) {
    ICommonLogger& logger = *m_logger;
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
        IDirectReportSource* source = nullptr;
        // Named with the line in the message of a line that fails.
        QString reportName = Format("Orvane %s report", {kindName});
        if (kind == rkFile) {
            const QString path = m_inputs.FileName();
            reportName = path;
            logger.LogContextItem(QStringLiteral("Orvane Checks file"), path);
            const QString text = TextReportOrEmpty(ReadReportFile(path));
            logger.LogDebug(QStringLiteral("Orvane Checks file"), text);
            report = text;
        } else {
            source = m_inputs.DirectSource();
            if (!source)
                throw EztException(QStringLiteral(
                    "Reports cannot be fetched from Orvane here. Export a report file instead."));
            report = source->FetchChecksReport(kind == rkEmployee ? cfkEmployee : cfkAgency);
        }

        AddReportPiece(kindName, report.value_or(QString()));
        if (!report) {
            EndRunWithoutReport(logger, m_dialogs, source, runName);
            return;
        }
        // The service writes a placeholder line for payrolls that paid no
        // agency: nothing to post, and nothing wrong.
        if (kind == rkAgency && IsEmptyAgencyReport(*report)) {
            const QString none = QStringLiteral("No agency checks in this payroll");
            m_outcomes.push_back({runName, {}, runName + QStringLiteral(": ") + none});
            logger.LogEvent(none);
            m_dialogs.ShowInformation(none);
            return;
        }

        TChecksExportResult result;
        {
            TWaitGuard wait(WaitIndicator(), QStringLiteral("Creating QuickBooks Transactions"));
            // Declared after the wait guard: freed before the wait ends.
            const std::unique_ptr<TQBConnection> connection = m_connectionFactory(m_logger);
            const TCheckRecords records =
                ParseChecksReport(logger, *report, parserKind, reportName);
            result = ExportChecks(*connection, records, m_inputs.ChecksExportParam());
        }

        const QString message = runName + u' ' + FormatChecksExportResult(result);
        m_outcomes.push_back({runName, result, message});
        if (result.Errors > 0) {
            logger.LogWarning(message);
            m_dialogs.ShowError(message);
        } else {
            // The counts tell a run that added checks from one that found
            // them all there.
            logger.LogEvent(message);
            m_dialogs.ShowInformation(message);
        }
    } catch (...) {
        logger.PassthroughExceptionAndWarnFmt(QStringLiteral("%s failed"), {runName});
    }
}
