#include "ledger/RunLedger.h"

#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"

#include "ledger/LedgerDb.h"
#include "ledger/LedgerSchema.h"
#include "records/LedgerWorkstation.h"

#include <QHash>
#include <QSqlQuery>
#include <QUuid>
#include <algorithm>

namespace {

const QString RunColumns = QStringLiteral(
    "run_id, kind, state, started_at, ended_at, heartbeat_at, os_user, computer, "
    "program_version, report_kind, orvane_company, file_name, file_size, file_sha256, "
    "company_file, company_name, options, target_run_id, message, process_id, process_started");
const QString RecordColumns =
    QStringLiteral("seq, kind, number, txn_date, payee, amount, accounts, outcome, txn_id, "
                   "edit_sequence, message, note");
const QString PairingColumns =
    QStringLiteral("kind, pair_key, label, company_file, company_name, recorded_at, run_id");
const QString MapColumns =
    QStringLiteral("orvane_company, company_file, cash_account, liability_account, checks_kind, "
                   "post_gl, clear_checks, include_dd, payee_names, company_name, changed_by, "
                   "changed_at");
const QString ClaimKey = QStringLiteral("orvane_company = ? AND payroll = ? AND report_kind = ?");

// How many values one IN list binds: far below every engine's limit.
constexpr int InListChunk = 400;

// SELECT columns FROM table [WHERE where] ORDER BY order [LIMIT limit].
QSqlQuery Select(TLedgerDb& db, const QString& columns, const QString& table, const QString& where,
                 QVariantList values, const QString& order, int limit = 0) {
    QString sql = u"SELECT " + columns + u" FROM " + table;
    if (!where.isEmpty())
        sql += u" WHERE " + where;
    sql += u" ORDER BY " + order;
    if (limit > 0) {
        sql += QStringLiteral(" LIMIT ?");
        values << limit;
    }
    return db.Exec(sql, values);
}

QString NewId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString Placeholders(int count) {
    QStringList marks;
    for (int i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return marks.join(u", ");
}

// A stored word this version does not know is damaged or newer data.
template <typename TEnum>
TEnum Parsed(const TLedgerDb& db, const QVariant& value, const char* what) {
    TEnum result{};
    if (!ParseLedgerText(value.toString(), result))
        db.Fail(u"It holds a " + QLatin1String(what) + u" this version does not know: \"" +
                value.toString() + u"\".");
    return result;
}

QVariantList ClaimKeyValues(const TLedgerClaim& claim) {
    return {LedgerValue(claim.OrvaneCompany), LedgerValue(claim.Payroll),
            LedgerText(claim.ReportKind)};
}

QVariantList MapValues(const TBureauMapEntry& e) {
    return {LedgerValue(e.OrvaneCompany),
            LedgerValue(e.CompanyFile),
            LedgerValue(e.CashAccount),
            LedgerValue(e.LiabilityAccount),
            LedgerText(e.ChecksKind),
            int(e.PostGL),
            int(e.Clear),
            int(e.IncludeDD),
            int(e.PayeeNames),
            LedgerValue(e.CompanyName),
            LedgerValue(e.ChangedBy),
            LedgerTimeText(e.Changed)};
}

} // namespace

TRunLedger::TRunLedger(const TLedgerLocation& location, TLedgerOptions options)
    : m_db(std::make_unique<TLedgerDb>(location, options.BusyTimeoutMs)),
      m_options(std::move(options)) {
    if (m_options.Identity.OsUser.isEmpty() && m_options.Identity.Computer.isEmpty())
        m_options.Identity = TLedgerIdentity::ThisWorkstation(m_options.Identity.ProgramVersion);
    // The process is this one, whoever the identity names.
    if (m_options.Identity.Process.Id == 0)
        m_options.Identity.Process = ThisOsProcess();
    PrepareLedgerSchema(*m_db, LedgerUpgradeSteps());
    // Leases and claims written by several workstations are compared on one
    // clock: the server's.
    if (!m_options.Clock)
        m_serverOffsetMs = m_db->ServerClockOffsetMs();
}

TRunLedger::~TRunLedger() = default;

const TLedgerLocation& TRunLedger::Location() const {
    return m_db->Location();
}

int TRunLedger::Version() {
    return m_db->SchemaVersion();
}

QDateTime TRunLedger::Now() const {
    if (m_options.Clock)
        return m_options.Clock().toUTC();
    return QDateTime::currentDateTimeUtc().addMSecs(m_serverOffsetMs);
}

void TRunLedger::Touch(const QString& runId, const QDateTime& now) {
    QSqlQuery q = m_db->Exec(
        QStringLiteral("UPDATE runs SET heartbeat_at = ? WHERE run_id = ? AND state = ?"),
        {LedgerTimeText(now), LedgerValue(runId), LedgerText(lrsRunning)});
    if (q.numRowsAffected() != 1)
        m_db->Fail(u"The run " + runId + u" is not running.");
}

QString TRunLedger::BeginRun(const TLedgerRunStart& start) {
    OrvAssert(start.Kind != lrkUndo || !start.TargetRunId.isEmpty());
    const QString id = NewId();
    const QString now = LedgerTimeText(Now());
    const TLedgerIdentity& who = m_options.Identity;
    const TLedgerSource& source = start.Source;
    m_db->Write([&] {
        m_db->Exec(u"INSERT INTO runs (" + RunColumns + u") VALUES (" + Placeholders(21) + u')',
                   {id,
                    LedgerText(start.Kind),
                    LedgerText(lrsRunning),
                    now,
                    QStringLiteral(""),
                    now,
                    LedgerValue(who.OsUser),
                    LedgerValue(who.Computer),
                    LedgerValue(who.ProgramVersion),
                    LedgerText(start.ReportKind),
                    LedgerValue(source.OrvaneCompany),
                    LedgerValue(source.FileName),
                    source.FileSize,
                    LedgerValue(source.FileSha256),
                    LedgerValue(start.Target.CompanyFile),
                    LedgerValue(start.Target.CompanyName),
                    LedgerValue(start.Options),
                    LedgerValue(start.TargetRunId),
                    QStringLiteral(""),
                    who.Process.Id,
                    LedgerValue(who.Process.Started)});
        QSqlQuery payroll = m_db->Prepare(
            QStringLiteral("INSERT INTO run_payrolls (run_id, payroll_index, orvane_company, "
                           "payroll, report_kind) VALUES (?, ?, ?, ?, ?)"));
        for (int i = 0; i < source.Payrolls.size(); ++i)
            m_db->Run(payroll, {id, i, LedgerValue(source.OrvaneCompany),
                                LedgerValue(source.Payrolls[i]), LedgerText(start.ReportKind)});
    });
    return id;
}

QList<int> TRunLedger::InsertRecords(const QString& runId, const QList<TLedgerRecord>& records) {
    QList<int> seqs;
    if (records.isEmpty())
        return seqs;
    QSqlQuery last = m_db->Exec(
        QStringLiteral("SELECT COALESCE(MAX(seq), 0) FROM records WHERE run_id = ?"), {runId});
    int seq = last.next() ? last.value(0).toInt() : 0;
    last.finish();
    QSqlQuery insert = m_db->Prepare(u"INSERT INTO records (run_id, " + RecordColumns +
                                     u") VALUES (" + Placeholders(13) + u')');
    for (const TLedgerRecord& r : records) {
        m_db->Run(insert,
                  {runId, ++seq, LedgerText(r.Kind), LedgerValue(r.Number), LedgerDateText(r.Date),
                   LedgerValue(r.Payee), r.Amount.Raw(), LedgerValue(r.Accounts),
                   LedgerText(r.Outcome), LedgerValue(r.TxnID), LedgerValue(r.EditSequence),
                   LedgerValue(r.Message), LedgerValue(r.Note)});
        seqs << seq;
    }
    return seqs;
}

void TRunLedger::UpdateOutcomes(const QString& runId, const QList<TLedgerRecordOutcome>& outcomes) {
    if (outcomes.isEmpty())
        return;
    QSqlQuery update = m_db->Prepare(
        QStringLiteral("UPDATE records SET outcome = ?, txn_id = COALESCE(NULLIF(?, ''), txn_id), "
                       "edit_sequence = COALESCE(NULLIF(?, ''), edit_sequence), message = ? "
                       "WHERE run_id = ? AND seq = ?"));
    for (const TLedgerRecordOutcome& o : outcomes) {
        m_db->Run(update, {LedgerText(o.Outcome), LedgerValue(o.TxnID), LedgerValue(o.EditSequence),
                           LedgerValue(o.Message), runId, o.Seq});
        if (update.numRowsAffected() != 1)
            m_db->Fail(u"The run " + runId + u" has no record " + QString::number(o.Seq) + u'.');
    }
}

QList<int> TRunLedger::WriteIntents(const QString& runId,
                                    const QList<TLedgerRecordIntent>& records) {
    QList<TLedgerRecord> pending;
    for (const TLedgerRecordIntent& intent : records) {
        TLedgerRecord r;
        static_cast<TLedgerRecordIntent&>(r) = intent;
        pending << r;
    }
    return WriteRecords(runId, {}, pending);
}

void TRunLedger::WriteOutcomes(const QString& runId, const QList<TLedgerRecordOutcome>& outcomes) {
    WriteRecords(runId, outcomes, {});
}

QList<int> TRunLedger::WriteRecords(const QString& runId,
                                    const QList<TLedgerRecordOutcome>& outcomes,
                                    const QList<TLedgerRecord>& records) {
    QList<int> seqs;
    const QDateTime now = Now();
    m_db->Write([&] {
        Touch(runId, now);
        UpdateOutcomes(runId, outcomes);
        seqs = InsertRecords(runId, records);
    });
    return seqs;
}

void TRunLedger::Heartbeat(const QString& runId) {
    const QDateTime now = Now();
    m_db->Write([&] { Touch(runId, now); });
}

void TRunLedger::EndRun(const QString& runId, TLedgerRunState state, const QString& message) {
    OrvAssert(state == lrsFinished || state == lrsFailed);
    const QString now = LedgerTimeText(Now());
    m_db->Write([&] {
        m_db->Exec(
            QStringLiteral("UPDATE records SET outcome = ? WHERE run_id = ? AND outcome = ?"),
            {LedgerText(loStateUnknown), runId, LedgerText(loPending)});
        QSqlQuery q = m_db->Exec(
            QStringLiteral("UPDATE runs SET state = ?, ended_at = ?, heartbeat_at = ?, message = ? "
                           "WHERE run_id = ? AND state = ?"),
            {LedgerText(state), now, now, LedgerValue(message), runId, LedgerText(lrsRunning)});
        if (q.numRowsAffected() != 1)
            m_db->Fail(u"The run " + runId + u" is not running.");
    });
}

bool TRunLedger::ProcessKnownHere(const TLedgerRun& run) const {
    return run.Identity.Process.Id != 0 && !run.Identity.Process.Started.isEmpty() &&
           QString::compare(run.Identity.Computer, m_options.Identity.Computer,
                            Qt::CaseInsensitive) == 0;
}

QList<TLedgerRun> TRunLedger::ReadRuns(const QString& where, const QVariantList& values,
                                       const QString& order, int limit) {
    const QDateTime staleBefore = Now().addSecs(-m_options.RunLeaseSeconds);
    QList<TLedgerRun> runs;
    QHash<QString, qsizetype> index;
    {
        QSqlQuery q =
            Select(*m_db, RunColumns, QStringLiteral("runs"), where, values, order, limit);
        while (q.next()) {
            TLedgerRun run;
            run.Id = q.value(0).toString();
            run.Kind = Parsed<TLedgerRunKind>(*m_db, q.value(1), "run kind");
            run.State = Parsed<TLedgerRunState>(*m_db, q.value(2), "run state");
            run.Started = LedgerTime(q.value(3));
            run.Ended = LedgerTime(q.value(4));
            run.Heartbeat = LedgerTime(q.value(5));
            run.Identity = {q.value(6).toString(),
                            q.value(7).toString(),
                            q.value(8).toString(),
                            {q.value(19).toLongLong(), q.value(20).toString()}};
            run.ReportKind = Parsed<TReportKind>(*m_db, q.value(9), "report kind");
            run.Source.OrvaneCompany = q.value(10).toString();
            run.Source.FileName = q.value(11).toString();
            run.Source.FileSize = q.value(12).toLongLong();
            run.Source.FileSha256 = q.value(13).toString();
            run.Target = {q.value(14).toString(), q.value(15).toString()};
            run.Options = q.value(16).toString();
            run.TargetRunId = q.value(17).toString();
            run.Message = q.value(18).toString();
            if (run.State == lrsRunning) {
                const bool here = ProcessKnownHere(run);
                if (!run.Heartbeat.isValid() || run.Heartbeat < staleBefore ||
                    (here && OsProcessGone(run.Identity.Process)))
                    run.State = lrsInterrupted;
                else if (!here)
                    run.LeaseEnds = run.Heartbeat.addSecs(m_options.RunLeaseSeconds);
            }
            index.insert(run.Id, runs.size());
            runs << run;
        }
    }
    // Payrolls and counts, a chunk of runs at a time.
    for (qsizetype from = 0; from < runs.size(); from += InListChunk) {
        QVariantList ids;
        for (qsizetype i = from; i < qMin(runs.size(), from + InListChunk); ++i)
            ids << runs[i].Id;
        const QString in = u" IN (" + Placeholders(int(ids.size())) + u')';
        QSqlQuery payrolls = m_db->Exec(u"SELECT run_id, payroll FROM run_payrolls WHERE run_id" +
                                            in + u" ORDER BY run_id, payroll_index",
                                        ids);
        while (payrolls.next())
            runs[index.value(payrolls.value(0).toString())].Source.Payrolls
                << payrolls.value(1).toString();
        QSqlQuery counts =
            m_db->Exec(u"SELECT run_id, outcome, COUNT(*), SUM(amount), MIN(NULLIF(txn_date, '')), "
                       u"MAX(NULLIF(txn_date, '')) FROM records WHERE run_id" +
                           in + u" GROUP BY run_id, outcome",
                       ids);
        while (counts.next()) {
            TLedgerRun& run = runs[index.value(counts.value(0).toString())];
            TLedgerOutcome outcome = Parsed<TLedgerOutcome>(*m_db, counts.value(1), "outcome");
            if (outcome == loPending && run.State == lrsInterrupted)
                outcome = loStateUnknown;
            run.Counts[outcome] += counts.value(2).toInt();
            run.Amounts[outcome] += Currency::FromRaw(counts.value(3).toLongLong());
            const QDate first = LedgerDate(counts.value(4)), last = LedgerDate(counts.value(5));
            if (first.isValid() && (!run.FirstDate.isValid() || first < run.FirstDate))
                run.FirstDate = first;
            if (last.isValid() && (!run.LastDate.isValid() || last > run.LastDate))
                run.LastDate = last;
        }
    }
    return runs;
}

QList<TLedgerRun> TRunLedger::Runs(const TLedgerRunFilter& filter) {
    const bool byFile = !filter.CompanyFile.isEmpty();
    return ReadRuns(byFile ? QStringLiteral("company_file = ?") : QString(),
                    byFile ? QVariantList{filter.CompanyFile} : QVariantList{},
                    QStringLiteral("started_at DESC, run_id DESC"), filter.Limit);
}

std::optional<TLedgerRun> TRunLedger::FindRun(const QString& idOrPrefix) {
    const QString prefix = idOrPrefix.trimmed().toLower();
    // Ids are lower-case hex and dashes; nothing else can begin one.
    if (prefix.isEmpty() || std::any_of(prefix.begin(), prefix.end(), [](QChar c) {
            return !(c.isDigit() || (c >= u'a' && c <= u'f') || c == u'-');
        }))
        return std::nullopt;
    const QList<TLedgerRun> found = ReadRuns(QStringLiteral("run_id LIKE ?"),
                                             {QString(prefix + u'%')}, QStringLiteral("run_id"), 2);
    if (found.size() > 1)
        throw ELedgerError(u"Several runs have an id beginning with \"" + prefix +
                           u"\": give more of it.");
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

QList<TLedgerRecord> TRunLedger::ReadRecords(const QString& where, const QVariantList& values,
                                             bool interrupted) {
    QList<TLedgerRecord> records;
    QSqlQuery q = Select(*m_db, RecordColumns, QStringLiteral("records"), where, values,
                         QStringLiteral("seq"));
    while (q.next()) {
        TLedgerRecord r;
        r.Seq = q.value(0).toInt();
        r.Kind = Parsed<TLedgerRecordKind>(*m_db, q.value(1), "record kind");
        r.Number = q.value(2).toString();
        r.Date = LedgerDate(q.value(3));
        r.Payee = q.value(4).toString();
        r.Amount = Currency::FromRaw(q.value(5).toLongLong());
        r.Accounts = q.value(6).toString();
        r.Outcome = Parsed<TLedgerOutcome>(*m_db, q.value(7), "outcome");
        if (r.Outcome == loPending && interrupted)
            r.Outcome = loStateUnknown;
        r.TxnID = q.value(8).toString();
        r.EditSequence = q.value(9).toString();
        r.Message = q.value(10).toString();
        r.Note = q.value(11).toString();
        records << r;
    }
    return records;
}

QList<TLedgerRecord> TRunLedger::Records(const QString& runId) {
    const QList<TLedgerRun> run =
        ReadRuns(QStringLiteral("run_id = ?"), {runId}, QStringLiteral("run_id"));
    const bool interrupted = !run.isEmpty() && run.first().State == lrsInterrupted;
    return ReadRecords(QStringLiteral("run_id = ?"), {runId}, interrupted);
}

QList<TLedgerRecord> TRunLedger::Undoable(const QString& runId) {
    return ReadRecords(
        QStringLiteral(
            "run_id = ? AND kind IN (?, ?, ?) AND outcome = ? AND txn_id <> '' AND NOT EXISTS "
            "(SELECT 1 FROM records d JOIN runs u ON u.run_id = d.run_id WHERE "
            "u.target_run_id = records.run_id AND u.kind = ? AND d.kind = ? AND "
            "d.txn_id = records.txn_id AND d.outcome = ?)"),
        {runId, LedgerText(lekCheck), LedgerText(lekDeposit), LedgerText(lekJournalEntry),
         LedgerText(loAdded), LedgerText(lrkUndo), LedgerText(lekDeletion), LedgerText(loDeleted)},
        false);
}

QList<TLedgerRecord> TRunLedger::AddedInto(const TLedgerTarget& target) {
    return ReadRecords(
        QStringLiteral("run_id IN (SELECT r.run_id FROM runs r WHERE r.company_file = ? AND "
                       "r.company_name = ? AND r.kind IN (?, ?)) AND ((kind IN (?, ?, ?) AND "
                       "outcome IN (?, ?, ?)) OR (kind = ? AND outcome = ?))"),
        {LedgerValue(target.CompanyFile), LedgerValue(target.CompanyName), LedgerText(lrkChecks),
         LedgerText(lrkGL), LedgerText(lekCheck), LedgerText(lekDeposit),
         LedgerText(lekJournalEntry), LedgerText(loAdded), LedgerText(loStateUnknown),
         LedgerText(loPending), LedgerText(lekClearing), LedgerText(loCleared)},
        false);
}

void TRunLedger::ResolveRecords(const QString& runId, const QList<TLedgerRecordOutcome>& outcomes,
                                const QString& note) {
    if (outcomes.isEmpty())
        return;
    m_db->Write([&] {
        // Only what is still unknown: another workstation may have settled it.
        QSqlQuery update = m_db->Prepare(QStringLiteral(
            "UPDATE records SET outcome = ?, txn_id = COALESCE(NULLIF(?, ''), txn_id), "
            "edit_sequence = COALESCE(NULLIF(?, ''), edit_sequence), note = ? "
            "WHERE run_id = ? AND seq = ? AND outcome IN (?, ?)"));
        for (const TLedgerRecordOutcome& o : outcomes)
            m_db->Run(update, {LedgerText(o.Outcome), LedgerValue(o.TxnID),
                               LedgerValue(o.EditSequence), LedgerValue(note), runId, o.Seq,
                               LedgerText(loStateUnknown), LedgerText(loPending)});
    });
}

QSet<QString> TRunLedger::HeldTxnIDs(const QStringList& txnIDs) {
    QSet<QString> held;
    for (qsizetype from = 0; from < txnIDs.size(); from += InListChunk) {
        const QStringList chunk = txnIDs.mid(from, InListChunk);
        QVariantList values{LedgerText(lekCheck), LedgerText(lekDeposit),
                            LedgerText(lekJournalEntry), LedgerText(loAdded)};
        for (const QString& id : chunk)
            values << id;
        QSqlQuery q = m_db->Exec(u"SELECT DISTINCT txn_id FROM records WHERE kind IN (?, ?, ?) "
                                 u"AND outcome = ? AND txn_id IN (" +
                                     Placeholders(int(chunk.size())) + u')',
                                 values);
        while (q.next())
            held.insert(q.value(0).toString());
    }
    return held;
}

QList<TLedgerRun> TRunLedger::UndoRunsOf(const QString& runId) {
    return ReadRuns(QStringLiteral("kind = ? AND target_run_id = ?"), {LedgerText(lrkUndo), runId},
                    QStringLiteral("started_at, run_id"));
}

QStringList TRunLedger::ExportedPayrolls(const QString& orvaneCompany, TReportKind kind) {
    QSqlQuery q = m_db->Exec(
        QStringLiteral(
            "SELECT DISTINCT p.payroll FROM run_payrolls p JOIN runs r ON r.run_id = p.run_id "
            "WHERE p.orvane_company = ? AND p.report_kind = ? AND r.kind IN (?, ?) AND "
            "r.state = ? AND NOT EXISTS (SELECT 1 FROM records e WHERE e.run_id = r.run_id AND "
            "e.outcome IN (?, ?, ?, ?)) AND NOT EXISTS (SELECT 1 FROM runs u WHERE "
            "u.target_run_id = r.run_id AND u.kind = ? AND u.state = ?) ORDER BY p.payroll"),
        {LedgerValue(orvaneCompany), LedgerText(kind), LedgerText(lrkChecks), LedgerText(lrkGL),
         LedgerText(lrsFinished), LedgerText(loFailed), LedgerText(loStateUnknown),
         LedgerText(loPending), LedgerText(loNotAdded), LedgerText(lrkUndo),
         LedgerText(lrsFinished)});
    QStringList payrolls;
    while (q.next())
        payrolls << q.value(0).toString();
    return payrolls;
}

QList<TLedgerPairing> TRunLedger::ReadPairings(const QString& where, const QVariantList& values) {
    QList<TLedgerPairing> pairings;
    QSqlQuery q = Select(*m_db, PairingColumns, QStringLiteral("pairings"), where, values,
                         QStringLiteral("kind, pair_key"));
    while (q.next()) {
        TLedgerPairing p;
        p.Kind = Parsed<TLedgerPairingKind>(*m_db, q.value(0), "pairing kind");
        p.Key = q.value(1).toString();
        p.Label = q.value(2).toString();
        p.Target = {q.value(3).toString(), q.value(4).toString()};
        p.Recorded = LedgerTime(q.value(5));
        p.RunId = q.value(6).toString();
        pairings << p;
    }
    return pairings;
}

QList<TLedgerPairing> TRunLedger::Pairings() {
    return ReadPairings(QString(), {});
}

std::optional<TLedgerPairing> TRunLedger::FindPairing(TLedgerPairingKind kind, const QString& key) {
    const QList<TLedgerPairing> found =
        ReadPairings(QStringLiteral("kind = ? AND pair_key = ?"), {LedgerText(kind), key});
    return found.isEmpty() ? std::nullopt : std::optional<TLedgerPairing>(found.first());
}

QList<TLedgerPairing> TRunLedger::PairingsOfCompanyFile(const QString& companyFile) {
    return ReadPairings(QStringLiteral("company_file = ?"), {companyFile});
}

void TRunLedger::RecordPairing(const TLedgerPairing& p) {
    const QDateTime recorded = p.Recorded.isValid() ? p.Recorded : Now();
    QVariantList values{LedgerText(p.Kind),
                        LedgerValue(p.Key),
                        LedgerValue(p.Label),
                        LedgerValue(p.Target.CompanyFile),
                        LedgerValue(p.Target.CompanyName),
                        LedgerTimeText(recorded),
                        LedgerValue(p.RunId)};
    m_db->Write([&] {
        // A first pairing needs only the right to insert, which a
        // workstation's role has; replacing one is the admin role's.
        if (m_db->Exec(u"INSERT INTO pairings (" + PairingColumns + u") VALUES (" +
                           Placeholders(7) + u") ON CONFLICT (kind, pair_key) DO NOTHING",
                       values)
                .numRowsAffected() == 1)
            return;
        values.append(values.takeFirst());
        values.append(values.takeFirst());
        m_db->Exec(QStringLiteral("UPDATE pairings SET label = ?, company_file = ?, company_name = "
                                  "?, recorded_at = ?, run_id = ? WHERE kind = ? AND pair_key = ?"),
                   values);
    });
}

bool TRunLedger::RemovePairing(TLedgerPairingKind kind, const QString& key) {
    int removed = 0;
    m_db->Write([&] {
        removed = m_db->Exec(QStringLiteral("DELETE FROM pairings WHERE kind = ? AND pair_key = ?"),
                             {LedgerText(kind), key})
                      .numRowsAffected();
    });
    return removed > 0;
}

QList<TBureauMapEntry> TRunLedger::ReadMap(const QString& where, const QVariantList& values) {
    QList<TBureauMapEntry> entries;
    QSqlQuery q = Select(*m_db, MapColumns, QStringLiteral("company_map"), where, values,
                         QStringLiteral("orvane_company"));
    while (q.next()) {
        TBureauMapEntry e;
        e.OrvaneCompany = q.value(0).toString();
        e.CompanyFile = q.value(1).toString();
        e.CashAccount = q.value(2).toString();
        e.LiabilityAccount = q.value(3).toString();
        // A row this version cannot read is that company's problem, not
        // the whole map's.
        if (!ParseLedgerText(q.value(4).toString(), e.ChecksKind))
            e.Problem = Format("The company map holds a checks kind this version does not "
                               "know: \"%s\".",
                               {EscapeControlChars(q.value(4).toString().left(64))});
        e.PostGL = q.value(5).toInt() != 0;
        e.Clear = q.value(6).toInt() != 0;
        e.IncludeDD = q.value(7).toInt() != 0;
        e.PayeeNames = q.value(8).toInt() != 0;
        e.CompanyName = q.value(9).toString();
        e.ChangedBy = q.value(10).toString();
        e.Changed = LedgerTime(q.value(11));
        entries << e;
    }
    return entries;
}

TBureauMapEntry TRunLedger::Changed(const TBureauMapEntry& entry) const {
    TBureauMapEntry e = entry;
    const TLedgerIdentity& who = m_options.Identity;
    e.ChangedBy = who.OsUser + QStringLiteral(" on ") + who.Computer;
    // The database's own name for who connected, where it has one.
    if (m_db->Location().Engine == lenPostgreSQL && !m_db->Location().User.isEmpty())
        e.ChangedBy += QStringLiteral(" as ") + m_db->Location().User;
    e.Changed = Now();
    return e;
}

QList<TBureauMapEntry> TRunLedger::CompanyMap() {
    return ReadMap(QString(), {});
}

std::optional<TBureauMapEntry> TRunLedger::MapEntry(const QString& orvaneCompany) {
    const QList<TBureauMapEntry> found =
        ReadMap(QStringLiteral("orvane_company = ?"), {LedgerValue(orvaneCompany)});
    return found.isEmpty() ? std::nullopt : std::optional<TBureauMapEntry>(found.first());
}

void TRunLedger::AddMapEntry(const TBureauMapEntry& entry) {
    if (entry.OrvaneCompany.trimmed().isEmpty())
        throw ELedgerError(QStringLiteral("A row of the company map needs an Orvane company."));
    m_db->Write([&] {
        QSqlQuery q =
            m_db->Exec(u"INSERT INTO company_map (" + MapColumns + u") VALUES (" +
                           Placeholders(12) + u") ON CONFLICT (orvane_company) DO NOTHING",
                       MapValues(Changed(entry)));
        if (q.numRowsAffected() != 1)
            throw ELedgerError(u"Orvane company " + entry.OrvaneCompany +
                               u" is in the company map already.");
    });
}

void TRunLedger::UpdateMapEntry(const TBureauMapEntry& entry) {
    m_db->Write([&] {
        QVariantList values = MapValues(Changed(entry));
        values.append(values.takeFirst());
        QSqlQuery q = m_db->Exec(
            QStringLiteral("UPDATE company_map SET company_file = ?, cash_account = ?, "
                           "liability_account = ?, checks_kind = ?, post_gl = ?, clear_checks = ?, "
                           "include_dd = ?, payee_names = ?, company_name = ?, changed_by = ?, "
                           "changed_at = ? WHERE orvane_company = ?"),
            values);
        if (q.numRowsAffected() != 1)
            throw ELedgerError(u"Orvane company " + entry.OrvaneCompany +
                               u" is not in the company map.");
    });
}

bool TRunLedger::RemoveMapEntry(const QString& orvaneCompany) {
    int removed = 0;
    m_db->Write([&] {
        removed = m_db->Exec(QStringLiteral("DELETE FROM company_map WHERE orvane_company = ?"),
                             {LedgerValue(orvaneCompany)})
                      .numRowsAffected();
    });
    return removed > 0;
}

TLedgerClaim TRunLedger::Claim(const QString& orvaneCompany, const QString& payroll,
                               TReportKind kind, int seconds) {
    TLedgerClaim claim;
    claim.OrvaneCompany = orvaneCompany;
    claim.Payroll = payroll;
    claim.ReportKind = kind;
    const QDateTime now = Now();
    const QString token = NewId();
    m_db->Write([&] {
        QString expiredHolder;
        {
            QSqlQuery before =
                m_db->Exec(u"SELECT workstation, expires_at FROM claims WHERE " + ClaimKey,
                           ClaimKeyValues(claim));
            if (before.next() && LedgerTime(before.value(1)) < now)
                expiredHolder = before.value(0).toString();
        }
        // The row is taken only when free or expired; of two claimers in
        // one moment the engine lets one insert or update it.
        m_db->Exec(
            QStringLiteral("INSERT INTO claims (orvane_company, payroll, report_kind, token, "
                           "workstation, claimed_at, expires_at) VALUES (?, ?, ?, ?, ?, ?, ?) "
                           "ON CONFLICT (orvane_company, payroll, report_kind) DO UPDATE SET "
                           "token = excluded.token, workstation = excluded.workstation, "
                           "claimed_at = excluded.claimed_at, expires_at = excluded.expires_at "
                           "WHERE claims.expires_at < ?"),
            ClaimKeyValues(claim) +
                QVariantList{token, LedgerValue(m_options.Identity.Computer), LedgerTimeText(now),
                             LedgerTimeText(now.addSecs(seconds)), LedgerTimeText(now)});
        QSqlQuery held = m_db->Exec(
            u"SELECT token, workstation, claimed_at, expires_at FROM claims WHERE " + ClaimKey,
            ClaimKeyValues(claim));
        if (!held.next())
            m_db->Fail(QStringLiteral("A claim was not stored."));
        claim.Granted = held.value(0).toString() == token;
        claim.Token = claim.Granted ? token : QString();
        claim.Workstation = held.value(1).toString();
        claim.Since = LedgerTime(held.value(2));
        claim.Expires = LedgerTime(held.value(3));
        if (claim.Granted)
            claim.TakenOverFrom = expiredHolder;
    });
    return claim;
}

bool TRunLedger::RenewClaim(TLedgerClaim& claim, int seconds) {
    const QDateTime expires = Now().addSecs(seconds);
    int renewed = 0;
    m_db->Write([&] {
        renewed =
            m_db->Exec(u"UPDATE claims SET expires_at = ? WHERE " + ClaimKey + u" AND token = ?",
                       QVariantList{LedgerTimeText(expires)} + ClaimKeyValues(claim) +
                           QVariantList{LedgerValue(claim.Token)})
                .numRowsAffected();
    });
    if (renewed == 1)
        claim.Expires = expires;
    return renewed == 1;
}

void TRunLedger::ReleaseClaim(const TLedgerClaim& claim) {
    m_db->Write([&] {
        m_db->Exec(u"DELETE FROM claims WHERE " + ClaimKey + u" AND token = ?",
                   ClaimKeyValues(claim) + QVariantList{LedgerValue(claim.Token)});
    });
}

std::unique_ptr<TRunLedger> OpenLedger(const IRedirection& redirection, const IztSettings& settings,
                                       TLedgerOptions options) {
    TLedgerLocation location =
        ParseLedgerLocation(redirection.GetFileName(QStringLiteral("Ledger")));
    if (location.Engine == lenPostgreSQL)
        location.Password = LoadLedgerPassword(settings);
    return std::make_unique<TRunLedger>(location, std::move(options));
}
