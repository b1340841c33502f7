#include "export/QBJournalExport.h"

#include "base/RegionalSettings.h"
#include "base/vlxErrorDisplay.h"
#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"
#include "export/QBNameIndex.h"
#include "export/QBRequestPipeline.h"
#include "quickbooks/QBXml.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <map>

const QString JournalMemo = QStringLiteral("Payroll from Orvane");
const QString JournalMacro = QStringLiteral("TxnID:JournalEntry");

QStringList MissingNames(const QStringList& known, const QStringList& names) {
    QSet<QString> knownKeys;
    knownKeys.reserve(known.size());
    for (const QString& name : known)
        knownKeys.insert(TQBNameIndex::Key(name));
    // Keyed as QuickBooks compares names: sorted and de-duplicated without
    // regard to letter case, the first form met kept.
    std::map<QString, QString> missing;
    for (const QString& name : names) {
        QString key = TQBNameIndex::Key(name);
        if (!knownKeys.contains(key))
            missing.emplace(std::move(key), name);
    }
    QStringList result;
    result.reserve(static_cast<qsizetype>(missing.size()));
    for (const auto& entry : missing)
        result.append(entry.second);
    return result;
}

void RequireJournalAmounts(const TGLRecordArray& records) {
    // QuickBooks cannot hold an entry without lines; it would refuse the
    // request as malformed, which tells the user nothing.
    for (const TGLRecord& r : records)
        if (!r.Debit.IsZero() || !r.Credit.IsZero())
            return;
    throw EztException(QStringLiteral(
        "Orvane Journal holds no debit or credit amount, so there is nothing to post."));
}

namespace {

// A hostile journal's megabyte tag must not end up whole in the log; real
// names are far shorter. The parser quotes fields the same way.
constexpr qsizetype MaxQuotedLength = 256;

QString Quoted(const QString& text) {
    return ShortenedText(text, MaxQuotedLength);
}

struct TNameCheck {
    QString SingleFormat;  // one %s: the name
    QString SeveralFormat; // one %d: the count
};

// Logs the missing names as one error; true when none is missing.
bool ReportMissing(ICommonLogger& logger, const QStringList& missing, const TNameCheck& check,
                   const TFormatArgs& singlePrefix) {
    if (missing.isEmpty())
        return true;
    if (missing.size() == 1) {
        TFormatArgs args = singlePrefix;
        args.push_back(Quoted(missing.first()));
        logger.LogErrorFmt(check.SingleFormat, args);
    } else {
        QStringList quoted;
        quoted.reserve(missing.size());
        for (const QString& name : missing)
            quoted.append(Quoted(name));
        logger.LogErrorFmt(check.SeveralFormat, {missing.size()}, quoted.join(u"\r\n"));
    }
    return false;
}

bool CheckAccounts(TQBConnection& qb, const TGLRecordArray& records,
                   const TQBGLExportParam& param) {
    QStringList known;
    if (param.UseAccountNumbers)
        qb.GetAccountNumbers(known);
    else
        qb.GetAccountFullNames(known);
    QStringList tags;
    tags.reserve(static_cast<qsizetype>(records.size()));
    for (const TGLRecord& r : records)
        tags.append(r.AccountTag);
    return ReportMissing(
        qb.Logger(), MissingNames(known, tags),
        {QStringLiteral("Account with %s <%s> doesn't exist in QB"),
         QStringLiteral("%d accounts don't exist in QB. See details for missing accounts list.")},
        {param.UseAccountNumbers ? QStringLiteral("number") : QStringLiteral("full name")});
}

// Classes or customers: records without a class or name part take no part.
bool CheckClassesOrNames(TQBConnection& qb, const TGLRecordArray& records, const QStringList& known,
                         const TNameCheck& check) {
    QStringList names;
    for (const TGLRecord& r : records)
        if (!r.ClassOrName.isEmpty())
            names.append(r.ClassOrName);
    return ReportMissing(qb.Logger(), MissingNames(known, names), check, {});
}

bool CheckClasses(TQBConnection& qb, const TGLRecordArray& records) {
    QStringList known;
    qb.GetClassFullNames(known);
    return CheckClassesOrNames(
        qb, records, known,
        {QStringLiteral("Class with full name <%s> doesn't exist in QB"),
         QStringLiteral("%d classes don't exist in QB. See details for missing classes list.")});
}

bool CheckCustomers(TQBConnection& qb, const TGLRecordArray& records) {
    QStringList known;
    qb.GetCustomerFullNames(known);
    return CheckClassesOrNames(
        qb, records, known,
        {QStringLiteral("Customer with full name <%s> doesn't exist in QB"),
         QStringLiteral("%d customers don't exist in QB. See details for missing customer list.")});
}

void RequireRecords(const TGLRecordArray& records) {
    // The parser never hands over an empty journal; a caller that does gets
    // the parser's message rather than a read past the end.
    if (records.empty())
        throw EztException(QStringLiteral("Orvane Journal is empty"));
}

// List ids of accounts by number. Validation compares numbers without
// regard to letter case, so the lookup must too, or a journal that passed
// would fail half-built.
QString AccountListID(const TQBNameIndex& accountsByNumber, const QString& tag) {
    const QString id = accountsByNumber.Find(tag);
    if (id.isNull())
        throw EztException(Format("Account with number <%s> doesn't exist in QB", {Quoted(tag)}));
    return id;
}

// QuickBooks' spelling of a name, so the entry names what validation found;
// a name the list lacks goes out as written and QuickBooks answers for it.
QString Spelled(const TQBNameIndex& index, const QString& name) {
    const QString found = index.Find(name);
    return found.isNull() ? name : found;
}

// A change whose sending failed so: failed, or state unknown when the answer
// was lost.
void SettleFailed(TExportNote& note, const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const EQBStateUnknown&) {
        note.Outcome = loStateUnknown;
    } catch (...) {
        note.Outcome = loFailed;
    }
    note.Message = ErrorDisplayMessage(failure);
}

