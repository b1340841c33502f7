// The runs of the ledger as people read them: one line per run (orvq-cli
// runs), and a run with its records as a plain-text report (orvq-cli runs
// --show, the History tab's printout).
#pragma once

#include "records/LedgerTypes.h"

// The first 8 characters of a run's id, which find it in most ledgers.
QString ShortRunId(const QString& id);
// "12 added, 1 failed" in the outcomes' order; "no records" for none.
QString LedgerCountsText(const QMap<TLedgerOutcome, int>& counts);
// "checks (employee checks)", "gl", "undo of 1a2b3c4d".
QString LedgerRunKindText(const TLedgerRun& run);
// "Harbor Lane Bakery (C:\...\harbor.qbw)".
QString LedgerTargetText(const TLedgerTarget& target);
// "payrolls 101, 102 of Orvane company 34" or "file s1910.txt, 1,234 bytes, SHA-256 ...".
QString LedgerSourceText(const TLedgerSource& source);
// Local time, "yyyy-MM-dd HH:mm:ss"; empty for an invalid one.
QString LedgerTimeDisplay(const QDateTime& utc);
// kind, key, label, company, time recorded and the run's short id, two
// blanks apart: "orvane company  34  Harbor Lane Bakery  Harbor Lane Bakery (...)  ...".
QString LedgerPairingLine(const TLedgerPairing& pairing);
// "check 1001 Jane Doe (failed): why", a record that needs a look.
QString LedgerRecordProblem(const TLedgerRecordIntent& record, const QString& outcome,
                            const QString& message);
// id, time, kind, target company, counts and state, two blanks apart.
QString LedgerRunLine(const TLedgerRun& run);
// "payrolls 101, 102 of Orvane company 34" or "file s1910.txt"; empty for
// none.
QString LedgerSourceName(const TLedgerSource& source);
// Where the run's report came from, short, with its records' check dates:
// "payrolls 101, 102 of Orvane company 34; check date 3/8/2024", "file
// s1910.txt; check dates 3/1/2024 to 3/8/2024"; empty for an undo.
QString LedgerSourceShortText(const TLedgerRun& run);
// What the run did with money: added (a preview: would add; an undo:
// deleted).
Currency LedgerRunAmount(const TLedgerRun& run);
// "finished", "failed", "cancelled, 48 records not exported: 2 checks
// added" (the user's cancel ended it: what it did), and when
// an undo among runs took it back: "undone by 1a2b3c4d on 2024-03-08 10:15:02".
QString LedgerRunStateText(const TLedgerRun& run, const QList<TLedgerRun>& runs);
// The run's fields, one a line, then its records as a table of cells apart
// by TABs, each cell on one line; lines end with "\n". Control and
// bidirectional characters of every text are escaped.
QString LedgerRunReport(const TLedgerRun& run, const QList<TLedgerRecord>& records);
// The printed run report: title, company, source, who and when, the run's
// id and state, its records, and totals per kind and outcome and per
// account.
QString LedgerRunReportHtml(const TLedgerRun& run, const QList<TLedgerRecord>& records,
                            const QString& stateText);
