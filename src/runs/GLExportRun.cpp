#include "runs/GLExportRun.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "export/QBJournalExport.h"
#include "reports/OrvGLParser.h"
#include "reports/ReportFile.h"
#include "runs/ExportRunSteps.h"
#include "runs/LedgerRunWriter.h"

const QString GLExportRunName = QStringLiteral("Orvane Journal Export");

EGLExportAborted::EGLExportAborted()
    : EztException(QStringLiteral("Operation was aborted by user")) {}

TGLExportRun::TGLExportRun(TGLRunOptions options) : m_options(std::move(options)) {}

void TGLExportRun::RunGLExport(TRunContext& context) {
    OrvAssert(context.Logger && context.ConnectQB && context.Dialogs);
    ICommonLogger& logger = *context.Logger;
    TLogBlockGuard block(logger, GLExportRunName);
    try {
        m_reportText.clear();
        const TQBGLExportParam& options = m_options.GL;
        LogGLExportParam(logger, options);
        logger.LogEvent(GLExportRunName + QStringLiteral(" started"));
        // Nothing is fetched for a run that could not record what it posts.
        const std::unique_ptr<TRunLedger> ledger = OpenRunLedger(context);

        TFetchedReport report;
        if (m_options.Source.Tab == rstDirectConnection) {
            report = OpenDirectReportSource(context, m_options.Source)->FetchGLReport(options);
        } else {
            const QString& fileName = m_options.Source.FileName;
            logger.LogContextItem(QStringLiteral("Orvane Journal file"), fileName);
            report = TextReportOrEmpty(ReadReportFile(fileName));
        }
        if (!report) {
            logger.LogWarning(GLExportRunName + QStringLiteral(" failed"));
            return;
        }
        m_reportText = *report;

        {
            TWaitGuard wait(*context.Progress, QStringLiteral("Creating QuickBooks Transaction"));
            ExportGLReport(context, *ledger);
        }
        logger.LogEvent(GLExportRunName + QStringLiteral(" completed"));
        context.Dialogs->ShowInformation(GLExportRunName + QStringLiteral(" completed"));
    } catch (const EOperationCancelled&) {
        LogRunCancelled(logger, GLExportRunName);
    } catch (...) {
        logger.PassthroughExceptionAndWarnFmt(QStringLiteral("%s failed"), {GLExportRunName});
    }
}

void TGLExportRun::ExportGLReport(TRunContext& context, TRunLedger& ledger) {
    ICommonLogger& logger = *context.Logger;
    const TQBGLExportParam& options = m_options.GL;
    const TGLRecordArray records = ParseGLJournal(logger, m_reportText, options);
    RequireJournalAmounts(records);

    // QuickBooks is opened only for a journal that parsed and has something
    // to post, and not for a run cancelled meanwhile.
    context.Cancel->CheckPoint();
    const std::unique_ptr<TQBConnection> qb = context.ConnectQB(context.Logger);
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
        if (!context.Dialogs->ConfirmYesNo(message + QStringLiteral("Continue?")))
            throw EGLExportAborted();
    }
    // The last safe point: the entry and its clearing travel in one set.
    context.Cancel->CheckPoint();
    TLedgerRunStart start;
    start.Kind = lrkGL;
    start.ReportKind = lpkJournal;
    start.Source = m_options.Source.Tab == rstDirectConnection
                       ? ServiceRunSource(m_options.Source)
                       : FileRunSource(m_options.Source.FileName);
    start.Target = QBCompanyTarget(*qb);
    start.Options = GLOptionsText(options);
    TLedgerRunWriter writer(ledger, start);
    ExportJournal(*qb, records, options, &writer);
    writer.End(lrsFinished);
}