// What the observer hears of the journal entry and its clearing.
class TJournalNotes {
public:
    TJournalNotes(IExportObserver* observer, const QDate& date, const TQBJournalEntryAdd& add)
        : m_observer(observer) {
        Currency debits;
        for (const TQBJournalLineAdd& line : add.JournalLineList)
            if (line.Kind == TQBJournalLineKind::Debit)
                debits += line.Amount.GetValue();
        const QString lines = Format("%d lines", {static_cast<int>(add.JournalLineList.size())});
        m_entry = ExportNote(0, lekJournalEntry, QString(), date, QString(), debits, lines);
        m_clearing = ExportNote(1, lekClearing, QString(), date, QString(), debits, QString());
    }

    // The entry's add (not sent before) and, with it or alone, its clearing.
    void Sending(bool clearing) {
        if (!m_observer)
            return;
        TExportNotes notes;
        if (m_entry.Outcome == loPending)
            notes << m_entry;
        if (clearing)
            notes << m_clearing;
        m_clearingSent = clearing;
        m_observer->Sending(notes);
    }
    // The answer to request `index` of the set done: the add, then the
    // clearing.
    void Answered(int index, const TQBResponse& response) {
        if (index == 0 && m_entry.Outcome == loPending) {
            if (const auto* entry = response.DetailAs<TQBJournalEntryRet>()) {
                m_entry.TxnID = entry->TxnID.GetValueOr(QString());
                m_entry.EditSequence = entry->EditSequence.GetValueOr(QString());
                m_clearing.TxnID = m_entry.TxnID;
            }
            m_entry.Outcome = loAdded;
        } else if (m_clearingSent) {
            Cleared();
        }
    }
    void Cleared() { m_clearing.Outcome = loCleared; }
    // A preview: the entry would be added; nothing is sent.
    void WouldAdd(const QString& message) {
        m_entry.Outcome = loWouldAdd;
        m_entry.Message = message;
        Settled();
    }
    // Inside the handler of the set's failure: what has no answer failed, or
    // its state is unknown.
    void Failed() {
        const std::exception_ptr failure = std::current_exception();
        for (TExportNote* note : {&m_entry, &m_clearing})
            if (note->Outcome == loPending && (note == &m_entry || m_clearingSent))
                SettleFailed(*note, failure);
        Settled();
    }
    void Settled() {
        if (!m_observer)
            return;
        TExportNotes notes{m_entry};
        if (m_clearingSent)
            notes << m_clearing;
        m_clearingSent = false;
        m_observer->Settled(notes);
    }
    // A clearing changes the entry's EditSequence, which an undo compares.
    void Refresh(TQBConnection& qb) {
        if (!m_observer || m_entry.TxnID.isEmpty())
            return;
        const TQBJournalEntryRetList found = qb.QueryJournalEntriesByTxnID({m_entry.TxnID});
        if (found.empty() || !found.front().EditSequence.IsSet())
            return;
        m_entry.EditSequence = found.front().EditSequence.GetValue();
        m_observer->Settled({m_entry});
    }

private:
    IExportObserver* m_observer;
    TExportNote m_entry;
    TExportNote m_clearing;
    bool m_clearingSent = false;
};

} // namespace

