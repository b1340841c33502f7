// What the user can do about the failures met most often, one advice line
// each: QuickBooks' statuses, failures of its request processor, and the
// payroll service that cannot be reached. The advice becomes the last line
// of the error's message, so the box, the user log and the developer log
// all show it.
#pragma once

#include <QString>

enum TAdviceSource {
    asQBStatus,       // a status code of a QuickBooks response
    asQBProcessor,    // an HRESULT of QuickBooks' request processor
    asPayrollService, // a condition of the payroll service (TPayrollAdvice)
};

// Conditions of the payroll service without a code of their own.
enum TPayrollAdvice : quint32 { paCannotConnect = 1, paTooSlow = 2 };

// The advice for the code, or an empty string when there is none.
QString ErrorAdvice(TAdviceSource source, quint32 code);

// The message with the advice as a line of its own after its first part;
// details after the first empty line stay last. Unchanged without advice.
QString WithErrorAdvice(const QString& message, TAdviceSource source, quint32 code);
