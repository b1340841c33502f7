// Which report a run posts or previews: the one the page chose, the service
// is asked for, the parser reads, the ledger records a run, an exported
// payroll and a claim under. rkNone: an undo run's, and a checks report
// file's until its first line tells which it is.
#pragma once

#include "settings/QBDecl.h"

#include <QList>

enum TReportKind { rkNone, rkEmployeeChecks, rkAgencyChecks, rkJournal };

// The checks reports of a choice (a page's, a company map row's), in the
// order a run posts them.
inline QList<TReportKind> ChosenChecksReports(TChecksReportChoice choice) {
    switch (choice) {
    case crcEmployeeChecks:
        return {rkEmployeeChecks};
    case crcAgencyChecks:
        return {rkAgencyChecks};
    default:
        return {rkEmployeeChecks, rkAgencyChecks};
    }
}