bool ValidateJournal(TQBConnection& qb, const TGLRecordArray& records,
                     const TQBGLExportParam& param) {
    ICommonLogger& logger = qb.Logger();
    TLogBlockGuard block(logger, QStringLiteral("Validating Orvane Journal"));
    bool result = true;
    try {
        RequireRecords(records);
        const TGLRecord& first = records.front();
        for (const TGLRecord& r : records) {
            if (r.CompanyCode != first.CompanyCode) {
                logger.LogErrorFmt(QStringLiteral("Company code must be the same for all GL "
                                                  "records. Found <%s> and <%s>"),
                                   {first.CompanyCode, r.CompanyCode});
                result = false;
                break;
            }
        }
        for (const TGLRecord& r : records) {
            if (r.JournalDate != first.JournalDate) {
                logger.LogErrorFmt(QStringLiteral("Date must be the same for all GL records. "
                                                  "Found <%s> and <%s>"),
                                   {DateToStr(first.JournalDate), DateToStr(r.JournalDate)});
                result = false;
                break;
            }
        }
        if (result)
            result = CheckAccounts(qb, records, param);
        if (result) {
            if (param.GLTagParsing == gtpAssignClass)
                result = CheckClasses(qb, records);
            else if (param.GLTagParsing == gtpAssignName)
                result = CheckCustomers(qb, records);
        }
    } catch (...) {
        logger.PassthroughException();
    }
    return result;
}

namespace {

// "of 3/8/2024 (number 12, TxnID 8000001B-1405768916)", as far as known.
QString EntryDescription(const TQBJournalEntryRet* entry, const QDate& date) {
    QStringList known;
    if (entry && entry->RefNumber.IsSet() && !entry->RefNumber.GetValue().trimmed().isEmpty())
        known << Format("number %s", {Quoted(entry->RefNumber.GetValue().trimmed())});
    else if (entry && entry->TxnNumber.IsSet())
        known << Format("number %d", {entry->TxnNumber.GetValue()});
    if (entry && entry->TxnID.IsSet())
        known << Format("TxnID %s", {Quoted(entry->TxnID.GetValue())});
    const QString text = Format("of %s", {DateToStr(date)});
    return known.isEmpty() ? text : text + QStringLiteral(" (") + known.join(u", ") + u')';
}

} // namespace

