#include "runs/RunPreview.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"
#include "runs/CompanyGuard.h"

#include <algorithm>

QString PreviewActionText(const TExportNote& item) {
    switch (item.Outcome) {
    case loWouldAdd:
        return item.Kind == lekDeposit ? QStringLiteral("would add as returned deposit")
                                       : QStringLiteral("would add");
    case loWouldVoid:
        return QStringLiteral("would void");
    case loAlreadyExisted:
        return QStringLiteral("already exists");
    case loDiffers:
        return QStringLiteral("exists with differences");
    case loSkipped:
        return QStringLiteral("skipped");
    case loInvalid:
    case loFailed:
    case loStateUnknown:
        return QStringLiteral("invalid");
    default:
        return LedgerText(item.Outcome);
    }
}

bool IsPreviewProblem(const TExportNote& item) {
    switch (item.Outcome) {
    case loWouldAdd:
        return !item.Message.isEmpty();
    case loWouldVoid:
    case loAlreadyExisted:
    case loSkipped:
        return false;
    default:
        return true;
    }
}

QList<TPreviewTotal> TRunPreview::Totals() const {
    QList<TPreviewTotal> totals;
    for (const TExportNote& item : Items) {
        const QString action = PreviewActionText(item);
        auto it = std::find_if(totals.begin(), totals.end(),
                               [&](const TPreviewTotal& t) { return t.Action == action; });
        if (it == totals.end())
            it = totals.insert(totals.end(), TPreviewTotal{action, 0, {}});
        ++it->Count;
        it->Amount += item.Amount;
    }
    return totals;
}

int TRunPreview::Problems() const {
    return int(std::count_if(Items.begin(), Items.end(), IsPreviewProblem));
}

QString TRunPreview::Summary() const {
    QStringList parts;
    for (const TPreviewTotal& t : Totals())
        parts << Format("%d %s (%s)", {t.Count, t.Action, MoneyToStr(t.Amount)});
    return parts.isEmpty() ? QStringLiteral("nothing to post") : parts.join(QStringLiteral(", "));
}

QString TRunPreview::JournalTotals() const {
    if (JournalLines.isEmpty())
        return QString();
    Currency debit, credit;
    for (const TPreviewJournalLine& line : JournalLines) {
        debit += line.Debit;
        credit += line.Credit;
    }
    return Format("Debit %s, credit %s", {MoneyToStr(debit), MoneyToStr(credit)});
}

void TPreviewCollector::Sending(const TExportNotes& records) {
    // Never heard: the preview's connection refuses such a set anyway.
    if (m_next)
        m_next->Sending(records);
}

void TPreviewCollector::Settled(const TExportNotes& records) {
    // In report order, however the requests travelled.
    TExportNotes& items = m_preview.Items;
    for (const TExportNote& note : records) {
        if (note.Kind == lekClearing)
            continue;
        const auto at =
            std::upper_bound(items.begin(), items.end(), note.Key,
                             [](int key, const TExportNote& item) { return key < item.Key; });
        items.insert(at, note);
    }
    if (m_next)
        m_next->Settled(records);
}

const TTableColumns<TExportNote>& PreviewColumns() {
    static const TTableColumns<TExportNote> columns{
        {"Action", fkString, PreviewActionText},
        {"Number", fkString, [](const TExportNote& n) { return n.Number; }},
        {"Date", fkDate, [](const TExportNote& n) { return n.Date; }},
        {"Payee", fkString, [](const TExportNote& n) { return n.Payee; }},
        {"Amount", fkCurrency, [](const TExportNote& n) { return n.Amount; }},
        {"Detail", fkString, [](const TExportNote& n) { return n.Message; }},
    };
    return columns;
}

namespace {

// An amount of nothing is left blank.
TTableCell AmountOrNone(Currency amount) {
    return amount.IsZero() ? TTableCell() : TTableCell(amount);
}

} // namespace

const TTableColumns<TPreviewJournalLine>& JournalLineColumns() {
    static const TTableColumns<TPreviewJournalLine> columns{
        {"Account", fkString, [](const TPreviewJournalLine& l) { return l.Account; }},
        {"Class or customer", fkString, [](const TPreviewJournalLine& l) { return l.ClassOrName; },
         "ClassOrName"},
        {"Debit", fkCurrency, [](const TPreviewJournalLine& l) { return AmountOrNone(l.Debit); }},
        {"Credit", fkCurrency, [](const TPreviewJournalLine& l) { return AmountOrNone(l.Credit); }},
    };
    return columns;
}

