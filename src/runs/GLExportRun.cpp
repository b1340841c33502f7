#include "runs/GLExportRun.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
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
    m_exportState = jesDone;
    m_ledgerRunId.clear();
    try {
        m_reportText.clear();
        const TQBGLExportParam& options = m_options.GL;
        LogGLExportParam(logger, options);
        logger.LogEvent(GLExportRunName + QStringLiteral(" started"));
        // Nothing is fetched for a run that could not record what it posts.
        const std::unique_ptr<TRunLedger> ledger = OpenRunLedger(context);

        TFetchedReport report;
        IDirectReportSourcePtr direct;
        if (m_options.Source.Tab == rstDirectConnection) {
            direct = OpenDirectReportSource(context, m_options.Source);
            report = direct->FetchGLReport(options);
        } else {
            const QString& fileName = m_options.Source.FileName;
            logger.LogContextItem(QStringLiteral("Orvane Journal file"), fileName);
            report = TextReportOrEmpty(ReadReportFile(fileName));
        }
        if (!report) {
            EndRunWithoutReport(logger, *context.Dialogs, direct.get(), GLExportRunName);
            return;
        }
        m_reportText = *report;

        TJournalExportResult exported;
        {
            TWaitGuard wait(*context.Progress, QStringLiteral("Creating QuickBooks Transaction"));
            exported = ExportGLReport(context, *ledger);
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
            context.Dialogs->ShowError(outcome + QStringLiteral("\r\n") + exported.Warning);
            return;
        }
        logger.LogEvent(GLExportRunName + QStringLiteral(" completed"));
        context.Dialogs->ShowInformation(GLExportRunName + QStringLiteral(" completed"));
    } catch (const EOperationCancelled&) {
        LogRunCancelled(logger, GLExportRunName);
    } catch (...) {
        logger.PassthroughExceptionAndWarnFmt(QStringLiteral("%s failed"), {GLExportRunName});
    }
}

TJournalExportResult TGLExportRun::ExportGLReport(TRunContext& context, TRunLedger& ledger) {
    ICommonLogger& logger = *context.Logger;
    const TQBGLExportParam& options = m_options.GL;
    const QString reportName = m_options.Source.Tab == rstFile
                                   ? m_options.Source.FileName
                                   : QStringLiteral("Orvane Journal report");
    const TGLRecordArray records = ParseGLJournal(logger, m_reportText, options, reportName);
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
    m_ledgerRunId = writer.RunId();
    const TJournalExportResult exported = ExportJournal(*qb, records, options, &writer);
    writer.End(lrsFinished, exported.Warning);
    return exported;
}