TJournalExportResult ExportJournal(TQBConnection& qb, const TGLRecordArray& records,
                                   const TQBGLExportParam& param, IExportObserver* observer) {
    ICommonLogger& logger = qb.Logger();
    TLogBlockGuard block(logger, QStringLiteral("Exporting to QB"));
    try {
        RequireRecords(records);
        RequireJournalAmounts(records);
        TQBNameIndex accounts;
        if (param.UseAccountNumbers) {
            for (const TQBAccountRet& a : qb.QueryAccounts())
                if (a.AccountNumber.IsSet())
                    accounts.Add(a.AccountNumber.GetValue(), a.ListID.GetValue());
        } else {
            accounts = QBFullNameIndex(qb.QueryAccounts());
        }
        TQBNameIndex classesOrNames;
        const bool tagsNameSomething =
            std::any_of(records.begin(), records.end(),
                        [](const TGLRecord& r) { return !r.ClassOrName.isEmpty(); });
        if (tagsNameSomething && param.GLTagParsing == gtpAssignClass)
            classesOrNames = QBFullNameIndex(qb.QueryClasses());
        else if (tagsNameSomething && param.GLTagParsing == gtpAssignName)
            classesOrNames = QBFullNameIndex(qb.QueryCustomers());

        const QDate date = records.front().JournalDate;
        TQBJournalEntryAdd add;
        add.DefMacro.SetValue(JournalMacro);
        add.TxnDate.SetValue(date);
        add.Memo.SetValue(JournalMemo);

        const auto fillLine = [&](TQBJournalLineAdd& line, const TGLRecord& r, Currency amount) {
            if (param.UseAccountNumbers)
                line.AccountRef.ListID.SetValue(AccountListID(accounts, r.AccountTag));
            else
                line.AccountRef.FullName.SetValue(Spelled(accounts, r.AccountTag));
            line.Amount.SetValue(amount);
            line.Memo.SetValue(JournalMemo);
            if (!r.ClassOrName.isEmpty()) {
                if (param.GLTagParsing == gtpAssignClass)
                    line.ClassRef.FullName.SetValue(Spelled(classesOrNames, r.ClassOrName));
                else if (param.GLTagParsing == gtpAssignName)
                    line.EntityRef.FullName.SetValue(Spelled(classesOrNames, r.ClassOrName));
            }
        };
        for (const TGLRecord& r : records) {
            if (!r.Debit.IsZero())
                fillLine(add.AppendJournalLine(TQBJournalLineKind::Debit), r, r.Debit);
            if (!r.Credit.IsZero())
                fillLine(add.AppendJournalLine(TQBJournalLineKind::Credit), r, r.Credit);
        }

        // QuickBooks handles a set's requests in order and, stopping on the
        // first error, skips the clearing when the add fails; so with more
        // than one request a set the clearing follows the add in its set and
        // names the entry by the add's macro.
        TQBRequestPipeline pipeline(qb, param.BatchSize);
        const bool clearInSet = param.Clear && pipeline.BatchSize() > 1;
        TJournalNotes notes(observer, date, add);
        std::vector<TQBRequest> requests{{TQBRequestKind::JournalEntryAdd, add}};
        if (clearInSet) {
            TQBClearedStatusMod mod;
            mod.TxnIDMacro.SetValue(JournalMacro);
            mod.ClearedStatus.SetValue(csCleared);
            requests.push_back({TQBRequestKind::ClearedStatusMod, mod});
        }
        if (qb.PreviewOnly()) {
            // Values QuickBooks could not take fail the preview as they
            // would fail the posting.
            CheckQBRequest(requests.front());
            notes.WouldAdd(QString());
            return {};
        }
        // Inside the handler of a failure after which the entry is, or may
        // be, in QuickBooks: saying it was not posted would invite a second.
        const auto posted = [&](TJournalExportState state, const QString& warning) {
            notes.Failed();
            logger.StopException();
            logger.LogWarning(warning);
            return TJournalExportResult{state, warning};
        };
        notes.Sending(clearInSet);
        TQBAnswers answers;
        try {
            // Stopping at the first error: the clearing names the add's entry.
            answers = pipeline.Send(std::move(requests), oeStopOnError);
            for (size_t i = 0; i < answers.size(); ++i)
                if (answers[i].State() == qasDone)
                    notes.Answered(static_cast<int>(i), *answers[i].Response());
            // Nothing is posted unless the add is accepted.
            answers.front().Take(logger);
        } catch (const EQBStateUnknown&) {
            return posted(jesStateUnknown,
                          Format("Whether the journal entry %s was created in QuickBooks is "
                                 "unknown: the answer of QuickBooks was lost. Look for it in "
                                 "QuickBooks before you post this journal again (answer No when "
                                 "asked about the duplicate date).",
                                 {EntryDescription(nullptr, date)}));
        } catch (...) {
            notes.Failed();
            throw;
        }
        if (!param.Clear) {
            notes.Settled();
            return {};
        }
        const TQBJournalEntryRet* entry =
            answers.front().Response()->DetailAs<TQBJournalEntryRet>();
        try {
            if (clearInSet) {
                answers[1].Take(logger);
                notes.Settled();
            } else {
                notes.Settled();
                notes.Sending(true);
                if (!entry || !entry->TxnID.IsSet())
                    throw EQBError(QStringLiteral("QuickBooks did not return the journal entry "
                                                  "it created, so it cannot be marked cleared."));
                qb.MarkCleared(entry->TxnID.GetValue());
                notes.Cleared();
                notes.Settled();
            }
        } catch (const EztException& e) {
            const bool unknown = dynamic_cast<const EQBStateUnknown*>(&e) != nullptr;
            return posted(
                jesNotCleared,
                Format(unknown ? "The journal entry %s was created in QuickBooks; whether it was "
                                 "marked cleared is unknown. Look at it in QuickBooks, and do not "
                                 "post this journal again (answer No when asked about the "
                                 "duplicate date)."
                               : "The journal entry %s was created in QuickBooks and stays there, "
                                 "not marked cleared. Mark it cleared in QuickBooks, and do not "
                                 "post this journal again (answer No when asked about the "
                                 "duplicate date).",
                       {EntryDescription(entry, date)}));
        }
        try {
            notes.Refresh(qb);
        } catch (const EztException&) {
            // The entry is posted and cleared all the same; the EditSequence
            // of its add only makes an undo find it changed and leave it.
            logger.StopException();
        }
    } catch (...) {
        logger.PassthroughException();
    }
    return {};
}

