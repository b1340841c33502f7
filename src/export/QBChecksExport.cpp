#include "export/QBChecksExport.h"

#include "base/RegionalSettings.h"
#include "base/vlxErrorDisplay.h"
#include "base/vlxTextUtils.h"
#include "export/QBNameIndex.h"
#include "logging/vlxDeferredLogger.h"
#include "quickbooks/QBXml.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <deque>
#include <optional>

bool IsDirectDepositCheck(const TCheckRecord& record) {
    return record.CheckNumber.size() == 8 || record.CheckNumber.contains(u'-');
}

namespace {

QString Trimmed(const TQBStringType& value) {
    return value.GetValueOr(QString()).trimmed();
}

// Employees are matched on their three names; the key keeps them apart.
QString NameKey(const TQBEEName& name) {
    return name.FirstName + QChar(0x1f) + name.MiddleInitial + QChar(0x1f) + name.LastName;
}

TQBEEName RecordName(const TCheckRecord& r) {
    return {r.FirstName.trimmed(), r.MiddleInitial.trimmed(), r.LastName.trimmed()};
}

bool AmountDiffers(const TQBAmountType& amount, Currency expected) {
    // Both sides are exact ten-thousandths, so any difference is real.
    return !amount.IsSet() || amount.GetValue() != expected;
}

bool DateDiffers(const TQBDateType& date, const QDate& expected) {
    return !date.IsSet() || date.GetValue() != expected;
}

bool TextDiffers(const TQBStringType& value, const QString& expected) {
    return Trimmed(value) != expected.trimmed();
}

// The key under which two check numbers may name the same QuickBooks check.
QString NumberKey(const TCheckRecord& r) {
    return r.CheckNumber.trimmed().toCaseFolded();
}

// A record on its way through the export: what it is to send next, and what
// it logs, held until the record is done and every record before it has
// been logged, so the log reads in report order however the requests
// travel.
struct TRecordWork {
    enum TStage { rsNew, rsQuery, rsChange, rsClear, rsRefresh, rsDone };

    const TCheckRecord* Record = nullptr;
    TStage Stage = rsNew;
    std::optional<TQBRequest> Request; // waiting to be sent, or sent and not yet answered
    bool Included = false;
    QString Payee;   // the trimmed payee name a voided check must have
    QString Created; // what the record created so far
    TDeferredLogger Log;
    // What the observer hears: the check, void or deposit, and its clearing.
    TExportNote Note;
    TExportNote Clearing;
    // The note whose change Request carries; null for a query.
    TExportNote* InFlight = nullptr;
};

// How a record reads in the ledger: the employee's names or the payee.
QString NotePayee(const TCheckRecord& r) {
    if (!r.IsEmployeeCheck)
        return r.Payee.trimmed();
    QStringList names;
    for (const QString& part : {r.FirstName, r.MiddleInitial, r.LastName})
        if (!part.trimmed().isEmpty())
            names << part.trimmed();
    return names.join(u' ');
}

// A transaction QuickBooks holds already for a record, and the fields in
// which it differs.
struct TExisting {
    const TQBTxnRetBase* Txn = nullptr;
    QStringList Differing;
};

const QString NotIncludedMessage = QStringLiteral("Direct deposit: not exported");
// What to do about an employee QuickBooks lacks; the user reads it with the
// record's failure.
const char* const MissingEmployeeAdvice =
    "Check %s was not posted: add the employee to QuickBooks with exactly these names, or "
    "correct the names in Orvane, then run the export again (what was posted is found, not "
    "posted twice).";

// One pass of the export over the records, with the lists QuickBooks held
// before it started. The lists are indexed once so that a report of
// thousands of checks is matched in linear time; every index keeps
// QuickBooks' order, so the first match is the one a linear search finds.
class TChecksExporter {
public:
    TChecksExporter(TQBConnection& connection, const TQBChecksExportParam& options,
                    const TRunWatch& watch, IExportObserver* observer,
                    const TProgramTransactions* ours)
        : m_connection(connection), m_logger(connection.Logger()), m_options(options),
          m_watch(watch), m_observer(observer), m_ours(ours), m_preview(connection.PreviewOnly()) {}

