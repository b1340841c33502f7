#include "runs/GLExportRun.h"

#include "base/RegionalSettings.h"
#include "base/vlxGlobalWaitIndicator.h"
#include "base/vlxTextUtils.h"
#include "export/QBJournalExport.h"
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
    try {
        m_reportText.clear();
        const TQBGLExportParam options = m_source.GLExportParam();
        LogGLExportParam(logger, options);
        logger.LogEvent(GLExportRunName + QStringLiteral(" started"));

        TFetchedReport report;
        if (m_source.SourceTab() == rstDirectConnection) {
            IDirectReportSource* direct = m_source.DirectSource();
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
            logger.LogWarning(GLExportRunName + QStringLiteral(" failed"));
            return;
        }
        m_reportText = *report;

        {
            TWaitGuard wait(WaitIndicator(), QStringLiteral("Creating QuickBooks Transaction"));
            ExportGLReport();
        }
        logger.LogEvent(GLExportRunName + QStringLiteral(" completed"));
        m_dialogs.ShowInformation(GLExportRunName + QStringLiteral(" completed"));
    } catch (...) {
        logger.PassthroughExceptionAndWarnFmt(QStringLiteral("%s failed"), {GLExportRunName});
    }
}

void TGLExportRun::ExportGLReport() {
    ICommonLogger& logger = *m_logger;
    // The panel is read again: the options logged may have been changed
    // while the report was fetched.
    const TQBGLExportParam options = m_source.GLExportParam();
    const TGLRecordArray records = ParseGLJournal(logger, m_reportText, options);
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
    ExportJournal(*qb, records, options);
}
