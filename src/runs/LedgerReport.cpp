#include "runs/LedgerReport.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"
#include "runs/ReportHtml.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>

QString ShortRunId(const QString& id) {
    return id.left(8);
}

QString LedgerCountsText(const QMap<TLedgerOutcome, int>& counts) {
    QStringList parts;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > 0)
            parts << QString::number(it.value()) + u' ' + LedgerText(it.key());
    return parts.isEmpty() ? QStringLiteral("no records") : parts.join(QStringLiteral(", "));
}

QString LedgerRunKindText(const TLedgerRun& run) {
    if (run.Kind == lrkUndo)
        return QStringLiteral("undo of ") + ShortRunId(run.TargetRunId);
    const QString kind = LedgerText(run.Kind);
    return run.ReportKind == rkNone
               ? kind
               : kind + QStringLiteral(" (") + LedgerText(run.ReportKind) + u')';
}

QString LedgerTargetText(const TLedgerTarget& target) {
    return target.CompanyName + QStringLiteral(" (") + target.CompanyFile + u')';
}

QString LedgerSourceText(const TLedgerSource& source) {
    if (!source.FileName.isEmpty())
        return QStringLiteral("file ") + source.FileName + QStringLiteral(", ") +
               QLocale::c().toString(source.FileSize) + QStringLiteral(" bytes, SHA-256 ") +
               source.FileSha256;
    if (!source.OrvaneCompany.isEmpty())
        return QStringLiteral("payrolls ") + source.Payrolls.join(QStringLiteral(", ")) +
               QStringLiteral(" of Orvane company ") + source.OrvaneCompany;
    return QString();
}

QString LedgerTimeDisplay(const QDateTime& utc) {
    return utc.isValid() ? utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                         : QString();
}

QString LedgerRecordProblem(const TLedgerRecordIntent& record, const QString& outcome,
                            const QString& message) {
    return Format("%s %s %s (%s): %s",
                  {LedgerText(record.Kind), record.Number, record.Payee, outcome, message});
}

QString LedgerRunLine(const TLedgerRun& run) {
    return EscapeControlCharsInLine(QStringList{
        run.Id, LedgerTimeDisplay(run.Started), LedgerRunKindText(run),
        LedgerTargetText(run.Target), LedgerCountsText(run.Counts), LedgerText(run.State)}
                                        .join(QStringLiteral("  ")));
}

QString LedgerPairingLine(const TLedgerPairing& p) {
    return EscapeControlCharsInLine(QStringList{LedgerText(p.Kind), p.Key, p.Label,
                                                LedgerTargetText(p.Target),
                                                LedgerTimeDisplay(p.Recorded), ShortRunId(p.RunId)}
                                        .join(QStringLiteral("  ")));
}

QString LedgerRunReport(const TLedgerRun& run, const QList<TLedgerRecord>& records) {
    QString text;
    const auto field = [&text](const char* name, const QString& value) {
        if (!value.isEmpty())
            text += QLatin1String(name) + QStringLiteral(": ") + EscapeControlChars(value) + u'\n';
    };
    field("Run", run.Id);
    field("Kind", LedgerRunKindText(run));
    field("State", LedgerText(run.State));
    field("Started", LedgerTimeDisplay(run.Started));
    field("Ended", LedgerTimeDisplay(run.Ended));
    field("User", run.Identity.OsUser + QStringLiteral(" on ") + run.Identity.Computer);
    field("Program version", run.Identity.ProgramVersion);
    field("Source", LedgerSourceText(run.Source));
    field("QuickBooks company", LedgerTargetText(run.Target));
    field("Options", run.Options);
    field("Undoes run", run.TargetRunId);
    field("Message", run.Message);
    field("Records", LedgerCountsText(run.Counts));
    text += u'\n';
    text +=
        QStringLiteral("Seq\tKind\tNumber\tDate\tPayee\tAmount\tOutcome\tTxnID\tMessage\tNote\n");
    for (const TLedgerRecord& r : records) {
        QStringList cells{QString::number(r.Seq), LedgerText(r.Kind), r.Number,
                          r.Date.isValid() ? DateToStr(r.Date) : QString(), r.Payee,
                          MoneyToStr(r.Amount), LedgerText(r.Outcome), r.TxnID,
                          // The message without its details.
                          r.Message.section(QStringLiteral("\n\n"), 0, 0), r.Note};
        // A TAB or line break of a cell would shift the columns.
        for (QString& cell : cells)
            cell = EscapeControlCharsInLine(cell);
        text += cells.join(u'\t') + u'\n';
    }
    return text;
}

namespace {

// "3/8/2024" or "3/1/2024 to 3/8/2024"; empty without dates.
QString DateRange(const TLedgerRun& run) {
    if (!run.FirstDate.isValid())
        return QString();
    return run.FirstDate == run.LastDate
               ? DateToStr(run.FirstDate)
               : DateToStr(run.FirstDate) + QStringLiteral(" to ") + DateToStr(run.LastDate);
}

// Records and amounts per name and outcome, in the order they first appear.
struct TReportTotal {
    QString Name;
    TLedgerOutcome Outcome;
    int Records = 0;
    Currency Amount;
};

void AddToTotals(QList<TReportTotal>& totals, const QString& name, const TLedgerRecord& r) {
    auto it = std::find_if(totals.begin(), totals.end(), [&](const TReportTotal& t) {
        return t.Name == name && t.Outcome == r.Outcome;
    });
    if (it == totals.end())
        it = totals.insert(totals.end(), TReportTotal{name, r.Outcome, 0, Currency()});
    ++it->Records;
    it->Amount += r.Amount;
}

QString TotalsHtml(const QString& title, const QString& nameTitle,
                   const QList<TReportTotal>& totals) {
    if (totals.isEmpty())
        return QString();
    THtmlTable table;
    table.Column(nameTitle)
        .Column(QStringLiteral("Outcome"))
        .Column(QStringLiteral("Records"), true)
        .Column(QStringLiteral("Amount"), true);
    for (const TReportTotal& t : totals)
        table.Row(
            {t.Name, LedgerText(t.Outcome), QString::number(t.Records), MoneyToStr(t.Amount)});
    return QStringLiteral("<h2>") + HtmlText(title) + QStringLiteral("</h2>\n") + table.Html();
}

bool EndedByCancel(const TLedgerRun& run) {
    return run.State == lrsFinished && run.Message.startsWith(QStringLiteral("cancelled"));
}

QString UserText(const TLedgerRun& run) {
    return run.Identity.OsUser + QStringLiteral(" on ") + run.Identity.Computer;
}

} // namespace