    TChecksExportResult Run(const TCheckRecords& records) {
        TLogBlockGuard block(m_logger, QStringLiteral("Exporting Checks/Deposits to QB"));
        try {
            OrvAssert(!records.empty());
            ResolveAccounts();
            m_employees = m_connection.QueryEmployees();
            const TCheckDateRange range = GetCheckDateRange(records);
            m_deposits = m_connection.QueryDeposits(range.FromDate, range.ToDate);
            m_checks = m_connection.QueryChecks(range.FromDate, range.ToDate);
            BuildIndexes();
        } catch (...) {
            m_logger.PassthroughException();
        }
        m_works = std::vector<TRecordWork>(records.size());
        for (size_t i = 0; i < records.size(); ++i)
            m_works[i].Record = &records[i];
        ExportRecords();
        if (m_observerFailure) {
            try {
                std::rethrow_exception(m_observerFailure);
            } catch (...) {
                m_logger.PassthroughException();
            }
        }
        return m_result;
    }

private:
    // QuickBooks takes an account name in any letter case when it adds a
    // check, but the existence tests compare names exactly: the options are
    // turned into QuickBooks' own spelling first, so a re-run finds what an
    // earlier one added however the names were typed. A name QuickBooks
    // does not have stops the export before anything is posted.
    void ResolveAccounts() {
        const TQBNameIndex accounts = QBFullNameIndex(m_connection.QueryAccounts());
        QStringList missing;
        const auto resolve = [&](QString& name, const char* role) {
            const QString found = accounts.Find(name);
            if (found.isNull())
                missing << Format("%s <%s> doesn't exist in QB",
                                  {role, ShortenedText(name.trimmed(), 256)});
            else
                name = found;
        };
        resolve(m_options.CashAccount, "Cash account");
        resolve(m_options.LiabilityAccount, "Liability account");
        if (!missing.isEmpty())
            throw EQBError(missing.join(u"; "));
        m_cashAccount = m_options.CashAccount.trimmed();
        m_noteAccounts =
            m_cashAccount + QStringLiteral(" / ") + m_options.LiabilityAccount.trimmed();
    }

    void BuildIndexes() {
        for (int i = 0; i < static_cast<int>(m_employees.size()); ++i) {
            const TQBEmployeeRet& e = m_employees[static_cast<size_t>(i)];
            // Two employees with the same names or id: the first one wins.
            const QString key = NameKey(TQBConnection::GetEmployeeName(&e));
            if (!m_employeeByName.contains(key))
                m_employeeByName.insert(key, i);
            if (e.ListID.IsSet() && !m_employeeByListID.contains(e.ListID.GetValue()))
                m_employeeByListID.insert(e.ListID.GetValue(), i);
        }
        for (int i = 0; i < static_cast<int>(m_checks.size()); ++i) {
            const TQBCheckRet& c = m_checks[static_cast<size_t>(i)];
            if (c.RefNumber.IsSet())
                m_checksByNumber[c.RefNumber.GetValue().trimmed()].push_back(i);
        }
        for (int i = 0; i < static_cast<int>(m_deposits.size()); ++i) {
            const auto& lines = m_deposits[static_cast<size_t>(i)].DepositLineRetList;
            QSet<QString> seen;
            for (int l = 0; l < static_cast<int>(lines.size()); ++l) {
                const TQBStringType& number = lines[static_cast<size_t>(l)].CheckNumber;
                if (!number.IsSet())
                    continue;
                const QString key = number.GetValue().trimmed();
                // The deposit's first line with the number is its matched line.
                if (!seen.contains(key)) {
                    seen.insert(key);
                    m_depositsByNumber[key].push_back({i, l});
                }
            }
        }
    }

    // Requests of many records share a set of up to BatchSize requests,
    // answered one by one (continueOnError). A set carries, in this order:
    // the requests earlier answers made necessary (voids, deposits and
    // clearings, oldest record first), then the requests of records not yet
    // started, in report order. QuickBooks handles a set's requests in
    // order, so a record's void query sees everything earlier records
    // changed, as it does with one request a set; a record whose check
    // number has a void query in the set waits for the next one.
    // A cancel is taken before a set is built: records begun are finished,
    // no other record is begun. The observer hears of a set's changes
    // before it is sent and of what became of records after; when it fails,
    // nothing more is sent.
    void ExportRecords() {
        const int batchSize = std::clamp(m_options.BatchSize, 1, MaxQBBatchSize);
        const int total = static_cast<int>(m_works.size());
        size_t next = 0;
        size_t logged = 0;
        std::deque<size_t> waiting;
        m_watch.SetProgress(0, total);
        while (logged < m_works.size()) {
            if (!m_result.Cancelled && next < m_works.size() && m_watch.StopHere())
                m_result.Cancelled = true;
            if (m_result.Cancelled && waiting.empty())
                break;
            auto set = m_connection.NewRequestSet();
            set->SetOnError(oeContinueOnError);
            std::vector<size_t> owners;
            const auto place = [&](size_t index) {
                TRecordWork& w = m_works[index];
                set->AppendRequest(*w.Request);
                if (w.InFlight)
                    m_sending << *w.InFlight;
                owners.push_back(index);
            };
            while (!waiting.empty() && static_cast<int>(owners.size()) < batchSize) {
                place(waiting.front());
                waiting.pop_front();
            }
            QSet<QString> querying;
            while (!m_result.Cancelled && next < m_works.size() &&
                   static_cast<int>(owners.size()) < batchSize) {
                TRecordWork& w = m_works[next];
                const QString key = NumberKey(*w.Record);
                if (w.Record->Amount.IsNegative() && querying.contains(key))
                    break;
                Start(w);
                if (w.Stage == TRecordWork::rsQuery)
                    querying.insert(key);
                if (w.Request)
                    place(next);
                ++next;
            }
            if (!Tell(&IExportObserver::Sending, m_sending))
                break;
            if (!owners.empty())
                SendSet(*set, owners, waiting);
            while (logged < m_works.size() && m_works[logged].Stage == TRecordWork::rsDone)
                m_works[logged++].Log.Replay(m_logger);
            if (!Tell(&IExportObserver::Settled, m_settled))
                break;
            // Records finished, in any order: a record waiting for its
            // deposit does not hold back the count of those after it.
            m_watch.SetProgress(m_finished, total);
        }
        // Begun records are all done: the log of the last ones is replayed.
        while (logged < next && m_works[logged].Stage == TRecordWork::rsDone)
            m_works[logged++].Log.Replay(m_logger);
        m_result.NotExported = total - static_cast<int>(next);
    }

