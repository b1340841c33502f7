#include "runs/BureauReport.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"
#include "runs/LedgerReport.h"
#include "runs/ReportHtml.h"

namespace {

// Messages break their lines with CR LF; a line break of a report is LF.
QString Plain(const QString& text) {
    return EscapeControlChars(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

QString CompanyLabel(const TBureauCompanyResult& c) {
    return c.CompanyName.isEmpty() ? c.Entry.OrvaneCompany
                                   : c.Entry.OrvaneCompany + u' ' + c.CompanyName;
}

QString CountsText(const TBureauTotals& t, bool preview) {
    return Format(preview ? "%s to export, %s to add, %d already existing, %d invalid, %s, %s, "
                            "%s, net pay %s, journal %s"
                          : "%s exported, %s added, %d already existed, %d failed, %s, %s, %s, "
                            "net pay %s, journal %s",
                  {Counted(t.PayrollsExported, "payroll"), Counted(t.ChecksAdded, "check"),
                   t.ChecksExisted, t.ChecksFailed, Counted(t.DepositsAdded, "deposit"),
                   Counted(t.Voids, "void"), Counted(t.JournalEntries, "journal entry"),
                   MoneyToStr(t.NetPay), MoneyToStr(t.Journal)});
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
    const TLedgerIdentity identity = TLedgerIdentity::ThisWorkstation(QString());
    return {options.From,
            options.To,
            QDateTime::currentDateTimeUtc(),
            identity.Computer,
            options.Preview,
            identity.OsUser,
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
                   Counted(t.Companies, "company") + QStringLiteral(", ") + CountsText(t, preview);
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
    QString h = HtmlDocumentStart(
        Format("%s, check dates %s to %s",
               {header.Preview ? QStringLiteral("Preview of the Orvane bureau run")
                               : QStringLiteral("Orvane bureau run"),
                DateToStr(header.From), DateToStr(header.To)}));
    h += Format("<p class=\"%s\" id=\"totals\">%s</p>\n",
                {all.CompaniesNeedingAttention > 0 || !header.Stopped.isEmpty()
                     ? QStringLiteral("attention")
                     : QString(),
                 HtmlText(BureauTotalsLine(companies, header.Preview, header.Stopped))});
    h += QStringLiteral("<p>") +
         HtmlText(
             header.User.isEmpty()
                 ? Format("Made %s on %s.", {LedgerTimeDisplay(header.Made), header.Workstation})
                 : Format("Made %s by %s on %s.",
                          {LedgerTimeDisplay(header.Made), header.User, header.Workstation})) +
         QStringLiteral("</p>\n");
    const auto countColumns = [&header](THtmlTable& table) {
        table
            .Column(header.Preview ? QStringLiteral("Checks to add")
                                   : QStringLiteral("Checks added"),
                    true)
            .Column(QStringLiteral("Already existing"), true)
            .Column(header.Preview ? QStringLiteral("Invalid") : QStringLiteral("Failed"), true)
            .Column(QStringLiteral("Deposits"), true)
            .Column(QStringLiteral("Voids"), true)
            .Column(QStringLiteral("Journal entries"), true)
            .Column(QStringLiteral("Net pay"), true)
            .Column(QStringLiteral("Journal"), true);
    };
    THtmlTable summary;
    summary.Column(QStringLiteral("Orvane company"))
        .Column(QStringLiteral("QuickBooks company file"))
        .Column(QStringLiteral("Payrolls"), true);
    countColumns(summary);
    summary.Column(QStringLiteral("Problems"), true);
    for (const TBureauCompanyResult& c : companies) {
        const TBureauTotals t = BureauTotals({c});
        QStringList cells{CompanyLabel(c), c.Entry.CompanyFile};
        for (const int n : {t.PayrollsExported, t.ChecksAdded, t.ChecksExisted, t.ChecksFailed,
                            t.DepositsAdded, t.Voids, t.JournalEntries})
            cells << QString::number(n);
        cells << MoneyToStr(t.NetPay) << MoneyToStr(t.Journal)
              << QString::number(c.Problems.size());
        summary.Row(cells, c.NeedsAttention() ? QStringLiteral("attention") : QString());
    }
    h += summary.Html();
    for (const TBureauCompanyResult& c : companies) {
        h += Format("<h2%s>%s</h2>\n",
                    {c.NeedsAttention() ? QStringLiteral(" class=\"attention\"") : QString(),
                     HtmlText(CompanyLabel(c))});
        if (c.Exports.isEmpty())
            h += QStringLiteral("<p>No new payrolls.</p>\n");
        THtmlTable exports;
        exports.Column(QStringLiteral("Payroll"))
            .Column(QStringLiteral("Report"))
            .Column(QStringLiteral("State"));
        countColumns(exports);
        exports.Column(QStringLiteral("Note"));
        for (const TBureauExport& e : c.Exports) {
            QStringList cells{e.Caption + QStringLiteral(" (") + e.Payroll + u')',
                              LedgerText(e.Kind), StateText(e, header.Preview)};
            for (const int n : {e.Checks.ChecksAdded, e.Checks.ChecksExisted, e.Checks.Errors,
                                e.Checks.DepositsAdded, e.Checks.ChecksVoided, e.JournalEntries})
                cells << QString::number(n);
            cells << MoneyToStr(e.NetPay) << MoneyToStr(e.Journal) << e.Note;
            exports.Row(cells);
        }
        if (!exports.IsEmpty())
            h += exports.Html();
        if (!c.Problems.isEmpty()) {
            h += QStringLiteral("<ul class=\"attention\">\n");
            for (const QString& problem : c.Problems)
                h += QStringLiteral("<li>") + HtmlText(problem) + QStringLiteral("</li>\n");
            h += QStringLiteral("</ul>\n");
        }
    }
    return h + HtmlDocumentEnd();
}
