// The ledger's tables and their versions. A new ledger gets the current
// schema; an older one is upgraded one step per version, each step in the
// same transaction as the new version number; a newer one is refused.
#pragma once

#include "ledger/LedgerDb.h"

#include <QList>
#include <functional>

// Changes a ledger of version FromVersion into one of FromVersion + 1.
struct TLedgerUpgradeStep {
    int FromVersion = 0;
    std::function<void(TLedgerDb&)> Apply;
};
using TLedgerUpgradeSteps = QList<TLedgerUpgradeStep>;

// The steps of this program, in order; the version is 1 + their count.
const TLedgerUpgradeSteps& LedgerUpgradeSteps();
int CurrentLedgerVersion();

// Creates or upgrades the ledger to 1 + steps.size(). Throws ELedgerError for
// a newer ledger or a database that holds tables of something else.
void PrepareLedgerSchema(TLedgerDb& db, const TLedgerUpgradeSteps& steps);
