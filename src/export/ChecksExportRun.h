// The checks export run: what the Run action of the checks page does. It
// takes the report from a file or the payroll service, opens QuickBooks,
// parses the report, exports the checks and reports the outcome in the log
// and in a box. It reads its inputs through IChecksRunInputs and talks to the
// user through IUserDialogs, so the window, the command line and the tests
// drive the same code.
#pragma once

#include "export/QBChecksExport.h"
#include "export/QBConnectionFactory.h"
#include "export/ReportSource.h"
#include "export/UserDialogs.h"

#include <vector>

// What the checks page offers a run besides the report source.
class IChecksRunInputs : public IReportSource {
public:
    // The check kind choice of the direct tab (TChecksReportChoice).
    virtual int CheckKindChoice() const = 0;
    virtual TQBChecksExportParam ChecksExportParam() const = 0;
};

// The outcome of one completed run of a kind.
struct TChecksRunOutcome {
    QString RunName; // "Orvane Employee Checks Export"
    TChecksExportResult Result;
    QString Summary; // run name + " " + FormatChecksExportResult
};

class TChecksExportRun {
public:
    TChecksExportRun(ICommonLoggerPtr logger, const IChecksRunInputs& inputs, IUserDialogs& dialogs,
                     TQBConnectionFactory connectionFactory);

    // Runs the kinds of the source tab and kind choice. A failed kind ends
    // the run: it is logged with run name + " failed" and its error leaves
    // for the default error display.
    void RunChecksExport();

    // The titled report texts of the runs since the page emptied it; kinds
    // are separated by a form feed.
    const QString& ReportText() const { return m_reportText; }
    void ClearReportText() { m_reportText.clear(); }
    // Kinds that reached their summary, in run order; an agency report of
    // payrolls without agency checks is one, with nothing counted.
    const std::vector<TChecksRunOutcome>& Outcomes() const { return m_outcomes; }

private:
    enum TRunKind { rkEmployee, rkAgency, rkFile };
    void RunKind(TRunKind kind);
    void AddReportPiece(const QString& kindName, const QString& text);

    ICommonLoggerPtr m_logger;
    const IChecksRunInputs& m_inputs;
    IUserDialogs& m_dialogs;
    TQBConnectionFactory m_connectionFactory;
    QString m_reportText;
    std::vector<TChecksRunOutcome> m_outcomes;
};

// "Orvane %s Export" with the kind name.
QString ChecksRunName(const QString& kindName);
