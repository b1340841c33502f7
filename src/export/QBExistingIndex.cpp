#include "export/QBExistingIndex.h"

#include <QSet>

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

} // namespace

TQBExistingIndex::TQBExistingIndex(TQBConnection& connection, const TCheckRecords& records,
                                   const TQBChecksExportParam& options)
    : m_options(options), m_cashAccount(options.CashAccount.trimmed()) {
    m_employees = connection.QueryEmployees();
    const TCheckDateRange range = GetCheckDateRange(records);
    m_deposits = connection.QueryDeposits(range.FromDate, range.ToDate);
    m_checks = connection.QueryChecks(range.FromDate, range.ToDate);

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

const TQBEmployeeRet* TQBExistingIndex::EmployeeByName(const TQBEEName& name) const {
    const auto it = m_employeeByName.constFind(NameKey(name));
    return it == m_employeeByName.cend() ? nullptr : &m_employees[static_cast<size_t>(*it)];
}

const TQBEmployeeRet* TQBExistingIndex::EmployeeByListID(const TQBRef& ref) const {
    if (!ref.ListID.IsSet())
        return nullptr;
    const auto it = m_employeeByListID.constFind(ref.ListID.GetValue());
    return it == m_employeeByListID.cend() ? nullptr : &m_employees[static_cast<size_t>(*it)];
}

QString TQBExistingIndex::PayeeName(const TCheckRecord& r) const {
    if (!r.IsEmployeeCheck)
        return r.Payee;
    const TQBEmployeeRet* e = EmployeeByName(RecordName(r));
    if (!e) // fails with the message naming the three names
        e = &TQBConnection::FindEmployeeByName(m_employees, RecordName(r));
    return e->Name.GetValue();
}

bool TQBExistingIndex::IsCashCheckOf(const TQBCheckRet& c, const QString& payee) const {
    if (!c.AccountRef.FullName.IsSet() || Trimmed(c.AccountRef.FullName) != m_cashAccount)
        return false;
    if (m_options.IncludeEENames)
        return c.PayeeEntityRef.FullName.IsSet() && Trimmed(c.PayeeEntityRef.FullName) == payee;
    return !c.PayeeEntityRef.IsSet();
}

// True when the payee of an existing transaction is not R's.
bool TQBExistingIndex::PayeeDiffers(const TQBRef& ref, const TCheckRecord& r) const {
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

TExisting TQBExistingIndex::CheckExists(ICommonLogger& log, const TCheckRecord& r) const {
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
        log.LogWarningFmt(
            QStringLiteral("Check with Bank Acoount %s and Number %s "
                           "already exists and some fields are different "
                           "(%s)"),
            {m_options.CashAccount, r.CheckNumber.trimmed(), differing.join(QStringLiteral(", "))});
    return {found, differing};
}

TExisting TQBExistingIndex::DepositExists(ICommonLogger& log, const TCheckRecord& r) const {
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
        log.LogWarningFmt(
            QStringLiteral("Deposit to account %s with a line with Check "
                           "Number %s already exists and some fields are "
                           "different (%s)"),
            {m_options.CashAccount, r.CheckNumber.trimmed(), differing.join(QStringLiteral(", "))});
    return {found, differing};
}