TExportNotes JournalEntriesOn(TQBConnection& qb, const QDate& date) {
    TExportNotes notes;
    for (const TQBJournalEntryRet& entry : qb.QueryJournalEntries(date, date, true)) {
        Currency debits;
        for (const TQBJournalLineRet& line : entry.JournalLineRetList)
            if (line.Kind == TQBJournalLineKind::Debit && line.Amount.IsSet())
                debits += line.Amount.GetValue();
        TExportNote note = ExportNote(int(notes.size()), lekJournalEntry, QString(), date,
                                      QString(), debits, QString());
        note.TxnID = entry.TxnID.GetValueOr(QString());
        note.EditSequence = entry.EditSequence.GetValueOr(QString());
        notes << note;
    }
    return notes;
}

void ClearJournalEntries(TQBConnection& qb, const TExportNotes& entries,
                         IExportObserver& observer) {
    for (const TExportNote& entry : entries) {
        TExportNote clearing = ExportNote(entry.Key, lekClearing, entry.Number, entry.Date,
                                          entry.Payee, entry.Amount, QString());
        clearing.TxnID = entry.TxnID;
        observer.Sending({clearing});
        try {
            qb.MarkCleared(entry.TxnID);
        } catch (...) {
            SettleFailed(clearing, std::current_exception());
            observer.Settled({clearing});
            throw;
        }
        clearing.Outcome = loCleared;
        observer.Settled({clearing});
    }
}