    // Hands the observer what was gathered; false when it failed.
    bool Tell(void (IExportObserver::*event)(const TExportNotes&), TExportNotes& notes) {
        if (!m_observer || notes.isEmpty())
            return true;
        try {
            (m_observer->*event)(notes);
        } catch (...) {
            m_observerFailure = std::current_exception();
        }
        notes.clear();
        return !m_observerFailure;
    }

    // The record's intent is the observer's before its change is sent. A
    // preview stops here: what the record would become is settled and the
    // change is never sent.
    void AwaitChange(TRecordWork& w, TRecordWork::TStage stage, TQBRequest request,
                     TExportNote& note) {
        Await(w, stage, std::move(request));
        if (!m_preview) {
            w.InFlight = &note;
            return;
        }
        if (note.Kind == lekVoid) {
            Settle(w, note, loWouldVoid);
        } else {
            if (note.Kind == lekCheck)
                m_plannedChecks[NumberKey(*w.Record)].push_back(PlannedCheck(*w.Record));
            Settle(w, note, loWouldAdd);
        }
        Finish(w);
    }

    // The check a previewed add would leave in QuickBooks, as a later void
    // query of this run would find it.
    TQBCheckRet PlannedCheck(const TCheckRecord& r) const {
        TQBCheckRet check;
        check.AccountRef.FullName.SetValue(m_cashAccount);
        check.Amount.SetValue(r.Amount);
        if (m_options.IncludeEENames)
            check.PayeeEntityRef.FullName.SetValue(PayeeName(r).trimmed());
        return check;
    }

    void Settle(TRecordWork& w, TExportNote& note, TLedgerOutcome outcome,
                const QString& message = QString()) {
        note.Outcome = outcome;
        note.Message = message;
        if (w.InFlight == &note)
            w.InFlight = nullptr;
        if (m_observer)
            m_settled << note;
    }

    // A note settled in this step settled otherwise: the observer hears
    // only the last.
    void Resettle(TExportNote& note, TLedgerOutcome outcome, const QString& message) {
        note.Outcome = outcome;
        note.Message = message;
        for (TExportNote& told : m_settled)
            if (told.Key == note.Key)
                told = note;
    }

    void SendSet(TMsgSetRequest& set, const std::vector<size_t>& owners,
                 std::deque<size_t>& waiting) {
        std::unique_ptr<TMsgSetResponse> response;
        try {
            response = m_connection.SendBatch(set);
        } catch (const EQBError&) {
            FailSet(owners);
            return;
        } catch (const EQBProcessorError&) {
            FailSet(owners);
            return;
        }
        for (size_t i = 0; i < owners.size(); ++i) {
            TRecordWork& w = m_works[owners[i]];
            Answer(w, response->At(static_cast<int>(i)));
            if (w.Stage != TRecordWork::rsDone)
                waiting.push_back(owners[i]);
        }
    }

    // Inside the handler of a set without an answer to go by: every request
    // of the set fails with the reason, and none is sent again.
    void FailSet(const std::vector<size_t>& owners) {
        const std::exception_ptr failure = std::current_exception();
        for (size_t index : owners) {
            TRecordWork& w = m_works[index];
            // Only the EditSequence after a clearing was asked for: the
            // record itself is done.
            if (w.Stage == TRecordWork::rsRefresh)
                Finish(w);
            else
                InRecord(w, [&] { std::rethrow_exception(failure); });
        }
    }

    // Runs a step of the record; a failure is counted and logged in the
    // record's block, and ends the record.
    template <typename F> void InRecord(TRecordWork& w, F step) {
        try {
            step();
        } catch (const EQBStateUnknown&) {
            Fail(w, true);
        } catch (...) {
            Fail(w, false);
        }
    }

