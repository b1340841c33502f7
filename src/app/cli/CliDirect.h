// The direct source of orvq-cli: the payroll service's connection from the
// saved settings and flags, the company and payrolls chosen by number or by
// check-date period through the program's payroll lists, and the report
// source the export runs fetch through.
#pragma once

#include "CliSupport.h"

#include "payroll/OrvDirectReportSource.h"
#include "payroll/OrvPayrollLists.h"

#include <QDate>
#include <QList>

// Options taking a value: --server, --port, --user, --poll-interval.
extern const QStringList CliConnectionOptions;
// Options taking a value: --company, --payrolls, --from, --to.
extern const QStringList CliPayrollOptions;
extern const char* const CliConnectionOptionsHelp;
extern const char* const CliPayrollOptionsHelp;
// --poll-interval and Ctrl+C, after the connection options of the exports.
extern const char* const CliReportWaitHelp;
// Where the password comes from, after the connection options.
extern const char* const CliPasswordHelp;

// A password is never taken from the command line, where every user of the
// machine can read it. Throws ECliUsageError for --password.
void RefuseCommandLinePassword(const QStringList& args);

// Throws ECliUsageError naming the first of names that is given.
void RefuseOptions(const TCliOptions& options, const QStringList& names, const QString& why);

// The value of --port. Throws ECliUsageError.
int CliPort(const TCliOptions& options);
// The saved connection settings with the flags' overrides. The password is
// the one of ORVQ_PASSWORD, else the saved one (for the saved server and
// user only), else asked for at a terminal. Throws ECliUsageError when the
// server, the user or the password is missing or a flag's value is bad.
TOrvAPIConnectionParam CliConnectionParam(const TCliEnvironment& env, const TCliOptions& options,
                                          ICommonLogger& logger);
// How the service is reached: the main program's certificates and queries.
TOrvAPIEnvironment CliOrvEnvironment(const TCliEnvironment& env);
int CliPollIntervalMs(const TCliEnvironment& env, const TCliOptions& options);

struct TCliPeriod {
    QDate From;
    QDate To;
};

// A date of --from or --to: yyyy-mm-dd or the user's short date format.
QDate CliDate(const QString& option, const QString& text);
// --from and --to, both or neither. Throws ECliUsageError.
std::optional<TCliPeriod> CliPeriod(const TCliOptions& options);

// The payrolls of a direct export: --company with --payrolls (within --from
// and --to when given, else of any check date) or with --from and --to (all
// payrolls of the company in the period).
struct TCliPayrollChoice {
    qint32 CoNbr = 0;
    QList<qint32> PrNbrs; // empty: all of the period
    TCliPeriod Period;
};
// Throws ECliUsageError.
TCliPayrollChoice CliPayrollChoice(const TCliOptions& options);

// Reads the main program's redirection into orv, loads the payroll lists of
// the period from the service and selects the choice in them, in a log
// block. Throws (logged) the redirection's or the service's error, or
// EztException when the company or a payroll is not in the lists.
TOrvPayrollsDef LoadChosenPayrolls(const TCliEnvironment& env, const TCliPayrollChoice& choice,
                                   const TOrvAPIConnectionParam& param,
                                   const ICommonLoggerPtr& logger, TOrvAPIEnvironment& orv);

// A progress indication nobody watches.
class TCliNoProgress : public IProgressIndicator {
public:
    void StartProgress(const QString&, int) override {}
    void SetProgress(int) override {}
    void EndProgress() override {}
};

// The program's direct source behind the console's report wait: the wait
// text is printed, Ctrl+C acts as Cancel. Remembers a fetch that gave
// nothing (a failed server task or a cancel), which the runs only log.
class TCliDirectSource : public IDirectReportSource {
public:
    TCliDirectSource(const ICommonLoggerPtr& logger, const TCliEnvironment& env,
                     TOrvAPIConnectionParam param, TOrvPayrollsDef selection,
                     TOrvAPIEnvironment orv, int pollIntervalMs);

    TFetchedReport FetchChecksReport(TChecksFetchKind kind) override;
    TFetchedReport FetchGLReport(const TQBGLExportParam& options) override;
    bool LastFetchCancelled() const override { return m_source.LastFetchCancelled(); }
    bool AnyFetchFailed() const { return m_failed; }

private:
    TFetchedReport Note(TFetchedReport report);

    TOrvDirectReportSource m_source;
    bool m_failed = false;
};

// Where an export command takes its report from: with --direct the service
// (the payroll choice and poll interval), else the file of --file.
struct TCliReportSourceChoice {
    std::optional<TCliPayrollChoice> Payrolls; // set exactly with --direct
    int PollIntervalMs = 0;
};
// Throws ECliUsageError for --file with --direct, for a direct-only option
// (the connection and payroll options and `directOnly`) without --direct,
// and with `missingFile` when neither a source nor a file is given.
TCliReportSourceChoice CliReportSourceChoice(const TCliEnvironment& env, const TCliOptions& options,
                                             const QStringList& directOnly,
                                             const QString& missingFile);

// Loads the chosen payrolls (see LoadChosenPayrolls, whose errors it passes
// on) and makes the direct source a run fetches its reports from.
std::unique_ptr<TCliDirectSource> OpenCliDirectSource(const TCliEnvironment& env,
                                                      const TCliPayrollChoice& choice,
                                                      const TOrvAPIConnectionParam& param,
                                                      const ICommonLoggerPtr& logger,
                                                      int pollIntervalMs);

// While it lives, failures handed to the error display (a report task that
// failed while polling, a log-out that failed) are printed as "Error: ..."
// lines; on destruction the ones still queued are shown first.
class TCliErrorDisplay {
public:
    explicit TCliErrorDisplay(QTextStream& err);
    ~TCliErrorDisplay();
    TCliErrorDisplay(const TCliErrorDisplay&) = delete;
    TCliErrorDisplay& operator=(const TCliErrorDisplay&) = delete;

    // Shows the queued failures now; how many were shown so far.
    int Flush();

private:
    QTextStream& m_err;
    int m_shown = 0;
};
