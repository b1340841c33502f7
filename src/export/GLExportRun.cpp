#include "export/GLExportRun.h"

#include "base/RegionalSettings.h"
#include "base/vlxGlobalWaitIndicator.h"
#include "base/vlxTextUtils.h"
#include "reports/OrvGLParser.h"
#include "reports/ReportFile.h"

const QString GLExportRunName = QStringLiteral("Orvane Journal Export");

EGLExportAborted::EGLExportAborted()
    : EztException(QStringLiteral("Operation was aborted by user")) {}

TGLExportRun::TGLExportRun(ICommonLoggerPtr logger, const IGLRunInputs& source,
                           IUserDialogs& dialogs, TQBConnectionFactory connect)
    : m_logger(std::move(logger)), m_source(source), m_dialogs(dialogs),
      m_connect(std::move(connect)) {
    OrvAssert(m_logger && m_connect);
}

void TGLExportRun::RunGLExport() {
    ICommonLogger& logger = *m_logger;
    TLogBlockGuard block(logger, GLExportRunName);
    m_exportState = jesDone;
    try {
        m_reportText.clear();
        const TQBGLExportParam options = m_source.GLExportParam();
        LogGLExportParam(logger, options);
        logger.LogEvent(GLExportRunName + QStringLiteral(" started"));

        TFetchedReport report;
        IDirectReportSource* direct = nullptr;
        if (m_source.SourceTab() == rstDirectConnection) {
            direct = m_source.DirectSource();
            if (!direct)
                throw EztException(QStringLiteral(
                    "Reports cannot be fetched from Orvane here. Export a report file instead."));
            report = direct->FetchGLReport(options);
        } else {
            const QString fileName = m_source.FileName();
            logger.LogContextItem(QStringLiteral("Orvane Journal file"), fileName);
            report = TextReportOrEmpty(ReadReportFile(fileName));
        }
        if (!report) {
            EndRunWithoutReport(logger, m_dialogs, direct, GLExportRunName);
            return;
        }
        m_reportText = *report;

        TJournalExportResult exported;
        {
            TWaitGuard wait(WaitIndicator(), QStringLiteral("Creating QuickBooks Transaction"));
            exported = ExportGLReport();
        }
        m_exportState = exported.State;
        if (exported.State != jesDone) {
            // The entry is, or may be, in QuickBooks: "failed" would invite
            // posting it again.
            const QString outcome =
                GLExportRunName + (exported.State == jesNotCleared
                                       ? QStringLiteral(" completed, but the journal entry is "
                                                        "not marked cleared")
                                       : QStringLiteral(": whether the journal entry was posted "
                                                        "is unknown"));
            logger.LogWarning(outcome);
            m_dialogs.ShowError(outcome + QStringLiteral("\r\n") + exported.Warning);
            return;
        }
        logger.LogEvent(GLExportRunName + QStringLiteral(" completed"));
        m_dialogs.ShowInformation(GLExportRunName + QStringLiteral(" completed"));
    } catch (...) {
        logger.PassthroughExceptionAndWarnFmt(QStringLiteral("%s failed"), {GLExportRunName});
    }
}

TJournalExportResult TGLExportRun::ExportGLReport() {
    ICommonLogger& logger = *m_logger;
    // The panel is read again: the options logged may have been changed
    // while the report was fetched.
    const TQBGLExportParam options = m_source.GLExportParam();
    const QString reportName = m_source.SourceTab() == rstFile
                                   ? m_source.FileName()
                                   : QStringLiteral("Orvane Journal report");
    const TGLRecordArray records = ParseGLJournal(logger, m_reportText, options, reportName);
    RequireJournalAmounts(records);

    // QuickBooks is opened only for a journal that parsed and has something
    // to post.
    const std::unique_ptr<TQBConnection> qb = m_connect(m_logger);
    OrvAssert(qb != nullptr);
    if (!ValidateJournal(*qb, records, options))
        throw EztException(QStringLiteral("Orvane Journal validation failed"));

    const QDate date = records.front().JournalDate;
    if (qb->JournalEntryExists(date)) {
        const QString message = Format(QStringLiteral("Journal Entry with Date = %s already "
                                                      "exists. You may be creating a duplicate "
                                                      "entry."),
                                       {DateToStr(date)});
        logger.LogWarning(message);
        if (!m_dialogs.ConfirmYesNo(message + QStringLiteral("Continue?")))
            throw EGLExportAborted();
    }
    return ExportJournal(*qb, records, options);
}
