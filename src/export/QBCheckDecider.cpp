#include "export/QBCheckDecider.h"

#include "base/RegionalSettings.h"
#include "base/vlxErrorDisplay.h"
#include "base/vlxTextUtils.h"
#include "export/QBChecksRequests.h"

QString CheckNumberKey(const TCheckRecord& r) {
    return r.CheckNumber.trimmed().toCaseFolded();
}

namespace {

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

const QString NotIncludedMessage = QStringLiteral("Direct deposit: not exported");
// What to do about an employee QuickBooks lacks; the user reads it with the
// record's failure.
const char* const MissingEmployeeAdvice =
    "Check %s was not posted: add the employee to QuickBooks with exactly these names, or "
    "correct the names in Orvane, then run the export again (what was posted is found, not "
    "posted twice).";

// The TxnID of the transaction an add created, from its response.
QString CreatedTxnID(const TQBResponse& response, const char* what) {
    const TQBTxnRetBase* ret = response.DetailAs<TQBCheckRet>();
    if (!ret)
        ret = response.DetailAs<TQBDepositRet>();
    if (!ret || !ret->TxnID.IsSet())
        throw EQBError(Format("QuickBooks did not return the created %s, so it cannot be "
                              "marked cleared.",
                              {what}));
    return ret->TxnID.GetValue();
}

// "Check 1001", "Deposit of check 1001".
QString ExistingName(const TCheckWork& w) {
    return (w.Note.Kind == lekDeposit ? QStringLiteral("Deposit of check ")
                                      : QStringLiteral("Check ")) +
           w.Note.Number;
}

} // namespace

TCheckDecider::TCheckDecider(const TQBExistingIndex& existing, const TQBChecksExportParam& options,
                             const TProgramTransactions* ours, bool preview, bool observed)
    : m_existing(existing), m_options(options), m_ours(ours), m_preview(preview),
      m_observed(observed), m_cashAccount(options.CashAccount.trimmed()),
      m_noteAccounts(m_cashAccount + QStringLiteral(" / ") + options.LiabilityAccount.trimmed()) {}

QString TCheckDecider::RequestPayee(const TCheckRecord& r) const {
    return m_options.IncludeEENames ? m_existing.PayeeName(r) : QString();
}

// The record's intent is the observer's before its change is sent. A
// preview stops here: what the record would become is settled and the
// change is never sent.
void TCheckDecider::AwaitChange(TCheckWork& w, TCheckWork::TStage stage, TQBRequest request,
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
            m_plannedChecks[CheckNumberKey(*w.Record)].push_back(PlannedCheck(*w.Record));
        Settle(w, note, loWouldAdd);
    }
    Finish(w);
}

// The check a previewed add would leave in QuickBooks, as a later void
// query of this run would find it.
TQBCheckRet TCheckDecider::PlannedCheck(const TCheckRecord& r) const {
    TQBCheckRet check;
    check.AccountRef.FullName.SetValue(m_cashAccount);
    check.Amount.SetValue(r.Amount);
    if (m_options.IncludeEENames)
        check.PayeeEntityRef.FullName.SetValue(m_existing.PayeeName(r).trimmed());
    return check;
}

void TCheckDecider::Settle(TCheckWork& w, TExportNote& note, TLedgerOutcome outcome,
                           const QString& message) {
    note.Outcome = outcome;
    note.Message = message;
    if (w.InFlight == &note)
        w.InFlight = nullptr;
    if (m_observed)
        m_settled << note;
}

// A note settled in this step settled otherwise: the observer hears
// only the last.
void TCheckDecider::Resettle(TExportNote& note, TLedgerOutcome outcome, const QString& message) {
    note.Outcome = outcome;
    note.Message = message;
    for (TExportNote& told : m_settled)
        if (told.Key == note.Key)
            told = note;
}

// Runs a step of the record; a failure is counted and logged in the
// record's block, and ends the record.
template <typename F> void TCheckDecider::InRecord(TCheckWork& w, F step) {
    try {
        step();
    } catch (const EQBStateUnknown&) {
        Fail(w, true);
    } catch (...) {
        Fail(w, false);
    }
}

// Inside the handler of the record's failure.
void TCheckDecider::Fail(TCheckWork& w, bool stateUnknown) {
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
        bool& unknown = m_notAdded[CheckNumberKey(*w.Record)];
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

void TCheckDecider::Finish(TCheckWork& w) {
    if (w.Stage != TCheckWork::rsDone)
        ++m_finished;
    w.Request.reset();
    w.InFlight = nullptr;
    w.Stage = TCheckWork::rsDone;
    w.Log.LogExit();
}

void TCheckDecider::Await(TCheckWork& w, TCheckWork::TStage stage, TQBRequest request) {
    w.Request = std::move(request);
    w.Stage = stage;
}

void TCheckDecider::Start(TCheckWork& w) {
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

        const int key = 2 * w.Index;
        w.Note =
            ExportNote(key, r.Amount.IsNegative() ? lekVoid : lekCheck, r.CheckNumber.trimmed(),
                       r.CheckDate, NotePayee(r), r.Amount, m_noteAccounts);
        w.Included = !IsDirectDepositCheck(r) || m_options.IncludeDD;
        if (!r.Amount.IsNegative()) {
            if (!w.Included) {
                Settle(w, w.Note, loSkipped, NotIncludedMessage);
                Finish(w);
            } else if (SettleExisting(w, m_existing.CheckExists(log, r))) {
                ++m_result.ChecksExisted;
                ClearExistingOrFinish(w);
            } else {
                AwaitChange(w, TCheckWork::rsChange, CheckAddRequest(r, m_options, RequestPayee(r)),
                            w.Note);
            }
            return;
        }
        // A negative amount voids the check it matches, wherever it is
        // dated: its void query comes first.
        w.Payee = RequestPayee(r).trimmed();
        Await(w, TCheckWork::rsQuery, VoidQueryRequest(r));
    });
}

