// The checks and deposits export: check records of an S1910 or S1911 report
// become QuickBooks checks, deposits (direct-deposit pay returned) and voids,
// against the cash and liability accounts of the options. Transactions that
// QuickBooks already holds are recognised and counted instead of created.
#pragma once

#include "base/vlxCancelToken.h"
#include "export/ExportObserver.h"
#include "export/ProgramTransactions.h"
#include "quickbooks/QBConnection.h"
#include "reports/orvchecksparser.h"
#include "settings/QBDecl.h"

struct TChecksExportResult {
    int ChecksAdded = 0;
    int ChecksExisted = 0;
    int ChecksVoided = 0;
    int ChecksAlreadyVoided = 0;
    int DepositsAdded = 0;
    int DepositsExisted = 0;
    int Errors = 0; // records whose processing failed
    // Records never begun because the run was cancelled.
    int NotExported = 0;
    bool Cancelled = false;

    friend bool operator==(const TChecksExportResult& a, const TChecksExportResult& b) {
        return a.ChecksAdded == b.ChecksAdded && a.ChecksExisted == b.ChecksExisted &&
               a.ChecksVoided == b.ChecksVoided && a.ChecksAlreadyVoided == b.ChecksAlreadyVoided &&
               a.DepositsAdded == b.DepositsAdded && a.DepositsExisted == b.DepositsExisted &&
               a.Errors == b.Errors && a.NotExported == b.NotExported && a.Cancelled == b.Cancelled;
    }
};

// Direct-deposit pay: a check number of exactly 8 characters or one with "-".
bool IsDirectDepositCheck(const TCheckRecord& record);

// Exports every record, each in its own log block; a record that fails is
// logged there, counted in Errors, and the export goes on. The requests of
// many records travel in request sets of up to `options.BatchSize`; what
// the run logs and does is the same for any batch size. A record whose
// request set's answer was lost and not recovered fails with "state
// unknown: check QuickBooks" and is not sent again. A void (negative
// amount) of a check number whose add failed in this run, or whose add's
// state is unknown, fails too and posts nothing, so a re-run voids the check
// instead of leaving returned pay beside it. The accounts of
// the options are taken in QuickBooks' spelling (letter case and blanks
// around ignored). Throws (after logging) only when the initial queries fail
// or QuickBooks lacks one of the accounts, before anything is posted;
// records must not be empty.
// The watch hears the records done after each request set; a cancel is
// taken between sets: no record is begun after it, and the records begun
// are finished (a check is voided, cleared as the options say), so nothing
// is left half-posted.
// The observer, when given, hears every record: the changes of a request set
// before it is sent, what became of each record after (with the TxnID and
// EditSequence QuickBooks holds, read again after a clearing or a void). When it
// throws, nothing more is sent and its error leaves the export (logged).
// With `options.Clear` and `ours` (what the ledger holds of earlier runs into
// the company), a check or deposit QuickBooks holds already that an earlier
// run added is marked cleared unless it was seen cleared; one no run added
// is settled as differing: "exists, not marked cleared".
TChecksExportResult ExportChecks(TQBConnection& connection, const TCheckRecords& records,
                                 const TQBChecksExportParam& options, const TRunWatch& watch = {},
                                 IExportObserver* observer = nullptr,
                                 const TProgramTransactions* ours = nullptr);

// "successfully completed: 2 checks added, 0 checks voided, ...";
// "cancelled, 650 records not exported: 350 checks added, ..."
QString FormatChecksExportResult(const TChecksExportResult& result);
