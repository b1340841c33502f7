#include "runs/ChecksExportRun.h"

#include "base/vlxTextUtils.h"
#include "runs/LedgerReport.h"

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

// "Employee Checks", "Agency Checks", "Checks" (a file's, either).
QString KindName(TReportKind kind) {
    return kind == rkEmployeeChecks ? QStringLiteral("Employee Checks")
           : kind == rkAgencyChecks ? QStringLiteral("Agency Checks")
                                    : QStringLiteral("Checks");
}

// One checks report on the posting road.
class TChecksPosting : public TPostingRoad {
public:
    TChecksPosting(TRunContext& context, const TChecksRunOptions& options, TReportKind kind)
        : TPostingRoad(context, options.Source, options.Posting, ChecksRunName(KindName(kind))),
          m_options(options), m_kind(kind) {
        Result().Kind = kind;
    }

protected:
    QString FileItem() const override { return QStringLiteral("Orvane Checks file"); }
    bool LogsFileText() const override { return true; }
    TFetchedReport Fetch(IDirectReportSource& source) override {
        return source.FetchChecksReport(m_kind);
    }
    QString ReportPiece(const TFetchedReport& report) const override {
        const QString text = report.value_or(QString());
        const QString kindName = KindName(m_kind);
        return text.trimmed().isEmpty() ? Format("Orvane %s report is empty", {kindName})
                                        : Format("Orvane %s report:", {kindName}) + u"\r\n" + text;
    }
    // The service writes a placeholder line for payrolls that paid no
    // agency: nothing to post, and nothing wrong. After the employee checks
    // of "All Checks" it is a line of the summary, not a box.
    bool NothingToPost(const QString& report) override {
        if (m_kind != rkAgencyChecks || !IsEmptyAgencyReport(report))
            return false;
        const QString none = QStringLiteral("No agency checks in this payroll");
        Logger().LogEvent(none);
        if (m_options.CheckKindChoice != crcAllChecks)
            Dialogs().ShowInformation(none);
        EndNothingToPost(RunName() + QStringLiteral(": ") + none);
        return true;
    }
    QString WaitText() const override {
        return Previewing() ? QStringLiteral("Previewing QuickBooks Transactions")
                            : QStringLiteral("Creating QuickBooks Transactions");
    }

    void Post(const QString& report) override {
        const std::unique_ptr<TQBConnection> connection = OpenQuickBooks();
        // Named with the line in the message of a line that fails.
        const QString reportName = Source().Tab == rstFile
                                       ? Source().FileName
                                       : Format("Orvane %s report", {KindName(m_kind)});
        const TCheckRecords records = ParseChecksReport(Logger(), report, m_kind, reportName);
        const TReportKind kind = !records.empty() && !records.front().IsEmployeeCheck
                                     ? rkAgencyChecks
                                     : rkEmployeeChecks;
        const TLedgerRunStart start = Start(*connection, kind, ChecksOptionsText(m_options.Checks));
        if (!Previewing())
            Confirm();
        // Read before this run writes: what earlier ones left there.
        const TProgramTransactions ours =
            m_options.Checks.Clear ? TProgramTransactions(Ledger().AddedInto(start.Target))
                                   : TProgramTransactions();
        TLedgerRunWriter& writer = Writer(start);
        writer.ExpectRecords(int(records.size()));
        if (!Previewing())
            ResolveUnknownOutcomes(*connection, m_options.Checks.BatchSize);
        m_exported = ExportChecks(*connection, records, m_options.Checks, Context().Watch(),
                                  &Observer(), &ours);
        m_sourceName = LedgerSourceName(start.Source);
        writer.End(lrsFinished,
                   m_exported.Cancelled ? FormatChecksExportResult(m_exported) : QString());
    }

    void End() override {
        if (Previewing()) {
            EndPreview();
            return;
        }
        Result().Counts.Checks = m_exported;
        const QString message = RunName() + u' ' + FormatChecksExportResult(m_exported);
        if (m_exported.Cancelled) {
            EndCancelled(message);
            return;
        }
        EndPosted(psPosted, message);
        if (m_exported.Errors > 0) {
            Logger().LogWarning(message);
            Dialogs().ShowError(message + FailedRecordsText(Preview().Items, m_sourceName));
        } else {
            // The counts tell a run that added checks from one that found
            // them all there.
            Logger().LogEvent(message);
            Dialogs().ShowInformation(message);
        }
    }

private:
    const TChecksRunOptions& m_options;
    const TReportKind m_kind;
    TChecksExportResult m_exported;
    QString m_sourceName;
};

} // namespace

QString ChecksRunName(const QString& kindName) {
    return Format("Orvane %s Export", {kindName});
}

TChecksExportRun::TChecksExportRun(TChecksRunOptions options) : m_options(std::move(options)) {}

const QList<TPostResult>& TChecksExportRun::RunChecksExport(TRunContext& context) {
    m_results.clear();
    // Opened by the first report, used on this thread only.
    std::unique_ptr<TRunLedger> ledger;
    const QList<TReportKind> kinds = m_options.Source.Tab == rstFile
                                         ? QList<TReportKind>{rkNone}
                                         : ChosenChecksReports(m_options.CheckKindChoice);
    for (const TReportKind kind : kinds) {
        if (!m_results.isEmpty() &&
            (m_results.last().State == psFailed || context.Cancel->Cancelled()))
            break;
        m_results << TChecksPosting(context, m_options, kind).Run(ledger);
    }
    return m_results;
}