    // Inside the handler of the record's failure.
    void Fail(TRecordWork& w, bool stateUnknown) {
        ++m_result.Errors;
        // The clearing of a check that was there before failed.
        const bool existed = w.Note.Outcome == loAlreadyExisted;
        QString message = ErrorDisplayMessage(std::current_exception());
        try {
            throw;
        } catch (const EQBEmployeeNotFound&) {
            message += u'\n' + Format(MissingEmployeeAdvice, {w.Record->CheckNumber});
        } catch (...) {
        }
        if (w.InFlight)
            Settle(w, *w.InFlight, stateUnknown ? loStateUnknown : loFailed, message);
        else if (w.Note.Outcome == loPending)
            Settle(w, w.Note, m_preview ? loInvalid : loFailed, message);
        w.Log.StopException();
        // A later void of this number would find no check and post the pay
        // as returned, counting it twice once a re-run adds the check.
        if (!w.Record->Amount.IsNegative() && w.Created.isEmpty() && !existed) {
            bool& unknown = m_notAdded[NumberKey(*w.Record)];
            unknown = unknown || stateUnknown;
        }
        // What the record created before it failed stays in QuickBooks; after
        // the add only the clearing can fail. QuickBooks' answers carry no
        // cleared status, so a re-run finds the transaction but cannot see
        // whether it is cleared: say so now.
        if (!w.Created.isEmpty())
            w.Log.LogWarning(
                w.Created +
                (stateUnknown
                     ? QStringLiteral(" was created in QuickBooks before the failure; whether it "
                                      "was marked cleared is unknown. Look at it in QuickBooks: a "
                                      "later run will find it and leave it as it is.")
                     : QStringLiteral(" was created in QuickBooks before the failure and stays "
                                      "there, not marked cleared. Mark it cleared in QuickBooks: "
                                      "a later run will find it and leave it as it is.")));
        Finish(w);
    }

    void Finish(TRecordWork& w) {
        if (w.Stage != TRecordWork::rsDone)
            ++m_finished;
        w.Request.reset();
        w.InFlight = nullptr;
        w.Stage = TRecordWork::rsDone;
        w.Log.LogExit();
    }

    // The record's next request; refused here when QuickBooks could not
    // take it, so the set it joins is never refused for it.
    static void Await(TRecordWork& w, TRecordWork::TStage stage, TQBRequest request) {
        CheckQBRequest(request);
        w.Request = std::move(request);
        w.Stage = stage;
    }

    void Start(TRecordWork& w) {
        const TCheckRecord& r = *w.Record;
        ICommonLogger& log = w.Log;
        log.LogEntry(QStringLiteral("Exporting Check/Deposit to QB"));
        InRecord(w, [&] {
            if (r.IsEmployeeCheck) {
                log.LogContextItem(QStringLiteral("First Name"), r.FirstName);
                log.LogContextItem(QStringLiteral("Middle Initial"), r.MiddleInitial);
                log.LogContextItem(QStringLiteral("Last Name"), r.LastName);
            } else {
                log.LogContextItem(QStringLiteral("Payee"), r.Payee);
            }
            log.LogContextItem(QStringLiteral("Memo"), r.Memo);
            log.LogContextItem(QStringLiteral("CheckNumber"), r.CheckNumber);
            log.LogContextItem(QStringLiteral("Date"), DateToStr(r.CheckDate));
            log.LogContextItem(QStringLiteral("Amount"), CurrToStr(r.Amount));

            const int key = 2 * static_cast<int>(&w - m_works.data());
            w.Note =
                ExportNote(key, r.Amount.IsNegative() ? lekVoid : lekCheck, r.CheckNumber.trimmed(),
                           r.CheckDate, NotePayee(r), r.Amount, m_noteAccounts);
            w.Included = !IsDirectDepositCheck(r) || m_options.IncludeDD;
            if (!r.Amount.IsNegative()) {
                if (!w.Included) {
                    Settle(w, w.Note, loSkipped, NotIncludedMessage);
                    Finish(w);
                } else if (SettleExisting(w, CheckExists(log, r))) {
                    ++m_result.ChecksExisted;
                    ClearExistingOrFinish(w);
                } else {
                    AwaitChange(w, TRecordWork::rsChange, {TQBRequestKind::CheckAdd, CheckFor(r)},
                                w.Note);
                }
                return;
            }
            // A negative amount voids the check it matches, wherever it is
            // dated: its void query comes first.
            w.Payee = m_options.IncludeEENames ? PayeeName(r).trimmed() : QString();
            TQBTxnQuery query;
            query.RefNumbers.append(r.CheckNumber);
            Await(w, TRecordWork::rsQuery, {TQBRequestKind::CheckQuery, query});
        });
    }

    void Answer(TRecordWork& w, const TQBResponse& response) {
        const TCheckRecord& r = *w.Record;
        const TQBRequestKind kind = w.Request->Kind;
        w.Request.reset();
        if (w.Stage == TRecordWork::rsRefresh) {
            Refreshed(w, response);
            Finish(w);
            return;
        }
        InRecord(w, [&] {
            TQBConnection::CheckResponseStatus(w.Log, response);
            switch (kind) {
            case TQBRequestKind::CheckQuery: {
                const TQBCheckRetList* found = response.DetailAs<TQBCheckRetList>();
                DecideVoidOrDeposit(w, found ? *found : TQBCheckRetList());
                break;
            }
            case TQBRequestKind::CheckAdd:
                ++m_result.ChecksAdded;
                w.Created = Format("Check %s", {r.CheckNumber.trimmed()});
                SettleCreated(w, response);
                ClearOrFinish(w, response, "check");
                break;
            case TQBRequestKind::DepositAdd:
                ++m_result.DepositsAdded;
                w.Created = Format("Deposit of check %s", {r.CheckNumber.trimmed()});
                SettleCreated(w, response);
                ClearOrFinish(w, response, "deposit");
                break;
            case TQBRequestKind::TxnVoid:
                ++m_result.ChecksVoided;
                Settle(w, w.Note, loVoided);
                RefreshOrFinish(w);
                break;
            case TQBRequestKind::ClearedStatusMod:
                Settle(w, w.Clearing, loCleared);
                if (w.Note.Outcome == loAlreadyExisted)
                    w.Log.LogEvent(MarkedClearedText(ExistingName(w)));
                RefreshOrFinish(w);
                break;
            default:
                Finish(w);
                break;
            }
        });
    }

