#include "ledger/LedgerSchema.h"

#include "records/LedgerTypes.h"

namespace {

// Version 1. Texts are NOT NULL (empty when absent); times are UTC text;
// amounts are Currency's ten-thousandths.
const char* const SchemaV1[] = {
    "CREATE TABLE runs (run_id TEXT PRIMARY KEY, kind TEXT NOT NULL, state TEXT NOT NULL, "
    "started_at TEXT NOT NULL, ended_at TEXT NOT NULL, heartbeat_at TEXT NOT NULL, "
    "os_user TEXT NOT NULL, computer TEXT NOT NULL, program_version TEXT NOT NULL, "
    "report_kind TEXT NOT NULL, orvane_company TEXT NOT NULL, file_name TEXT NOT NULL, "
    "file_size BIGINT NOT NULL, file_sha256 TEXT NOT NULL, company_file TEXT NOT NULL, "
    "company_name TEXT NOT NULL, options TEXT NOT NULL, target_run_id TEXT NOT NULL, "
    "message TEXT NOT NULL)",
    "CREATE INDEX runs_started ON runs (started_at)",
    "CREATE INDEX runs_company_file ON runs (company_file)",
    "CREATE INDEX runs_target ON runs (target_run_id)",
    // The payrolls of a service run, in the order given.
    "CREATE TABLE run_payrolls (run_id TEXT NOT NULL, payroll_index INTEGER NOT NULL, "
    "orvane_company TEXT NOT NULL, payroll TEXT NOT NULL, report_kind TEXT NOT NULL, "
    "PRIMARY KEY (run_id, payroll_index))",
    "CREATE INDEX run_payrolls_payroll ON run_payrolls (orvane_company, report_kind, payroll)",
    "CREATE TABLE records (run_id TEXT NOT NULL, seq INTEGER NOT NULL, kind TEXT NOT NULL, "
    "number TEXT NOT NULL, txn_date TEXT NOT NULL, payee TEXT NOT NULL, amount BIGINT NOT NULL, "
    "accounts TEXT NOT NULL, outcome TEXT NOT NULL, txn_id TEXT NOT NULL, "
    "edit_sequence TEXT NOT NULL, message TEXT NOT NULL, PRIMARY KEY (run_id, seq))",
    "CREATE INDEX records_txn ON records (txn_id)",
    "CREATE TABLE pairings (kind TEXT NOT NULL, pair_key TEXT NOT NULL, label TEXT NOT NULL, "
    "company_file TEXT NOT NULL, company_name TEXT NOT NULL, recorded_at TEXT NOT NULL, "
    "run_id TEXT NOT NULL, PRIMARY KEY (kind, pair_key))",
    "CREATE TABLE company_map (orvane_company TEXT PRIMARY KEY, company_file TEXT NOT NULL, "
    "cash_account TEXT NOT NULL, liability_account TEXT NOT NULL, checks_kind TEXT NOT NULL, "
    "post_gl INTEGER NOT NULL, clear_checks INTEGER NOT NULL, include_dd INTEGER NOT NULL, "
    "payee_names INTEGER NOT NULL)",
    "CREATE TABLE claims (orvane_company TEXT NOT NULL, payroll TEXT NOT NULL, "
    "report_kind TEXT NOT NULL, token TEXT NOT NULL, workstation TEXT NOT NULL, "
    "claimed_at TEXT NOT NULL, expires_at TEXT NOT NULL, "
    "PRIMARY KEY (orvane_company, payroll, report_kind))",
};

const QStringList LedgerTables{"runs",        "run_payrolls", "records",       "pairings",
                               "company_map", "claims",       "ledger_version"};

// Version 2: a map row keeps the QuickBooks company its file held when it
// was added, and who changed it when. A row from before takes the name of
// the pairing that posted its Orvane company into the same file; one
// without stays empty, and the bureau refuses it until it is added again.
void RecordMapCompanies(TLedgerDb& db) {
    for (const char* column : {"company_name", "changed_by", "changed_at"})
        db.Exec(u"ALTER TABLE company_map ADD COLUMN " + QLatin1String(column) +
                u" TEXT NOT NULL DEFAULT ''");
    db.Exec(QStringLiteral(
                "UPDATE company_map SET company_name = COALESCE((SELECT p.company_name FROM "
                "pairings p WHERE p.kind = ? AND p.pair_key = company_map.orvane_company AND "
                "p.company_file = company_map.company_file), '')"),
            {LedgerText(lpaOrvaneCompany)});
}

// Version 3: the process that writes a run, so that a run of this computer
// whose process is gone reads as interrupted at once.
void AddRunProcess(TLedgerDb& db) {
    db.Exec(QStringLiteral("ALTER TABLE runs ADD COLUMN process_id BIGINT NOT NULL DEFAULT 0"));
    db.Exec(QStringLiteral("ALTER TABLE runs ADD COLUMN process_started TEXT NOT NULL DEFAULT ''"));
}

// Version 4: how an unknown outcome was settled by a later run.
void AddRecordNotes(TLedgerDb& db) {
    db.Exec(QStringLiteral("ALTER TABLE records ADD COLUMN note TEXT NOT NULL DEFAULT ''"));
}

} // namespace

const TLedgerUpgradeSteps& LedgerUpgradeSteps() {
    static const TLedgerUpgradeSteps steps{
        {1, RecordMapCompanies}, {2, AddRunProcess}, {3, AddRecordNotes}};
    return steps;
}

int CurrentLedgerVersion() {
    return 1 + static_cast<int>(LedgerUpgradeSteps().size());
}

void PrepareLedgerSchema(TLedgerDb& db, const TLedgerUpgradeSteps& steps) {
    const int target = 1 + static_cast<int>(steps.size());
    const auto refuseNewer = [&](int version) {
        if (version > target)
            throw ELedgerError(
                u"The run ledger \"" + db.Location().Display() +
                u"\" was written by a newer version of the program (ledger version " +
                QString::number(version) + u"; this version knows ledger versions up to " +
                QString::number(target) +
                u"). Update the program on this computer. Posting stops: nothing may be posted "
                u"without a record in the ledger.");
    };
    const int found = db.SchemaVersion();
    refuseNewer(found);
    if (found == target)
        return;
    db.Write([&] {
        db.LockSchema();
        // Another program may have done it while this one waited.
        int version = db.SchemaVersion();
        refuseNewer(version);
        if (version == 0) {
            if (db.HoldsForeignTables(LedgerTables))
                throw ELedgerError(u"\"" + db.Location().Display() +
                                   u"\" is not a run ledger: it holds other data. Point the "
                                   u"alias \"Ledger\" at a new file or database. Posting stops: "
                                   u"nothing may be posted without a record in the ledger.");
            for (const char* statement : SchemaV1)
                db.Exec(QString::fromLatin1(statement));
            version = 1;
        }
        for (; version < target; ++version) {
            const TLedgerUpgradeStep& step = steps[version - 1];
            OrvAssert(step.FromVersion == version);
            step.Apply(db);
        }
        db.SetSchemaVersion(target);
    });
}