QString LedgerSourceName(const TLedgerSource& source) {
    return source.FileName.isEmpty()
               ? LedgerSourceText(source)
               : QStringLiteral("file ") + QFileInfo(source.FileName).fileName();
}

QString LedgerSourceShortText(const TLedgerRun& run) {
    const QString source = LedgerSourceName(run.Source);
    const QString dates = DateRange(run);
    if (dates.isEmpty())
        return source;
    const QString checkDates = (run.FirstDate == run.LastDate ? QStringLiteral("check date ")
                                                              : QStringLiteral("check dates ")) +
                               dates;
    return source.isEmpty() ? checkDates : source + QStringLiteral("; ") + checkDates;
}

Currency LedgerRunAmount(const TLedgerRun& run) {
    const TLedgerOutcome outcome = run.Kind == lrkUndo      ? loDeleted
                                   : run.Kind == lrkPreview ? loWouldAdd
                                                            : loAdded;
    return run.Amounts.value(outcome);
}

QString LedgerRunStateText(const TLedgerRun& run, const QList<TLedgerRun>& runs) {
    // A cancelled run's message says what it did before it stopped.
    QString text =
        EndedByCancel(run) ? run.Message.section(u'\n', 0, 0).trimmed() : LedgerText(run.State);
    for (const TLedgerRun& undo : runs) {
        if (undo.Kind != lrkUndo || undo.TargetRunId != run.Id || undo.State != lrsFinished)
            continue;
        text += Format(EndedByCancel(undo) ? ", partly undone by %s on %s" : ", undone by %s on %s",
                       {ShortRunId(undo.Id), LedgerTimeDisplay(undo.Started)});
    }
    return text;
}

QString LedgerRunReportHtml(const TLedgerRun& run, const QList<TLedgerRecord>& records,
                            const QString& stateText) {
    QString h = HtmlDocumentStart(QStringLiteral("Run report: ") + LedgerRunKindText(run));
    h += THtmlFields()
             .Add(QStringLiteral("QuickBooks company"), run.Target.CompanyName)
             .Add(QStringLiteral("Company file"), run.Target.CompanyFile)
             .Add(run.Source.FileName.isEmpty() ? QStringLiteral("Payrolls")
                                                : QStringLiteral("Report file"),
                  LedgerSourceText(run.Source))
             .Add(QStringLiteral("Check dates"), DateRange(run))
             .Add(QStringLiteral("Undoes run"), run.TargetRunId)
             .Add(QStringLiteral("User"), UserText(run))
             .Add(QStringLiteral("Started"), LedgerTimeDisplay(run.Started))
             .Add(QStringLiteral("Ended"), LedgerTimeDisplay(run.Ended))
             .Add(QStringLiteral("Run"), run.Id)
             .Add(QStringLiteral("State"), stateText)
             .Add(QStringLiteral("Records"), LedgerCountsText(run.Counts))
             .Add(QStringLiteral("Message"), run.Message)
             .Add(QStringLiteral("Options"), run.Options)
             .Add(QStringLiteral("Program version"), run.Identity.ProgramVersion)
             .Html();

    h += QStringLiteral("<h2>Records</h2>\n");
    THtmlTable table;
    table.Column(QStringLiteral("#"), true)
        .Column(QStringLiteral("Kind"))
        .Column(QStringLiteral("Number"))
        .Column(QStringLiteral("Date"))
        .Column(QStringLiteral("Payee"))
        .Column(QStringLiteral("Amount"), true)
        .Column(QStringLiteral("Outcome"))
        .Column(QStringLiteral("TxnID"))
        .Column(QStringLiteral("Message"));
    QList<TReportTotal> byKind, byAccount;
    for (const TLedgerRecord& r : records) {
        table.Row({QString::number(r.Seq), LedgerText(r.Kind), r.Number,
                   r.Date.isValid() ? DateToStr(r.Date) : QString(), r.Payee, MoneyToStr(r.Amount),
                   LedgerText(r.Outcome), r.TxnID,
                   r.Message.section(QStringLiteral("\n\n"), 0, 0)});
        AddToTotals(byKind, LedgerText(r.Kind), r);
        if (!r.Accounts.isEmpty())
            AddToTotals(byAccount, r.Accounts, r);
    }
    h += table.IsEmpty() ? QStringLiteral("<p>No records.</p>\n") : table.Html();
    h += TotalsHtml(QStringLiteral("Totals by kind"), QStringLiteral("Kind"), byKind);
    h += TotalsHtml(QStringLiteral("Totals by account"), QStringLiteral("Accounts"), byAccount);
    return h + HtmlDocumentEnd();
}
