// The bureau run as people read it: one HTML report across every company
// (a first line with the totals and the companies that need attention, then
// each company's counts, payrolls and problems), and the same in short lines
// for the console.
#pragma once

#include "runs/BureauRun.h"

struct TBureauReportHeader {
    QDate From;
    QDate To;
    QDateTime Made; // UTC
    QString Workstation;
    bool Preview = false;
    QString User; // who ran it
    // TBureauRun::Stopped.
    QString Stopped;
};
// The header of a report of the run, made now on this workstation.
TBureauReportHeader BureauReportHeader(const TBureauRunOptions& options,
                                       const QString& stopped = QString());

// "3 companies, 6 payrolls exported, 24 checks added, ...; needs attention:
// 1002 Maple Deli" or "...; nothing needs attention". A preview's counts
// are what it would post, and its line says so first. stopped: why the run
// as a whole stopped (TBureauRun::Stopped), which then ends the line.
QString BureauTotalsLine(const QList<TBureauCompanyResult>& companies, bool preview,
                         const QString& stopped = QString());
// One line per company, then the totals line; lines end with "\n".
QString BureauReportText(const QList<TBureauCompanyResult>& companies, bool preview,
                         const QString& stopped = QString());
// A whole HTML document; everything the map, the service or QuickBooks
// wrote is escaped.
QString BureauReportHtml(const TBureauReportHeader& header,
                         const QList<TBureauCompanyResult>& companies);
