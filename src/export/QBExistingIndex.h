// What QuickBooks held before a checks export began (employees, and the
// checks and deposits of the report's dates), indexed once so that a report
// of thousands of checks is matched in linear time; every index keeps
// QuickBooks' order, so the first match is the one a linear search finds.
#pragma once

#include "quickbooks/QBConnection.h"
#include "reports/orvchecksparser.h"
#include "settings/QBDecl.h"

#include <QHash>

// A transaction QuickBooks holds already for a record, and the fields in
// which it differs.
struct TExisting {
    const TQBTxnRetBase* Txn = nullptr;
    QStringList Differing;
};

class TQBExistingIndex {
public:
    // Queries the lists; the options' accounts are QuickBooks' spelling.
    TQBExistingIndex(TQBConnection& connection, const TCheckRecords& records,
                     const TQBChecksExportParam& options);

    // The check or deposit of the record's number in the cash account; a
    // difference is logged as a warning.
    TExisting CheckExists(ICommonLogger& log, const TCheckRecord& r) const;
    TExisting DepositExists(ICommonLogger& log, const TCheckRecord& r) const;
    // The payee a transaction of R names: its QuickBooks employee's name or
    // the report's payee. Throws EQBEmployeeNotFound.
    QString PayeeName(const TCheckRecord& r) const;
    // True when the check is in the cash account with the payee given (no
    // payee at all unless the options include names): one a void may hit.
    bool IsCashCheckOf(const TQBCheckRet& check, const QString& payee) const;

private:
    const TQBEmployeeRet* EmployeeByName(const TQBEEName& name) const;
    const TQBEmployeeRet* EmployeeByListID(const TQBRef& ref) const;
    bool PayeeDiffers(const TQBRef& ref, const TCheckRecord& r) const;

    const TQBChecksExportParam& m_options;
    QString m_cashAccount; // trimmed
    TQBEmployeeRetList m_employees;
    TQBDepositRetList m_deposits;
    TQBCheckRetList m_checks;
    QHash<QString, int> m_employeeByName;
    QHash<QString, int> m_employeeByListID;
    QHash<QString, std::vector<int>> m_checksByNumber;
    QHash<QString, std::vector<std::pair<int, int>>> m_depositsByNumber;
};
