#include "runs/UnknownOutcomes.h"

#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"
#include "runs/LedgerReport.h"
#include "runs/LedgerRunWriter.h"
#include "runs/UndoRun.h"

#include <algorithm>

namespace {

QString Trimmed(const TQBStringType& value) {
    return value.GetValueOr(QString()).trimmed();
}

bool SameDate(const TQBDateType& date, const QDate& expected) {
    return date.IsSet() && date.GetValue() == expected;
}

bool SameAmount(const TQBAmountType& amount, Currency expected) {
    return amount.IsSet() && amount.GetValue() == expected;
}

// A checks run's records name "cash / liability".
struct TAccounts {
    QString Cash;
    QString Liability;
};

TAccounts AccountsOf(const TLedgerRecord& r) {
    const qsizetype at = r.Accounts.indexOf(QStringLiteral(" / "));
    if (at < 0)
        return {r.Accounts.trimmed(), QString()};
    return {r.Accounts.left(at).trimmed(), r.Accounts.mid(at + 3).trimmed()};
}

// A journal entry's record names its line count: "12 lines".
int LineCountOf(const TLedgerRecord& r) {
    return r.Accounts.section(u' ', 0, 0).toInt();
}

// The earliest and latest date of the records.
std::pair<QDate, QDate> DateRange(const QList<TUnknownOutcome*>& records) {
    QDate from = records.front()->Record.Date;
    QDate to = from;
    for (const TUnknownOutcome* u : records) {
        from = std::min(from, u->Record.Date);
        to = std::max(to, u->Record.Date);
    }
    return {from, to};
}

} // namespace

QString UnknownOutcomeText(const TUnknownOutcome& u, const QString& note) {
    const QString subject =
        Format("%s of run %s", {LedgerRecordName(u.Record), ShortRunId(u.RunId)});
    if (u.Found == loStateUnknown)
        return Format("%s stays state unknown: %s", {subject, u.Why});
    return Format("%s: %s (%s)", {subject, LedgerText(u.Found), note});
}

QString ResolvedNote(const QString& resolvingRunId) {
    return QStringLiteral("resolved by run ") + ShortRunId(resolvingRunId);
}

TUnknownOutcomeResolver::TUnknownOutcomeResolver(TRunLedger& ledger, TQBConnection& qb,
                                                 int batchSize)
    : m_ledger(ledger), m_qb(qb), m_batchSize(std::clamp(batchSize, 1, MaxQBBatchSize)) {}

QList<TUnknownOutcome> TUnknownOutcomeResolver::LookUp(const TLedgerTarget& company,
                                                       const QString& onlyRunId) {
    QList<TUnknownOutcome> unknown;
    // Oldest run first: of two records that fit one transaction, the one
    // sent first added it.
    QList<TLedgerRun> runs = m_ledger.Runs({company.CompanyFile});
    std::reverse(runs.begin(), runs.end());
    for (const TLedgerRun& run : runs) {
        if ((!onlyRunId.isEmpty() && run.Id != onlyRunId) ||
            (run.Kind != lrkChecks && run.Kind != lrkGL) || run.State == lrsRunning ||
            run.Counts.value(loStateUnknown) == 0 || !SameCompany(run.Target, company))
            continue;
        for (const TLedgerRecord& r : m_ledger.Records(run.Id))
            if (r.Outcome == loStateUnknown) {
                TUnknownOutcome u;
                u.RunId = run.Id;
                u.Record = r;
                unknown << u;
            }
    }
    QList<TUnknownOutcome*> adds;
    QList<TUnknownOutcome*> voids;
    for (TUnknownOutcome& u : unknown) {
        if (u.Record.Kind == lekVoid)
            voids << &u;
        else if (u.Record.Kind == lekClearing)
            u.Why = QStringLiteral("QuickBooks does not tell whether a transaction is cleared");
        else
            adds << &u;
    }
    LookUpAdds(adds);
    LookUpVoids(voids);
    return unknown;
}

