#include "export/QBChecksExport.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "export/QBNameIndex.h"

#include <QHash>
#include <QSet>

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

// One pass of the export over the records, with the lists QuickBooks held
// before it started. The lists are indexed once so that a report of
// thousands of checks is matched in linear time; every index keeps
// QuickBooks' order, so the first match is the one a linear search finds.
class TChecksExporter {
public:
    TChecksExporter(TQBConnection& connection, const TQBChecksExportParam& options)
        : m_connection(connection), m_logger(connection.Logger()), m_options(options) {}

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
        for (const TCheckRecord& r : records)
            ExportRecord(r);
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

    void ExportRecord(const TCheckRecord& r) {
        TLogBlockGuard block(m_logger, QStringLiteral("Exporting Check/Deposit to QB"));
        m_created.clear();
        try {
            if (r.IsEmployeeCheck) {
                m_logger.LogContextItem(QStringLiteral("First Name"), r.FirstName);
                m_logger.LogContextItem(QStringLiteral("Middle Initial"), r.MiddleInitial);
                m_logger.LogContextItem(QStringLiteral("Last Name"), r.LastName);
            } else {
                m_logger.LogContextItem(QStringLiteral("Payee"), r.Payee);
            }
            m_logger.LogContextItem(QStringLiteral("Memo"), r.Memo);
            m_logger.LogContextItem(QStringLiteral("CheckNumber"), r.CheckNumber);
            m_logger.LogContextItem(QStringLiteral("Date"), DateToStr(r.CheckDate));
            m_logger.LogContextItem(QStringLiteral("Amount"), CurrToStr(r.Amount));

            const bool included = !IsDirectDepositCheck(r) || m_options.IncludeDD;
            if (!r.Amount.IsNegative()) {
                if (included) {
                    if (CheckExists(r))
                        ++m_result.ChecksExisted;
                    else
                        AddCheck(r);
                }
            } else if (!VoidMatchingCheck(r) && included) {
                if (DepositExists(r))
                    ++m_result.DepositsExisted;
                else
                    AddDeposit(r);
            }
        } catch (...) {
            ++m_result.Errors;
            m_logger.StopException();
            // What the record created before it failed stays in QuickBooks;
            // after the add only the clearing can fail. QuickBooks' answers
            // carry no cleared status, so a re-run finds the transaction but
            // cannot see that it is not cleared: say so now.
            if (!m_created.isEmpty())
                m_logger.LogWarning(m_created +
                                    QStringLiteral(" was created in QuickBooks before the failure "
                                                   "and stays there, not marked cleared. Mark it "
                                                   "cleared in QuickBooks: a later run will find "
                                                   "it and leave it as it is."));
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

    bool CheckExists(const TCheckRecord& r) {
        const auto it = m_checksByNumber.constFind(r.CheckNumber.trimmed());
        if (it == m_checksByNumber.cend())
            return false;
        const TQBCheckRet* found = nullptr;
        for (int i : *it) {
            const TQBCheckRet& c = m_checks[static_cast<size_t>(i)];
            if (c.AccountRef.FullName.IsSet() && Trimmed(c.AccountRef.FullName) == m_cashAccount) {
                found = &c;
                break;
            }
        }
        if (!found)
            return false;
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
            m_logger.LogWarningFmt(QStringLiteral("Check with Bank Acoount %s and Number %s "
                                                  "already exists and some fields are different "
                                                  "(%s)"),
                                   {m_options.CashAccount, r.CheckNumber.trimmed(),
                                    differing.join(QStringLiteral(", "))});
        return true;
    }

    bool DepositExists(const TCheckRecord& r) {
        const auto it = m_depositsByNumber.constFind(r.CheckNumber.trimmed());
        if (it == m_depositsByNumber.cend())
            return false;
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
            return false;
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
            m_logger.LogWarningFmt(QStringLiteral("Deposit to account %s with a line with Check "
                                                  "Number %s already exists and some fields are "
                                                  "different (%s)"),
                                   {m_options.CashAccount, r.CheckNumber.trimmed(),
                                    differing.join(QStringLiteral(", "))});
        return true;
    }

    static void SetMemo(TQBStringType& memo, const QString& text) {
        // QuickBooks keeps an empty memo as none.
        if (!text.isEmpty())
            memo.SetValue(text);
    }

    // The TxnID of the transaction an add created, from the first response.
    template <typename Ret>
    static QString CreatedTxnID(const TMsgSetResponse& response, const char* what) {
        const Ret* ret = response.Count() > 0 ? response.At(0).DetailAs<Ret>() : nullptr;
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

    void AddCheck(const TCheckRecord& r) {
        auto set = m_connection.NewRequestSet();
        set->AppendCheckAddRq() = CheckFor(r);
        const auto response = m_connection.SendRequestSet(*set);
        ++m_result.ChecksAdded;
        m_created = Format("Check %s", {r.CheckNumber.trimmed()});
        if (m_options.Clear)
            m_connection.MarkCleared(CreatedTxnID<TQBCheckRet>(*response, "check"));
    }

    void AddDeposit(const TCheckRecord& r) {
        auto set = m_connection.NewRequestSet();
        set->AppendDepositAddRq() = DepositFor(r);
        const auto response = m_connection.SendRequestSet(*set);
        ++m_result.DepositsAdded;
        m_created = Format("Deposit of check %s", {r.CheckNumber.trimmed()});
        if (m_options.Clear)
            m_connection.MarkCleared(CreatedTxnID<TQBDepositRet>(*response, "deposit"));
    }

    bool VoidMatchingCheck(const TCheckRecord& r) {
        const QString payee = m_options.IncludeEENames ? PayeeName(r).trimmed() : QString();
        const TQBCheckRetList found = m_connection.QueryChecksByNumber(r.CheckNumber);
        for (const TQBCheckRet& c : found) {
            if (!c.Amount.IsSet())
                continue;
            if (!c.AccountRef.FullName.IsSet() || Trimmed(c.AccountRef.FullName) != m_cashAccount)
                continue;
            if (m_options.IncludeEENames) {
                if (!c.PayeeEntityRef.FullName.IsSet() ||
                    Trimmed(c.PayeeEntityRef.FullName) != payee)
                    continue;
            } else if (c.PayeeEntityRef.IsSet()) {
                continue;
            }
            if ((c.Amount.GetValue() + r.Amount).IsZero()) {
                auto set = m_connection.NewRequestSet();
                TQBTxnVoid& v = set->AppendTxnVoidRq();
                v.TxnVoidType.SetValue(tvtCheck);
                v.TxnID.SetValue(c.TxnID.GetValue());
                m_connection.SendRequestSet(*set);
                ++m_result.ChecksVoided;
                return true;
            }
            if (c.Amount.GetValue().IsZero()) {
                ++m_result.ChecksAlreadyVoided;
                return true;
            }
        }
        return false;
    }

    TQBConnection& m_connection;
    ICommonLogger& m_logger;
    TQBChecksExportParam m_options; // accounts in QuickBooks' spelling once resolved
    QString m_cashAccount;          // trimmed

    TQBEmployeeRetList m_employees;
    TQBDepositRetList m_deposits;
    TQBCheckRetList m_checks;
    QHash<QString, int> m_employeeByName;
    QHash<QString, int> m_employeeByListID;
    QHash<QString, std::vector<int>> m_checksByNumber;
    QHash<QString, std::vector<std::pair<int, int>>> m_depositsByNumber;

    TChecksExportResult m_result;
    QString m_created; // what the current record created so far
};

QString Phrase(int count, const QString& noun, const QString& verb) {
    return Format("%d %s %s", {count, PluralForm(noun, count), verb});
}

} // namespace

TChecksExportResult ExportChecks(TQBConnection& connection, const TCheckRecords& records,
                                 const TQBChecksExportParam& options) {
    return TChecksExporter(connection, options).Run(records);
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
    const QString prefix = r.Errors == 0 ? QStringLiteral("successfully completed: ")
                           : done < 1    ? QStringLiteral("failed: ")
                                         : QStringLiteral("partially completed: ");
    return prefix + phrases.join(QStringLiteral(", "));
}