    void ClearOrFinish(TRecordWork& w, const TQBResponse& response, const char* what) {
        if (!m_options.Clear)
            Finish(w);
        else
            Clear(w, CreatedTxnID(response, what));
    }

    // "Check 1001", "Deposit of check 1001".
    static QString ExistingName(const TRecordWork& w) {
        return (w.Note.Kind == lekDeposit ? QStringLiteral("Deposit of check ")
                                          : QStringLiteral("Check ")) +
               w.Note.Number;
    }

    // QuickBooks does not tell whether what it holds is cleared: with
    // "Clear", an existing transaction an earlier run of this program added
    // is cleared unless the ledger saw it cleared (its answer may have been
    // lost); one the ledger does not hold is a person's, left as it is.
    void ClearExistingOrFinish(TRecordWork& w) {
        if (!m_options.Clear || !m_ours || w.Note.Outcome != loAlreadyExisted) {
            Finish(w);
            return;
        }
        switch (m_ours->State(w.Note, w.Note.TxnID)) {
        case ptsCleared:
            Finish(w);
            break;
        case ptsNotOurs:
            w.Log.LogWarning(NotMarkedClearedText(ExistingName(w)));
            Resettle(w.Note, loDiffers, QStringLiteral("exists, not marked cleared"));
            Finish(w);
            break;
        case ptsNotCleared:
            if (m_preview) {
                Resettle(w.Note, loAlreadyExisted, QStringLiteral("would be marked cleared"));
                Finish(w);
            } else {
                Clear(w, w.Note.TxnID);
            }
            break;
        }
    }

    void Clear(TRecordWork& w, const QString& txnID) {
        TQBClearedStatusMod mod;
        mod.TxnID.SetValue(txnID);
        mod.ClearedStatus.SetValue(csCleared);
        w.Clearing = ExportNote(w.Note.Key + 1, lekClearing, w.Note.Number, w.Note.Date,
                                w.Note.Payee, w.Note.Amount, m_cashAccount);
        w.Clearing.TxnID = mod.TxnID.GetValue();
        AwaitChange(w, TRecordWork::rsClear, {TQBRequestKind::ClearedStatusMod, mod}, w.Clearing);
    }

    // What the record created, with QuickBooks' TxnID and EditSequence.
    void SettleCreated(TRecordWork& w, const TQBResponse& response) {
        const TQBTxnRetBase* ret = response.DetailAs<TQBCheckRet>();
        if (!ret)
            ret = response.DetailAs<TQBDepositRet>();
        if (ret) {
            w.Note.TxnID = ret->TxnID.GetValueOr(QString());
            w.Note.EditSequence = ret->EditSequence.GetValueOr(QString());
        }
        Settle(w, w.Note, loAdded);
    }

    // A clearing or a void changes the transaction's EditSequence, which an
    // undo compares: the new one is read with the next set, where a watcher
    // keeps it (TxnVoidRs carries none).
    void RefreshOrFinish(TRecordWork& w) {
        if (!m_observer) {
            Finish(w);
            return;
        }
        TQBTxnQuery query;
        query.TxnIDs.append(w.Note.TxnID);
        Await(
            w, TRecordWork::rsRefresh,
            {w.Note.Kind == lekDeposit ? TQBRequestKind::DepositQuery : TQBRequestKind::CheckQuery,
             query});
    }

    // Without an answer to go by, the EditSequence from before stays; an
    // undo then leaves the transaction as changed, which is safe.
    void Refreshed(TRecordWork& w, const TQBResponse& response) {
        const TQBTxnRetBase* found = nullptr;
        if (const auto* checks = response.DetailAs<TQBCheckRetList>(); checks && !checks->empty())
            found = &checks->front();
        if (const auto* deposits = response.DetailAs<TQBDepositRetList>();
            deposits && !deposits->empty())
            found = &deposits->front();
        if (!found || !found->EditSequence.IsSet() ||
            found->TxnID.GetValueOr(QString()) != w.Note.TxnID)
            return;
        w.Note.EditSequence = found->EditSequence.GetValue();
        Settle(w, w.Note, w.Note.Outcome, w.Note.Message);
    }