void TUnknownOutcomeResolver::LookUpAdds(QList<TUnknownOutcome*> records) {
    // Each kind has a query of its own.
    std::stable_sort(records.begin(), records.end(),
                     [](const TUnknownOutcome* a, const TUnknownOutcome* b) {
                         return a->Record.Kind < b->Record.Kind;
                     });
    QList<QList<TCandidate>> candidates;
    for (qsizetype from = 0; from < records.size();) {
        qsizetype to = from;
        while (to < records.size() && to - from < m_batchSize &&
               records[to]->Record.Kind == records[from]->Record.Kind)
            ++to;
        candidates += CandidatesOf(records.mid(from, to - from));
        from = to;
    }
    QStringList ids;
    for (const QList<TCandidate>& list : candidates)
        for (const TCandidate& c : list)
            ids << c.TxnID;
    // What another record added is that record's; what one unknown record
    // takes is no longer another's.
    QSet<QString> taken = m_ledger.HeldTxnIDs(ids);
    for (qsizetype i = 0; i < records.size(); ++i) {
        TUnknownOutcome& u = *records[i];
        QList<TCandidate> free;
        for (const TCandidate& c : candidates[i])
            if (!taken.contains(c.TxnID))
                free << c;
        if (free.isEmpty()) {
            u.Found = loNotAdded;
        } else if (free.size() == 1) {
            u.Found = loAdded;
            u.TxnID = free.front().TxnID;
            u.EditSequence = free.front().EditSequence;
            taken.insert(u.TxnID);
        } else {
            QStringList txnIDs;
            for (const TCandidate& c : free)
                txnIDs << c.TxnID;
            u.Why = Format("%d transactions in QuickBooks match it: TxnIDs %s",
                           {int(free.size()), txnIDs.join(QStringLiteral(", "))});
        }
    }
}

QList<QList<TUnknownOutcomeResolver::TCandidate>>
TUnknownOutcomeResolver::CandidatesOf(const QList<TUnknownOutcome*>& chunk) {
    QList<QList<TCandidate>> found(chunk.size());
    const auto [from, to] = DateRange(chunk);
    const TLedgerRecordKind kind = chunk.front()->Record.Kind;
    if (kind == lekCheck) {
        QStringList numbers;
        for (const TUnknownOutcome* u : chunk)
            if (!numbers.contains(u->Record.Number))
                numbers << u->Record.Number;
        const TQBCheckRetList checks = m_qb.QueryChecksByNumbers(numbers);
        for (qsizetype i = 0; i < chunk.size(); ++i) {
            const TLedgerRecord& r = chunk[i]->Record;
            const TAccounts accounts = AccountsOf(r);
            for (const TQBCheckRet& c : checks) {
                const auto& lines = c.ExpenseLineRetList;
                if (Trimmed(c.RefNumber) == r.Number && SameDate(c.TxnDate, r.Date) &&
                    SameAmount(c.Amount, r.Amount) &&
                    Trimmed(c.AccountRef.FullName) == accounts.Cash && lines.size() == 1 &&
                    Trimmed(lines[0].AccountRef.FullName) == accounts.Liability &&
                    SameAmount(lines[0].Amount, r.Amount) &&
                    PayeeMatches(c.PayeeEntityRef, r.Payee))
                    found[i] << TCandidate{c.TxnID.GetValueOr(QString()),
                                           c.EditSequence.GetValueOr(QString())};
            }
        }
    } else if (kind == lekDeposit) {
        const TQBDepositRetList deposits = m_qb.QueryDeposits(from, to);
        for (qsizetype i = 0; i < chunk.size(); ++i) {
            const TLedgerRecord& r = chunk[i]->Record;
            const TAccounts accounts = AccountsOf(r);
            for (const TQBDepositRet& d : deposits) {
                const auto& lines = d.DepositLineRetList;
                if (SameDate(d.TxnDate, r.Date) &&
                    Trimmed(d.DepositToAccountRef.FullName) == accounts.Cash && lines.size() == 1 &&
                    Trimmed(lines[0].CheckNumber) == r.Number &&
                    Trimmed(lines[0].AccountRef.FullName) == accounts.Liability &&
                    SameAmount(lines[0].Amount, r.Amount) &&
                    PayeeMatches(lines[0].EntityRef, r.Payee))
                    found[i] << TCandidate{d.TxnID.GetValueOr(QString()),
                                           d.EditSequence.GetValueOr(QString())};
            }
        }
    } else if (kind == lekJournalEntry) {
        const TQBJournalEntryRetList entries = m_qb.QueryJournalEntries(from, to, true);
        for (qsizetype i = 0; i < chunk.size(); ++i) {
            const TLedgerRecord& r = chunk[i]->Record;
            for (const TQBJournalEntryRet& e : entries) {
                Currency debits;
                for (const TQBJournalLineRet& line : e.JournalLineRetList)
                    if (line.Kind == TQBJournalLineKind::Debit)
                        debits += line.Amount.GetValueOr(Currency());
                if (SameDate(e.TxnDate, r.Date) && debits == r.Amount &&
                    int(e.JournalLineRetList.size()) == LineCountOf(r))
                    found[i] << TCandidate{e.TxnID.GetValueOr(QString()),
                                           e.EditSequence.GetValueOr(QString())};
            }
        }
    } else {
        for (TUnknownOutcome* u : chunk)
            u->Why = QStringLiteral("undo runs settle their own records");
    }
    return found;
}

