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

namespace {

struct TColumn {
    const char* Title;
    QString (*Text)(const TExportNote&);
    // The program's own number: right-aligned, and never taken for a formula.
    bool Amount;
    // The CSV's value when it differs from the text shown: a data file's
    // amount stays a plain number.
    QString (*Data)(const TExportNote&) = nullptr;
};

const TColumn Columns[] = {
    {"Action", [](const TExportNote& n) { return PreviewActionText(n); }, false},
    {"Number", [](const TExportNote& n) { return n.Number; }, false},
    {"Date", [](const TExportNote& n) { return DateToStr(n.Date); }, false},
    {"Payee", [](const TExportNote& n) { return n.Payee; }, false},
    {"Amount", [](const TExportNote& n) { return MoneyToStr(n.Amount); }, true,
     [](const TExportNote& n) { return n.Amount.ToFixed(2, RegionalSettings().DecimalSeparator); }},
    {"Detail", [](const TExportNote& n) { return n.Message; }, false},
};
constexpr int ColumnCount = int(std::size(Columns));

QString Pad(const QString& text, int width, bool right) {
    return right ? text.rightJustified(width) : text.leftJustified(width);
}

// A cell of the table: one line, nothing a terminal would act on.
QStringList TableCells(const TExportNote& item) {
    QStringList cells;
    for (const TColumn& c : Columns)
        cells << EscapeControlCharsInLine(c.Text(item));
    return cells;
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

namespace {

// The entry's lines under their titles, amounts right-aligned.
QString JournalLinesTable(const TRunPreview& p) {
    QList<QStringList> rows{{QStringLiteral("Account"), QStringLiteral("Class or customer"),
                             QStringLiteral("Debit"), QStringLiteral("Credit")}};
    for (const TPreviewJournalLine& line : p.JournalLines)
        rows << QStringList{line.Account, line.ClassOrName,
                            line.Debit.IsZero() ? QString() : MoneyToStr(line.Debit),
                            line.Credit.IsZero() ? QString() : MoneyToStr(line.Credit)};
    QList<int> widths(4, 0);
    for (const QStringList& row : rows)
        for (int i = 0; i < 4; ++i)
            widths[i] = std::max(widths[i], int(row[i].size()));
    QString out = QStringLiteral("Journal entry lines\n");
    for (const QStringList& row : rows) {
        QStringList cells;
        for (int i = 0; i < 4; ++i)
            cells << Pad(row[i], widths[i], i >= 2);
        out += cells.join(QStringLiteral("  ")).trimmed() + u'\n';
    }
    return out + QStringLiteral("Journal entry totals: ") + p.JournalTotals() + u'\n';
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
        QList<QStringList> rows;
        for (const TExportNote& item : p.Items)
            rows << TableCells(item);
        QList<int> widths;
        for (const TColumn& c : Columns)
            widths << int(qstrlen(c.Title));
        for (const QStringList& cells : rows)
            for (int i = 0; i < ColumnCount; ++i)
                widths[i] = std::max(widths[i], int(cells[i].size()));
        QStringList line;
        for (int i = 0; i < ColumnCount; ++i)
            line << Pad(QString::fromLatin1(Columns[i].Title), widths[i], Columns[i].Amount);
        out += line.join(QStringLiteral("  ")).trimmed() + u'\n';
        for (const QStringList& cells : rows) {
            line.clear();
            for (int i = 0; i < ColumnCount; ++i)
                line << Pad(cells[i], widths[i], Columns[i].Amount);
            out += line.join(QStringLiteral("  ")).trimmed() + u'\n';
        }
        out += QStringLiteral("Totals: ") + p.Summary() + u'\n';
        if (!p.JournalLines.isEmpty())
            out += JournalLinesTable(p);
    }
    return out;
}

QString PreviewCsv(const QList<TRunPreview>& previews) {
    QStringList header{QStringLiteral("Run"), QStringLiteral("Company")};
    for (const TColumn& c : Columns)
        header << QString::fromLatin1(c.Title);
    QString out = header.join(u',') + QStringLiteral("\r\n");
    for (const TRunPreview& p : previews) {
        for (const TExportNote& item : p.Items) {
            QStringList fields{CsvText(p.RunName), CsvText(p.Target.CompanyName)};
            for (const TColumn& c : Columns)
                fields << (c.Amount ? CsvQuoted(c.Data ? c.Data(item) : c.Text(item))
                                    : CsvText(c.Text(item)));
            out += fields.join(u',') + QStringLiteral("\r\n");
        }
    }
    return out;
}
