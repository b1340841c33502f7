#include "runs/LedgerReport.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"

#include <QFileInfo>
#include <QLocale>

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
    return run.ReportKind == lpkNone
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
                          CurrToStr(r.Amount), LedgerText(r.Outcome), r.TxnID,
                          // The message without its details.
                          r.Message.section(QStringLiteral("\n\n"), 0, 0), r.Note};
        // A TAB or line break of a cell would shift the columns.
        for (QString& cell : cells)
            cell = EscapeControlCharsInLine(cell);
        text += cells.join(u'\t') + u'\n';
    }
    return text;
}
