#include "runs/BureauReport.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"
#include "runs/LedgerReport.h"

namespace {

// Messages break their lines with CR LF; a line break of a report is LF.
QString Plain(const QString& text) {
    return EscapeControlChars(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

QString Html(const QString& text) {
    return Plain(text).toHtmlEscaped().replace(u'\n', QStringLiteral("<br>"));
}

QString CompanyLabel(const TBureauCompanyResult& c) {
    return c.CompanyName.isEmpty() ? c.Entry.OrvaneCompany
                                   : c.Entry.OrvaneCompany + u' ' + c.CompanyName;
}

QString CountsText(const TBureauTotals& t, bool preview) {
    return Format(preview ? "%d payrolls to export, %d checks to add, %d already existing, %d "
                            "invalid, %d deposits, %d voids, %d journal entries, amount %s"
                          : "%d payrolls exported, %d checks added, %d already existed, %d "
                            "failed, %d deposits, %d voids, %d journal entries, amount %s",
                  {t.PayrollsExported, t.ChecksAdded, t.ChecksExisted, t.ChecksFailed,
                   t.DepositsAdded, t.Voids, t.JournalEntries, t.Amount.ToFixed(2)});
}

// The count columns of both tables, after the first ones.
QString CountHeaders(bool preview) {
    const QString added = preview ? QStringLiteral("<th>Checks to add</th>")
                                  : QStringLiteral("<th>Checks added</th>");
    const QString failed =
        preview ? QStringLiteral("<th>Invalid</th>") : QStringLiteral("<th>Failed</th>");
    return added + QStringLiteral("<th>Already existing</th>") + failed +
           QStringLiteral("<th>Deposits</th><th>Voids</th><th>Journal entries</th><th>Amount</th>");
}

QString StateText(const TBureauExport& e, bool preview) {
    switch (e.State) {
    case besHeld:
        return QStringLiteral("skipped");
    case besFailed:
        return QStringLiteral("failed");
    default:
        return preview ? QStringLiteral("would export") : QStringLiteral("exported");
    }
}

} // namespace

TBureauReportHeader BureauReportHeader(const TBureauRunOptions& options, const QString& stopped) {
    return {options.From,
            options.To,
            QDateTime::currentDateTimeUtc(),
            TLedgerIdentity::ThisWorkstation(QString()).Computer,
            options.Preview,
            stopped};
}

QString BureauTotalsLine(const QList<TBureauCompanyResult>& companies, bool preview,
                         const QString& stopped) {
    const TBureauTotals t = BureauTotals(companies);
    QStringList attention;
    for (const TBureauCompanyResult& c : companies)
        if (c.NeedsAttention())
            attention << CompanyLabel(c);
    QString line = (preview ? QStringLiteral("Preview, nothing was posted: ") : QString()) +
                   Format("%d companies, ", {t.Companies}) + CountsText(t, preview);
    if (t.Held > 0)
        line += Format(", %d held by other workstations", {t.Held});
    if (!attention.isEmpty())
        line += QStringLiteral("; needs attention: ") + attention.join(QStringLiteral(", "));
    if (!stopped.isEmpty())
        return line + QStringLiteral("; ") + stopped;
    return attention.isEmpty() ? line + QStringLiteral("; nothing needs attention") : line;
}

QString BureauReportText(const QList<TBureauCompanyResult>& companies, bool preview,
                         const QString& stopped) {
    QString text;
    for (const TBureauCompanyResult& c : companies) {
        text +=
            EscapeControlChars(CompanyLabel(c)) + QStringLiteral(": ") +
            CountsText(BureauTotals({c}), preview) +
            (c.NeedsAttention() ? QStringLiteral(" - needs attention\n") : QStringLiteral("\n"));
        for (const TBureauExport& e : c.Exports)
            if (e.State == besHeld)
                text += Format("  payroll %s, %s: %s\n", {e.Caption, LedgerText(e.Kind), e.Note});
        for (const QString& problem : c.Problems)
            text += QStringLiteral("  ") + Plain(problem).replace(u'\n', QStringLiteral("\n    ")) +
                    u'\n';
    }
    return text + BureauTotalsLine(companies, preview, stopped) + u'\n';
}

QString BureauReportHtml(const TBureauReportHeader& header,
                         const QList<TBureauCompanyResult>& companies) {
    const TBureauTotals all = BureauTotals(companies);
    QString h;
    h +=
        QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                       "<title>Orvane bureau run</title><style>"
                       "body{font-family:sans-serif;font-size:10pt}"
                       "table{border-collapse:collapse}td,th{border:1px solid #999;padding:2px 6px}"
                       "td.n{text-align:right}.attention{color:#b00000}"
                       "</style></head><body>\n");
    h += Format("<h1>%s, check dates %s to %s</h1>\n",
                {header.Preview ? QStringLiteral("Preview of the Orvane bureau run")
                                : QStringLiteral("Orvane bureau run"),
                 DateToStr(header.From), DateToStr(header.To)});
    h += Format("<p class=\"%s\" id=\"totals\">%s</p>\n",
                {all.CompaniesNeedingAttention > 0 || !header.Stopped.isEmpty()
                     ? QStringLiteral("attention")
                     : QString(),
                 Html(BureauTotalsLine(companies, header.Preview, header.Stopped))});
    h += Format("<p>Made %s on %s.</p>\n",
                {LedgerTimeDisplay(header.Made), Html(header.Workstation)});
    h += QStringLiteral("<table><tr><th>Orvane company</th><th>QuickBooks company file</th>"
                        "<th>Payrolls</th>") +
         CountHeaders(header.Preview) + QStringLiteral("<th>Problems</th></tr>\n");
    for (const TBureauCompanyResult& c : companies) {
        const TBureauTotals t = BureauTotals({c});
        h += Format("<tr%s><td>%s</td><td>%s</td>",
                    {c.NeedsAttention() ? QStringLiteral(" class=\"attention\"") : QString(),
                     Html(CompanyLabel(c)), Html(c.Entry.CompanyFile)});
        for (const int n : {t.PayrollsExported, t.ChecksAdded, t.ChecksExisted, t.ChecksFailed,
                            t.DepositsAdded, t.Voids, t.JournalEntries})
            h += Format("<td class=\"n\">%d</td>", {n});
        h += Format("<td class=\"n\">%s</td><td class=\"n\">%d</td></tr>\n",
                    {t.Amount.ToFixed(2), int(c.Problems.size())});
    }
    h += QStringLiteral("</table>\n");
    for (const TBureauCompanyResult& c : companies) {
        h += Format("<h2%s>%s</h2>\n",
                    {c.NeedsAttention() ? QStringLiteral(" class=\"attention\"") : QString(),
                     Html(CompanyLabel(c))});
        if (c.Exports.isEmpty())
            h += QStringLiteral("<p>No new payrolls.</p>\n");
        else
            h += QStringLiteral("<table><tr><th>Payroll</th><th>Report</th><th>State</th>") +
                 CountHeaders(header.Preview) + QStringLiteral("<th>Note</th></tr>\n");
        for (const TBureauExport& e : c.Exports) {
            h += Format("<tr><td>%s (%s)</td><td>%s</td><td>%s</td>",
                        {Html(e.Caption), Html(e.Payroll), LedgerText(e.Kind),
                         StateText(e, header.Preview)});
            for (const int n : {e.Checks.ChecksAdded, e.Checks.ChecksExisted, e.Checks.Errors,
                                e.Checks.DepositsAdded, e.Checks.ChecksVoided, e.JournalEntries})
                h += Format("<td class=\"n\">%d</td>", {n});
            h += Format("<td class=\"n\">%s</td><td>%s</td></tr>\n",
                        {e.Amount.ToFixed(2), Html(e.Note)});
        }
        if (!c.Exports.isEmpty())
            h += QStringLiteral("</table>\n");
        if (!c.Problems.isEmpty()) {
            h += QStringLiteral("<ul class=\"attention\">\n");
            for (const QString& problem : c.Problems)
                h += QStringLiteral("<li>") + Html(problem) + QStringLiteral("</li>\n");
            h += QStringLiteral("</ul>\n");
        }
    }
    return h + QStringLiteral("</body></html>\n");
}