// A void's check tells: amount 0 is voided.
void TUnknownOutcomeResolver::LookUpVoids(const QList<TUnknownOutcome*>& records) {
    for (qsizetype from = 0; from < records.size(); from += m_batchSize) {
        const QList<TUnknownOutcome*> chunk = records.mid(from, m_batchSize);
        QStringList ids;
        for (const TUnknownOutcome* u : chunk)
            ids << u->Record.TxnID;
        QHash<QString, const TQBCheckRet*> byId;
        const TQBCheckRetList checks = m_qb.QueryChecksByTxnID(ids);
        for (const TQBCheckRet& c : checks)
            byId.insert(c.TxnID.GetValueOr(QString()), &c);
        for (TUnknownOutcome* u : chunk) {
            const TQBCheckRet* c = byId.value(u->Record.TxnID);
            if (!c) {
                u->Why = QStringLiteral("its check is no longer in QuickBooks");
            } else if (c->Amount.IsSet() && c->Amount.GetValue().IsZero()) {
                u->Found = loVoided;
                u->TxnID = u->Record.TxnID;
                u->EditSequence = c->EditSequence.GetValueOr(QString());
            } else {
                u->Found = loNotAdded;
            }
        }
    }
}

bool TUnknownOutcomeResolver::PayeeMatches(const TQBRef& ref, const QString& payee) {
    // A run without payee names sets none.
    if (!ref.IsSet() || Trimmed(ref.FullName) == payee)
        return true;
    if (!ref.ListID.IsSet())
        return false;
    if (!m_employees)
        m_employees = m_qb.QueryEmployees();
    const TQBEmployeeRet* employee = TQBConnection::FindEmployeeByListID(*m_employees, ref);
    if (!employee)
        return false;
    // As the checks export names an employee in the ledger.
    const TQBEEName name = TQBConnection::GetEmployeeName(employee);
    QStringList names;
    for (const QString& part : {name.FirstName, name.MiddleInitial, name.LastName})
        if (!part.trimmed().isEmpty())
            names << part.trimmed();
    return names.join(u' ') == payee;
}

QList<TUnknownOutcome> TUnknownOutcomeResolver::Resolve(const TLedgerTarget& company,
                                                        const QString& note,
                                                        const QString& onlyRunId) {
    const QList<TUnknownOutcome> unknown = LookUp(company, onlyRunId);
    if (unknown.isEmpty())
        return unknown;
    ICommonLogger& logger = m_qb.Logger();
    TLogBlockGuard block(logger, QStringLiteral("Settling records of unknown outcome"));
    QMap<QString, QList<TLedgerRecordOutcome>> byRun;
    for (const TUnknownOutcome& u : unknown) {
        if (u.Found == loStateUnknown) {
            logger.LogWarning(UnknownOutcomeText(u, note));
            continue;
        }
        byRun[u.RunId] << TLedgerRecordOutcome{u.Record.Seq, u.Found, u.TxnID, u.EditSequence, {}};
        logger.LogEvent(UnknownOutcomeText(u, note));
    }
    for (auto it = byRun.cbegin(); it != byRun.cend(); ++it)
        m_ledger.ResolveRecords(it.key(), it.value(), note);
    return unknown;
}
