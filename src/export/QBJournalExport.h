// The journal entry export: the parsed S348 journal checked against the
// QuickBooks company, then posted as one journal entry.
#pragma once

#include "export/ExportObserver.h"
#include "quickbooks/QBConnection.h"
#include "reports/OrvGLParser.h"
#include "settings/QBDecl.h"

#include <QStringList>

// Memo of the journal entry and of each of its lines.
extern const QString JournalMemo; // "Payroll from Orvane"
// Macro of the add request: a later request of its set names the entry by it.
extern const QString JournalMacro; // "TxnID:JournalEntry"

// True when the journal may be exported: one company code, one date, every
// account (and class or customer, as the tag parsing says) known to
// QuickBooks. Every problem found is logged as an error. Names are compared
// without regard to letter case, as QuickBooks does. QuickBooks errors are
// logged in the block and travel on.
bool ValidateJournal(TQBConnection& qb, const TGLRecordArray& records,
                     const TQBGLExportParam& param);

// How an export that did not fail left the journal entry.
enum TJournalExportState {
    jesDone,         // created, and marked cleared when asked
    jesNotCleared,   // created, but its clearing failed or its outcome is unknown
    jesStateUnknown, // the answer to the add was lost: it may have been created
};
struct TJournalExportResult {
    TJournalExportState State = jesDone;
    // Unless done: what the user is told (logged as a warning already): the
    // entry's date, number and TxnID as far as known, and what to do.
    QString Warning;
};

// Creates the journal entry: a debit line and a credit line for each record
// with such an amount, in record order, naming accounts, classes and
// customers as QuickBooks spells them. Nothing is posted unless the single
// add request is accepted; with `param.Clear` the entry is then marked
// cleared, in the add's request set unless `param.BatchSize` is 1. A journal
// without amounts or with a value QuickBooks cannot store is refused before
// anything is sent. Throws EztException (EQBStatusError for QuickBooks'
// refusals) only when nothing was posted; an entry that may be in QuickBooks
// (its clearing failed, or an answer was lost) is logged and returned.
// The observer, when given, hears the entry and its clearing before their
// set is sent and what became of them after, with the entry's TxnID and its
// EditSequence (read again after the clearing).
TJournalExportResult ExportJournal(TQBConnection& qb, const TGLRecordArray& records,
                                   const TQBGLExportParam& param,
                                   IExportObserver* observer = nullptr);

// The journal entries QuickBooks holds on the date, in the ledger's terms:
// the date, the debits' total, TxnID and EditSequence; keys 0, 1, ...
TExportNotes JournalEntriesOn(TQBConnection& qb, const QDate& date);
// Marks the entries cleared, one after the other; the observer hears of each
// clearing before it is sent and of what became of it after. A failure
// travels on once the observer heard it.
void ClearJournalEntries(TQBConnection& qb, const TExportNotes& entries, IExportObserver& observer);

// Throws EztException when no record has a debit or credit amount: such a
// journal makes no entry.
void RequireJournalAmounts(const TGLRecordArray& records);

// The names of `names` that `known` lacks, compared as QuickBooks compares
// them (letter case and blanks around ignored): sorted that way, each kept once in the form met
// first. Linear in both lists (hashing), so a large journal against a large company stays fast.
QStringList MissingNames(const QStringList& known, const QStringList& names);