namespace {

QString Pad(const QString& text, int width, bool right) {
    return right ? text.rightJustified(width) : text.leftJustified(width);
}

// The rows under the columns' titles, each column as wide as its widest
// cell, numbers right-aligned; a cell is one line, with nothing a terminal
// would act on.
template <typename TRow, typename TRows>
QString TextTable(const TTableColumns<TRow>& columns, const TRows& rows) {
    QList<QStringList> lines{{}};
    for (const TTableColumn<TRow>& c : columns)
        lines.first() << c.Title;
    for (const TRow& row : rows) {
        QStringList cells;
        for (const TTableColumn<TRow>& c : columns)
            cells << EscapeControlCharsInLine(c.Value(row).Text(c.Kind));
        lines << cells;
    }
    QList<int> widths(columns.size(), 0);
    for (const QStringList& cells : lines)
        for (int i = 0; i < widths.size(); ++i)
            widths[i] = std::max(widths[i], int(cells[i].size()));
    QString out;
    for (const QStringList& cells : lines) {
        QStringList padded;
        for (int i = 0; i < widths.size(); ++i)
            padded << Pad(cells[i], widths[i], AlignsRight(columns[size_t(i)].Kind));
        out += padded.join(QStringLiteral("  ")).trimmed() + u'\n';
    }
    return out;
}

// What a spreadsheet would evaluate: a formula's first character, also
// behind blanks it may drop, or a TAB or line break before one.
bool LooksLikeFormula(const QString& text) {
    for (const QChar c : text) {
        if (c != u' ')
            return QStringLiteral("=+-@\t\r\n").contains(c);
    }
    return false;
}

QString CsvQuoted(QString text) {
    if (text.contains(u',') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r'))
        return u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
    return text;
}

// Text from outside, as a spreadsheet shows it and never evaluates it.
QString CsvText(const QString& text) {
    QString field = EscapeControlChars(text);
    if (LooksLikeFormula(field))
        field.prepend(u'\'');
    return CsvQuoted(field);
}

} // namespace

QString FormatPreviewTable(const QList<TRunPreview>& previews) {
    QString out;
    for (const TRunPreview& p : previews) {
        out += EscapeControlCharsInLine(QStringLiteral("Preview of ") + p.RunName) + u'\n';
        out += EscapeControlCharsInLine(OpenCompanyText(p.Target)) + u'\n';
        if (!p.CompanyQuestion.isEmpty())
            out += EscapeControlCharsInLine(QStringLiteral("Posting would ask: ") +
                                            p.CompanyQuestion) +
                   u'\n';
        out += TextTable(PreviewColumns(), p.Items);
        out += QStringLiteral("Totals: ") + p.Summary() + u'\n';
        if (!p.JournalLines.isEmpty())
            out += QStringLiteral("Journal entry lines\n") +
                   TextTable(JournalLineColumns(), p.JournalLines) +
                   QStringLiteral("Journal entry totals: ") + p.JournalTotals() + u'\n';
    }
    return out;
}

QString PreviewCsv(const QList<TRunPreview>& previews) {
    QStringList header{QStringLiteral("Run"), QStringLiteral("Company")};
    for (const TTableColumn<TExportNote>& c : PreviewColumns())
        header << c.Title;
    QString out = header.join(u',') + QStringLiteral("\r\n");
    for (const TRunPreview& p : previews) {
        for (const TExportNote& item : p.Items) {
            QStringList fields{CsvText(p.RunName), CsvText(p.Target.CompanyName)};
            // The amount, the program's own number, is never taken for a formula.
            for (const TTableColumn<TExportNote>& c : PreviewColumns()) {
                const QString data = c.Value(item).DataText(c.Kind);
                fields << (c.Kind == fkCurrency ? CsvQuoted(data) : CsvText(data));
            }
            out += fields.join(u',') + QStringLiteral("\r\n");
        }
    }
    return out;
}