void TCheckDecider::Answer(TCheckWork& w, const TQBAnswer& answer) {
    const TCheckRecord& r = *w.Record;
    const TQBRequestKind kind = w.Request->Kind;
    w.Request.reset();
    // Only the EditSequence after a clearing or a void was asked for: the
    // record itself is done, whatever the answer.
    if (w.Stage == TCheckWork::rsRefresh) {
        if (answer.Response())
            Refreshed(w, *answer.Response());
        Finish(w);
        return;
    }
    InRecord(w, [&] {
        const TQBResponse& response = answer.Take(w.Log);
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

void TCheckDecider::ClearOrFinish(TCheckWork& w, const TQBResponse& response, const char* what) {
    if (!m_options.Clear)
        Finish(w);
    else
        Clear(w, CreatedTxnID(response, what));
}

// QuickBooks does not tell whether what it holds is cleared: with
// "Clear", an existing transaction an earlier run of this program added
// is cleared unless the ledger saw it cleared (its answer may have been
// lost); one the ledger does not hold is a person's, left as it is.
void TCheckDecider::ClearExistingOrFinish(TCheckWork& w) {
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

void TCheckDecider::Clear(TCheckWork& w, const QString& txnID) {
    w.Clearing = ExportNote(w.Note.Key + 1, lekClearing, w.Note.Number, w.Note.Date, w.Note.Payee,
                            w.Note.Amount, m_cashAccount);
    w.Clearing.TxnID = txnID;
    AwaitChange(w, TCheckWork::rsClear, ClearingRequest(txnID), w.Clearing);
}

// What the record created, with QuickBooks' TxnID and EditSequence.
void TCheckDecider::SettleCreated(TCheckWork& w, const TQBResponse& response) {
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
void TCheckDecider::RefreshOrFinish(TCheckWork& w) {
    if (!m_observed) {
        Finish(w);
        return;
    }
    Await(w, TCheckWork::rsRefresh, RefreshRequest(w.Note.Kind == lekDeposit, w.Note.TxnID));
}

// Without an answer to go by, the EditSequence from before stays; an
// undo then leaves the transaction as changed, which is safe.
void TCheckDecider::Refreshed(TCheckWork& w, const TQBResponse& response) {
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
bool TCheckDecider::SettleExisting(TCheckWork& w, const TExisting& existing) {
    if (!existing.Txn)
        return false;
    w.Note.TxnID = existing.Txn->TxnID.GetValueOr(QString());
    w.Note.EditSequence = existing.Txn->EditSequence.GetValueOr(QString());
    if (existing.Differing.isEmpty())
        Settle(w, w.Note, loAlreadyExisted);
    else
        Settle(w, w.Note, loDiffers,
               QStringLiteral("Fields differ: ") + existing.Differing.join(QStringLiteral(", ")));
    return true;
}

// The first check of the number in the cash account with the payee of
// the options decides: the same amount is voided, amount 0 was voided
// before. Without one, returned pay becomes a deposit.
void TCheckDecider::DecideVoidOrDeposit(TCheckWork& w, const TQBCheckRetList& answer) {
    const TCheckRecord& r = *w.Record;
    // Decided only now, after the answers to every request before the
    // query, the add of the check among them.
    const auto notAdded = m_notAdded.constFind(CheckNumberKey(r));
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
        planned = &m_plannedChecks[CheckNumberKey(r)];
        found.insert(found.end(), planned->begin(), planned->end());
    }
    for (size_t i = 0; i < found.size(); ++i) {
        const TQBCheckRet& c = found[i];
        if (!c.Amount.IsSet())
            continue;
        if (!m_existing.IsCashCheckOf(c, w.Payee))
            continue;
        if ((c.Amount.GetValue() + r.Amount).IsZero()) {
            w.Note.TxnID = c.TxnID.GetValueOr(QString());
            w.Note.EditSequence = c.EditSequence.GetValueOr(QString());
            if (m_preview && i >= answer.size())
                (*planned)[i - answer.size()].Amount.SetValue(Currency());
            else if (m_preview)
                m_voidedInPreview.insert(w.Note.TxnID);
            AwaitChange(w, TCheckWork::rsChange, VoidRequest(w.Note.TxnID), w.Note);
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
    } else if (SettleExisting(w, m_existing.DepositExists(w.Log, r))) {
        ++m_result.DepositsExisted;
        ClearExistingOrFinish(w);
    } else {
        AwaitChange(w, TCheckWork::rsChange, DepositAddRequest(r, m_options, RequestPayee(r)),
                    w.Note);
    }
}