    // Settles a record that QuickBooks holds already; false when it does not.
    bool SettleExisting(TRecordWork& w, const TExisting& existing) {
        if (!existing.Txn)
            return false;
        w.Note.TxnID = existing.Txn->TxnID.GetValueOr(QString());
        w.Note.EditSequence = existing.Txn->EditSequence.GetValueOr(QString());
        if (existing.Differing.isEmpty())
            Settle(w, w.Note, loAlreadyExisted);
        else
            Settle(w, w.Note, loDiffers,
                   QStringLiteral("Fields differ: ") +
                       existing.Differing.join(QStringLiteral(", ")));
        return true;
    }

    // The first check of the number in the cash account with the payee of
    // the options decides: the same amount is voided, amount 0 was voided
    // before. Without one, returned pay becomes a deposit.
    void DecideVoidOrDeposit(TRecordWork& w, const TQBCheckRetList& answer) {
        const TCheckRecord& r = *w.Record;
        // Decided only now, after the answers to every request before the
        // query, the add of the check among them.
        const auto notAdded = m_notAdded.constFind(NumberKey(r));
        if (notAdded != m_notAdded.cend())
            throw EztException(
                Format(*notAdded ? "Whether check %s was added in this run is unknown, so its void "
                                   "is left for the next run"
                                 : "Check %s was not added in this run, so its void is left for "
                                   "the next run",
                       {r.CheckNumber.trimmed()}));
        // A preview sends no add and no void: QuickBooks' answer is seen as
        // it would be had the run's earlier records been posted.
        TQBCheckRetList found = answer;
        std::vector<TQBCheckRet>* planned = nullptr;
        if (m_preview) {
            for (TQBCheckRet& c : found)
                if (m_voidedInPreview.contains(c.TxnID.GetValueOr(QString())))
                    c.Amount.SetValue(Currency());
            planned = &m_plannedChecks[NumberKey(r)];
            found.insert(found.end(), planned->begin(), planned->end());
        }
        for (size_t i = 0; i < found.size(); ++i) {
            const TQBCheckRet& c = found[i];
            if (!c.Amount.IsSet())
                continue;
            if (!c.AccountRef.FullName.IsSet() || Trimmed(c.AccountRef.FullName) != m_cashAccount)
                continue;
            if (m_options.IncludeEENames) {
                if (!c.PayeeEntityRef.FullName.IsSet() ||
                    Trimmed(c.PayeeEntityRef.FullName) != w.Payee)
                    continue;
            } else if (c.PayeeEntityRef.IsSet()) {
                continue;
            }
            if ((c.Amount.GetValue() + r.Amount).IsZero()) {
                TQBTxnVoid v;
                v.TxnVoidType.SetValue(tvtCheck);
                v.TxnID.SetValue(c.TxnID.GetValueOr(QString()));
                w.Note.TxnID = c.TxnID.GetValueOr(QString());
                w.Note.EditSequence = c.EditSequence.GetValueOr(QString());
                if (m_preview && i >= answer.size())
                    (*planned)[i - answer.size()].Amount.SetValue(Currency());
                else if (m_preview)
                    m_voidedInPreview.insert(w.Note.TxnID);
                AwaitChange(w, TRecordWork::rsChange, {TQBRequestKind::TxnVoid, v}, w.Note);
                return;
            }
            if (c.Amount.GetValue().IsZero()) {
                ++m_result.ChecksAlreadyVoided;
                w.Note.TxnID = c.TxnID.GetValueOr(QString());
                w.Note.EditSequence = c.EditSequence.GetValueOr(QString());
                Settle(w, w.Note, loAlreadyExisted, QStringLiteral("The check was voided before"));
                Finish(w);
                return;
            }
        }
        w.Note.Kind = lekDeposit;
        w.Note.Amount = -r.Amount;
        if (!w.Included) {
            Settle(w, w.Note, loSkipped, NotIncludedMessage);
            Finish(w);
        } else if (SettleExisting(w, DepositExists(w.Log, r))) {
            ++m_result.DepositsExisted;
            ClearExistingOrFinish(w);
        } else {
            AwaitChange(w, TRecordWork::rsChange, {TQBRequestKind::DepositAdd, DepositFor(r)},
                        w.Note);
        }
    }

    const TQBEmployeeRet* EmployeeByName(const TQBEEName& name) const {
        const auto it = m_employeeByName.constFind(NameKey(name));
        return it == m_employeeByName.cend() ? nullptr : &m_employees[static_cast<size_t>(*it)];
    }

    const TQBEmployeeRet* EmployeeByListID(const TQBRef& ref) const {
        if (!ref.ListID.IsSet())
            return nullptr;
        const auto it = m_employeeByListID.constFind(ref.ListID.GetValue());
        return it == m_employeeByListID.cend() ? nullptr : &m_employees[static_cast<size_t>(*it)];
    }

    QString PayeeName(const TCheckRecord& r) const {
        if (!r.IsEmployeeCheck)
            return r.Payee;
        const TQBEmployeeRet* e = EmployeeByName(RecordName(r));
        if (!e) // fails with the message naming the three names
            e = &TQBConnection::FindEmployeeByName(m_employees, RecordName(r));
        return e->Name.GetValue();
    }

