// The requests the checks export sends for a record; what to send is
// decided apart, so the requests of many records can share a set. Each is
// checked as QuickBooks would take it (CheckQBRequest): one record's bad
// value never has a whole set refused.
#pragma once

#include "quickbooks/QBFC7Lib.h"
#include "reports/orvchecksparser.h"
#include "settings/QBDecl.h"

// The check or deposit QuickBooks is to hold for R, against the options'
// accounts; the payee is named only when the options include names.
TQBRequest CheckAddRequest(const TCheckRecord& r, const TQBChecksExportParam& options,
                           const QString& payee);
TQBRequest DepositAddRequest(const TCheckRecord& r, const TQBChecksExportParam& options,
                             const QString& payee);
// The checks of R's number, wherever dated: what a void looks for.
TQBRequest VoidQueryRequest(const TCheckRecord& r);
TQBRequest VoidRequest(const QString& txnID);
TQBRequest ClearingRequest(const QString& txnID);
// The transaction as QuickBooks holds it now, for its EditSequence.
TQBRequest RefreshRequest(bool deposit, const QString& txnID);
