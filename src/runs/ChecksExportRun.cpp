#include "runs/ChecksExportRun.h"

#include "base/vlxTextUtils.h"
#include "reports/ReportFile.h"
#include "runs/ExportRunSteps.h"
#include "runs/LedgerReport.h"
#include "runs/LedgerRunWriter.h"
#include "runs/UnknownOutcomes.h"

namespace {

// The box of a partly failed run lists this many failed records, then how
// many more.
constexpr int BoxFailures = 10;

// "\n\nFailed records of payrolls 101 of Orvane company 34:\ncheck 1005 John
// A Smith (failed): why\nwhat to do"; empty when none failed.
QString FailedRecordsText(const TExportNotes& settled, const QString& source) {
    QStringList lines;
    int failed = 0;
    for (const TExportNote& note : settled) {
        if (note.Outcome != loFailed && note.Outcome != loStateUnknown)
            continue;
        if (++failed <= BoxFailures)
            lines << LedgerRecordProblem(note, LedgerText(note.Outcome),
                                         note.Message.section(QStringLiteral("\n\n"), 0, 0));
    }
    if (lines.isEmpty())
        return QString();
    if (failed > BoxFailures)
        lines << Format("and %d more", {failed - BoxFailures});
    const QString of = source.isEmpty() ? QString() : QStringLiteral(" of ") + source;
    return QStringLiteral("\n\nFailed records") + of + QStringLiteral(":\n") + lines.join(u'\n');
}

} // namespace

QString ChecksRunName(const QString& kindName) {
    return Format("Orvane %s Export", {kindName});
}

TChecksExportRun::TChecksExportRun(TChecksRunOptions options) : m_options(std::move(options)) {}

void TChecksExportRun::RunChecksExport(TRunContext& context) {
    OrvAssert(context.Logger != nullptr && context.ConnectQB != nullptr &&
              context.Dialogs != nullptr);
    m_outcomes.clear();
    m_previews.clear();
    // Opened by the first kind, used on this thread only.
    std::unique_ptr<TRunLedger> ledger;
    if (m_options.Source.Tab == rstFile) {
        RunKind(context, ledger, rkFile);
        return;
    }
    switch (m_options.CheckKindChoice) {
    case crcAllChecks:
        RunKind(context, ledger, rkEmployee);
        // A cancel the employee report's wait took leaves the agency report
        // to fetch; any other stops here.
        if (!context.Cancel->Cancelled())
            RunKind(context, ledger, rkAgency);
        break;
    case crcAgencyChecks:
        RunKind(context, ledger, rkAgency);
        break;
    default:
        RunKind(context, ledger, rkEmployee);
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

void TChecksExportRun::RunKind(TRunContext& context, std::unique_ptr<TRunLedger>& ledger,
                               TRunKind kind) {
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
        // Nothing is fetched for a run that could not record what it posts.
        if (!ledger)
            ledger = OpenRunLedger(context);

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
            // Escaped for the log, a report of control characters takes four
            // times its size: only a developer log wants it.
            if (logger.WantsMessage(lmDebug))
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
        // agency: nothing to post, and nothing wrong. After the employee
        // checks of "All Checks" it is a line of the summary, not a box.
        if (kind == rkAgency && IsEmptyAgencyReport(*report)) {
            const QString none = QStringLiteral("No agency checks in this payroll");
            m_outcomes.push_back({runName, {}, runName + QStringLiteral(": ") + none});
            logger.LogEvent(none);
            if (m_options.CheckKindChoice != crcAllChecks)
                context.Dialogs->ShowInformation(none);
            return;
        }
        // Nothing is opened for a run cancelled meanwhile.
        context.Cancel->CheckPoint();

        const TPostingOptions& posting = m_options.Posting;
        TChecksExportResult result;
        TRunPreview preview; // a posting's settled records too
        QString ledgerRunId;
        QString sourceName;
        {
            TWaitGuard wait(*context.Progress,
                            posting.Preview ? QStringLiteral("Previewing QuickBooks Transactions")
                                            : QStringLiteral("Creating QuickBooks Transactions"));
            // Declared after the wait guard: freed before the wait ends.
            const std::unique_ptr<TQBConnection> connection = context.ConnectQB(context.Logger);
            connection->SetPreviewOnly(posting.Preview);
            const TCheckRecords records =
                ParseChecksReport(logger, *report, parserKind, reportName);
            TLedgerRunStart start;
            start.Kind = posting.Preview ? lrkPreview : lrkChecks;
            start.ReportKind = !records.empty() && !records.front().IsEmployeeCheck
                                   ? lpkAgencyChecks
                                   : lpkEmployeeChecks;
            start.Source = kind == rkFile ? FileRunSource(m_options.Source.FileName)
                                          : ServiceRunSource(m_options.Source);
            start.Target = ShowOpenCompany(context, *connection);
            start.Options = ChecksOptionsText(m_options.Checks);
            TCompanyGuard guard(*ledger, start.Source, OrvaneCompanyLabel(m_options.Source),
                                start.Target);
            if (posting.Preview)
                preview.CompanyQuestion = guard.Question();
            else
                guard.Confirm(context, posting);
            // Read before this run writes: what earlier ones left there.
            const TProgramTransactions ours =
                m_options.Checks.Clear ? TProgramTransactions(ledger->AddedInto(start.Target))
                                       : TProgramTransactions();
            TLedgerRunWriter writer(*ledger, start);
            writer.ExpectRecords(int(records.size()));
            if (!posting.Preview) {
                guard.Record(logger, writer.RunId());
                ledgerRunId = writer.RunId();
                // Settled first, so that what they added is found, not added again.
                TUnknownOutcomeResolver(*ledger, *connection, m_options.Checks.BatchSize)
                    .Resolve(start.Target, ResolvedNote(writer.RunId()));
            }
            preview.RunName = runName;
            preview.Target = start.Target;
            preview.RunId = writer.RunId();
            TPreviewCollector collector(preview, &writer);
            result = ExportChecks(*connection, records, m_options.Checks, context.Watch(),
                                  &collector, &ours);
            sourceName = LedgerSourceName(start.Source);
            writer.End(lrsFinished,
                       result.Cancelled ? FormatChecksExportResult(result) : QString());
        }

        if (posting.Preview) {
            const QString summary = runName + QStringLiteral(" preview: ") + preview.Summary();
            m_outcomes.push_back({runName, result, summary});
            m_previews << preview;
            if (!preview.CompanyQuestion.isEmpty())
                logger.LogWarning(QStringLiteral("Posting would ask: ") + preview.CompanyQuestion);
            if (preview.Problems() > 0)
                logger.LogWarning(summary);
            else
                logger.LogEvent(summary);
            return;
        }

        const QString message = runName + u' ' + FormatChecksExportResult(result);
        m_outcomes.push_back({runName, result, message, ledgerRunId});
        if (result.Cancelled) {
            logger.LogWarning(QStringLiteral("User cancelled operation"));
            logger.LogWarning(message);
            context.Dialogs->ShowInformation(message);
        } else if (result.Errors > 0) {
            logger.LogWarning(message);
            context.Dialogs->ShowError(message + FailedRecordsText(preview.Items, sourceName));
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
