// What an export run would do, gathered while a preview runs: the record of
// each transaction as the export decided it (would add, would void, already
// exists, exists with differences, invalid) and the company it would post
// into. The command line prints it as a table or CSV; the window shows it
// in a grid.
#pragma once

#include "export/ExportObserver.h"
#include "table/TableColumns.h"

#include <QList>
#include <QString>

struct TPreviewTotal {
    QString Action; // PreviewActionText
    int Count = 0;
    Currency Amount;
};

// One line of the journal entry a GL preview would add.
struct TPreviewJournalLine {
    QString Account;
    QString ClassOrName; // class or customer; empty for none
    Currency Debit;
    Currency Credit;
};

struct TRunPreview {
    QString RunName; // "Orvane Employee Checks Export"
    TLedgerTarget Target;
    QString RunId; // the preview's run in the ledger
    // What posting would ask about the company; empty when nothing.
    QString CompanyQuestion;
    TExportNotes Items;
    // A journal's preview: the lines of its entry, in the order posted.
    QList<TPreviewJournalLine> JournalLines;

    // In the order actions first appear.
    QList<TPreviewTotal> Totals() const;
    int Problems() const;
    // "2 would add (2,230.39), 1 already exists (980.29)"
    QString Summary() const;
    // "Debit 1,500.00, credit 1,500.00"; empty without journal lines.
    QString JournalTotals() const;
};

// The columns of a preview's records and of a journal's entry lines, for
// the table, the CSV and the window's grids alike.
const TTableColumns<TExportNote>& PreviewColumns();
const TTableColumns<TPreviewJournalLine>& JournalLineColumns();

// "would add", "would void", "would add as returned deposit", "already
// exists", "exists with differences", "invalid", "skipped".
QString PreviewActionText(const TExportNote& item);
// Asks for a look before posting: invalid, different from what QuickBooks
// holds, or added although the date has a journal entry.
bool IsPreviewProblem(const TExportNote& item);

// The records a preview export settles, in the export's order of records,
// handed on to next (the ledger).
class TPreviewCollector : public IExportObserver {
public:
    TPreviewCollector(TRunPreview& preview, IExportObserver* next)
        : m_preview(preview), m_next(next) {}
    void Sending(const TExportNotes& records) override;
    void Settled(const TExportNotes& records) override;

private:
    TRunPreview& m_preview;
    IExportObserver* m_next;
};

// A fixed-width table per preview, with its company and totals; control
// and bidirectional characters of its texts escaped, each cell on one line.
QString FormatPreviewTable(const QList<TRunPreview>& previews);
// One row per record with a header; a field holding a comma, quote or line
// break is quoted. Every text field has its control and bidirectional
// characters escaped, and one that a spreadsheet would take for a formula
// is prefixed with an apostrophe; only the amount, the program's own, is not.
QString PreviewCsv(const QList<TRunPreview>& previews);