    // True when the payee of an existing transaction is not R's.
    bool PayeeDiffers(const TQBRef& ref, const TCheckRecord& r) const {
        if (r.IsEmployeeCheck) {
            TQBEEName name;
            if (ref.IsSet()) {
                const TQBEmployeeRet* e = EmployeeByListID(ref);
                if (!e)
                    return true;
                name = TQBConnection::GetEmployeeName(e);
            }
            return name != RecordName(r);
        }
        return Trimmed(ref.FullName) != r.Payee.trimmed();
    }

    TExisting CheckExists(ICommonLogger& log, const TCheckRecord& r) {
        const auto it = m_checksByNumber.constFind(r.CheckNumber.trimmed());
        if (it == m_checksByNumber.cend())
            return {};
        const TQBCheckRet* found = nullptr;
        for (int i : *it) {
            const TQBCheckRet& c = m_checks[static_cast<size_t>(i)];
            if (c.AccountRef.FullName.IsSet() && Trimmed(c.AccountRef.FullName) == m_cashAccount) {
                found = &c;
                break;
            }
        }
        if (!found)
            return {};
        QStringList differing;
        if (AmountDiffers(found->Amount, r.Amount))
            differing << QStringLiteral("Amount");
        if (m_options.IncludeEENames && PayeeDiffers(found->PayeeEntityRef, r))
            differing << QStringLiteral("Payee");
        if (DateDiffers(found->TxnDate, r.CheckDate))
            differing << QStringLiteral("Date");
        if (TextDiffers(found->Memo, r.Memo))
            differing << QStringLiteral("Memo");
        const auto& lines = found->ExpenseLineRetList;
        if (lines.size() != 1) {
            differing << QStringLiteral("Expense Line Count");
        } else {
            if (TextDiffers(lines[0].AccountRef.FullName, m_options.LiabilityAccount))
                differing << QStringLiteral("Expense Account");
            if (TextDiffers(lines[0].Memo, r.Memo))
                differing << QStringLiteral("Expense Memo");
        }
        if (!differing.isEmpty())
            log.LogWarningFmt(QStringLiteral("Check with Bank Acoount %s and Number %s "
                                             "already exists and some fields are different "
                                             "(%s)"),
                              {m_options.CashAccount, r.CheckNumber.trimmed(),
                               differing.join(QStringLiteral(", "))});
        return {found, differing};
    }

    TExisting DepositExists(ICommonLogger& log, const TCheckRecord& r) {
        const auto it = m_depositsByNumber.constFind(r.CheckNumber.trimmed());
        if (it == m_depositsByNumber.cend())
            return {};
        const TQBDepositRet* found = nullptr;
        const TQBDepositLineRet* line = nullptr;
        for (const auto& [d, l] : *it) {
            const TQBDepositRet& deposit = m_deposits[static_cast<size_t>(d)];
            if (deposit.DepositToAccountRef.FullName.IsSet() &&
                Trimmed(deposit.DepositToAccountRef.FullName) == m_cashAccount) {
                found = &deposit;
                line = &deposit.DepositLineRetList[static_cast<size_t>(l)];
                break;
            }
        }
        if (!found)
            return {};
        QStringList differing;
        if (found->DepositLineRetList.size() != 1)
            differing << QStringLiteral("Line Count");
        if (DateDiffers(found->TxnDate, r.CheckDate))
            differing << QStringLiteral("Date");
        if (TextDiffers(found->Memo, r.Memo))
            differing << QStringLiteral("Memo");
        if (TextDiffers(line->AccountRef.FullName, m_options.LiabilityAccount))
            differing << QStringLiteral("Deposit From Account");
        if (AmountDiffers(line->Amount, -r.Amount))
            differing << QStringLiteral("Amount");
        if (TextDiffers(line->Memo, r.Memo))
            differing << QStringLiteral("Line's Memo");
        if (m_options.IncludeEENames && PayeeDiffers(line->EntityRef, r))
            differing << QStringLiteral("Received From");
        if (!differing.isEmpty())
            log.LogWarningFmt(QStringLiteral("Deposit to account %s with a line with Check "
                                             "Number %s already exists and some fields are "
                                             "different (%s)"),
                              {m_options.CashAccount, r.CheckNumber.trimmed(),
                               differing.join(QStringLiteral(", "))});
        return {found, differing};
    }

    static void SetMemo(TQBStringType& memo, const QString& text) {
        // QuickBooks keeps an empty memo as none.
        if (!text.isEmpty())
            memo.SetValue(text);
    }

    // The TxnID of the transaction an add created, from its response.
    static QString CreatedTxnID(const TQBResponse& response, const char* what) {
        const TQBTxnRetBase* ret = response.DetailAs<TQBCheckRet>();
        if (!ret)
            ret = response.DetailAs<TQBDepositRet>();
        if (!ret || !ret->TxnID.IsSet())
            throw EQBError(Format("QuickBooks did not return the created %s, so it cannot be "
                                  "marked cleared.",
                                  {what}));
        return ret->TxnID.GetValue();
    }

