// What the export commands share about posting: --preview (with --csv) and
// the company guard's answer, --confirm-company and --remember-company.
#pragma once

#include "CliSupport.h"

#include "runs/CompanyGuard.h"
#include "runs/RunPreview.h"

// Options taking a value: --csv, --confirm-company. Switches: --preview,
// --remember-company.
extern const QStringList CliPostingOptions;
extern const QStringList CliPostingSwitches;
extern const char* const CliPostingOptionsHelp;

// The guard's answer is always the command line's own: posting into a
// company other than the one the ledger pairs with the report stops unless
// --confirm-company names the open company, and the pairing moves only with
// --remember-company. Throws ECliUsageError for --csv without --preview,
// --remember-company without --confirm-company.
TPostingOptions CliPostingChoice(const TCliOptions& options);

// Prints the previews as a table and writes the CSV file of --csv. Returns
// cecSuccess when nothing asks for a look, cecFailed when something does or
// the file cannot be written.
int FinishCliPreview(TCliEnvironment& env, IUserDialogs& dialogs, const TCliOptions& options,
                     const QList<TRunPreview>& previews);