    // What QuickBooks is to hold for R; the sending is apart, so requests of
    // many records can share a set.
    TQBCheckAdd CheckFor(const TCheckRecord& r) const {
        TQBCheckAdd add;
        add.AccountRef.FullName.SetValue(m_options.CashAccount);
        if (m_options.IncludeEENames)
            add.PayeeEntityRef.FullName.SetValue(PayeeName(r));
        add.RefNumber.SetValue(r.CheckNumber);
        add.TxnDate.SetValue(r.CheckDate);
        SetMemo(add.Memo, r.Memo);
        add.IsToBePrinted.SetValue(false);
        TQBExpenseLineAdd& line = add.AppendExpenseLine();
        line.AccountRef.FullName.SetValue(m_options.LiabilityAccount);
        line.Amount.SetValue(r.Amount);
        SetMemo(line.Memo, r.Memo);
        return add;
    }

    TQBDepositAdd DepositFor(const TCheckRecord& r) const {
        TQBDepositAdd add;
        add.TxnDate.SetValue(r.CheckDate);
        add.DepositToAccountRef.FullName.SetValue(m_options.CashAccount);
        SetMemo(add.Memo, r.Memo);
        TQBDepositLineAdd& line = add.AppendDepositLine();
        line.AccountRef.FullName.SetValue(m_options.LiabilityAccount);
        line.Amount.SetValue(-r.Amount);
        SetMemo(line.Memo, r.Memo);
        line.CheckNumber.SetValue(r.CheckNumber);
        if (m_options.IncludeEENames)
            line.EntityRef.FullName.SetValue(PayeeName(r));
        return add;
    }

    TQBConnection& m_connection;
    ICommonLogger& m_logger;
    TQBChecksExportParam m_options; // accounts in QuickBooks' spelling once resolved
    TRunWatch m_watch;
    int m_finished = 0; // records done, for the progress
    IExportObserver* m_observer;
    const TProgramTransactions* m_ours;
    QString m_cashAccount;  // trimmed
    QString m_noteAccounts; // "cash / liability", as the observer hears them
    // What the observer is to hear next, and why it stopped the export.
    TExportNotes m_sending;
    TExportNotes m_settled;
    std::exception_ptr m_observerFailure;

    TQBEmployeeRetList m_employees;
    TQBDepositRetList m_deposits;
    TQBCheckRetList m_checks;
    QHash<QString, int> m_employeeByName;
    QHash<QString, int> m_employeeByListID;
    QHash<QString, std::vector<int>> m_checksByNumber;
    QHash<QString, std::vector<std::pair<int, int>>> m_depositsByNumber;

    // Numbers of checks this run failed to add, true where whether the add
    // was done is unknown.
    QHash<QString, bool> m_notAdded;

    // Previews: the checks earlier records would add, by number, and the
    // TxnIDs they would void.
    const bool m_preview;
    QHash<QString, std::vector<TQBCheckRet>> m_plannedChecks;
    QSet<QString> m_voidedInPreview;

    TChecksExportResult m_result;
    std::vector<TRecordWork> m_works;
};

QString Phrase(int count, const QString& noun, const QString& verb) {
    return Format("%d %s %s", {count, PluralForm(noun, count), verb});
}

} // namespace

TChecksExportResult ExportChecks(TQBConnection& connection, const TCheckRecords& records,
                                 const TQBChecksExportParam& options, const TRunWatch& watch,
                                 IExportObserver* observer, const TProgramTransactions* ours) {
    return TChecksExporter(connection, options, watch, observer, ours).Run(records);
}

QString FormatChecksExportResult(const TChecksExportResult& r) {
    QStringList phrases;
    if (r.Errors > 0)
        phrases << Phrase(r.Errors, QStringLiteral("error"), QStringLiteral("occured"));
    const QString check = QStringLiteral("check");
    const QString deposit = QStringLiteral("deposit");
    phrases << Phrase(r.ChecksAdded, check, QStringLiteral("added"))
            << Phrase(r.ChecksVoided, check, QStringLiteral("voided"))
            << Phrase(r.DepositsAdded, deposit, QStringLiteral("added"))
            << Phrase(r.ChecksExisted, check, QStringLiteral("already existed"))
            << Phrase(r.ChecksAlreadyVoided, check,
                      r.ChecksAlreadyVoided == 1 ? QStringLiteral("was already voided")
                                                 : QStringLiteral("were already voided"))
            << Phrase(r.DepositsExisted, deposit, QStringLiteral("already existed"));
    const int done = r.ChecksAdded + r.ChecksExisted + r.ChecksVoided + r.ChecksAlreadyVoided +
                     r.DepositsAdded + r.DepositsExisted;
    const QString prefix =
        r.Cancelled     ? Format("cancelled, %s not exported: ",
                                 {Phrase(r.NotExported, QStringLiteral("record"), QString()).trimmed()})
        : r.Errors == 0 ? QStringLiteral("successfully completed: ")
        : done < 1      ? QStringLiteral("failed: ")
                        : QStringLiteral("partially completed: ");
    return prefix + phrases.join(QStringLiteral(", "));
}
