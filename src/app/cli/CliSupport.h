// What every orvq-cli command shares: its environment (streams, the main
// program's start-up core), option parsing, the console and developer log
// sinks on the program's logger, and the console dialogs.
#pragma once

#include "app/core/AppCore.h"
#include "base/ztExceptions.h"
#include "export/QBConnectionFactory.h"
#include "export/UserDialogs.h"
#include "logging/vlxLogWriters.h"
#include "logging/vlxLoggerChain.h"
#include "payroll/OrvReportTask.h"
#include "settings/QBDecl.h"
#include "settings/vlxRedir.h"
#include "settings/ztSettings.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>
#include <optional>

// Exit codes of every command. cecPostedWithProblem: something was posted
// (or may have been) but not all of it as asked; running the same command
// again is not the remedy.
enum TCliExitCode { cecSuccess = 0, cecFailed = 1, cecUsage = 2, cecPostedWithProblem = 3 };

// Wrong usage: a missing or unknown option, a bad value. Exit code 2.
class ECliUsageError : public EztException {
public:
    using EztException::EztException;
};

struct TCliEnvironment {
    TCliEnvironment(QTextStream& out, QTextStream& err, QTextStream* in, TAppCore& core)
        : Out(out), Err(err), In(in), Core(core) {}

    QTextStream& Out;
    QTextStream& Err;
    QTextStream* In = nullptr; // answers to questions; null: every question is answered No
    // The main program's settings store, its redirection file (the company
    // file, the payroll service's certificates and stored queries) and its
    // logger keeper with the user log file.
    TAppCore& Core;
    // The user log file and the start-up records are started with the
    // first command's log, so that a failure shows on the console.
    bool ProgramLogStarted = false;
    // The password of ORVQ_PASSWORD, when that variable is set.
    std::optional<QString> PasswordVariable;
    // The run ledger's password of ORVQ_LEDGER_PASSWORD, when that is set.
    std::optional<QString> LedgerPasswordVariable;
    // Asks for the password without echo; null where nobody can answer.
    std::function<std::optional<QString>(const QString& prompt)> AskPassword;
    // While a report is awaited: watches for the user's Ctrl+C, which calls
    // the function given, for as long as the returned object lives; null:
    // nothing to watch.
    std::function<std::shared_ptr<void>(std::function<void()> cancel)> WatchInterrupt;
    // How often a report task is polled when --poll-interval is not given.
    int ReportPollIntervalMs = OrvTaskPollIntervalMs;
};

// The options of one command line: "--name value" options and "--flag"
// switches, each allowed at most once. Anything else is a usage error.
class TCliOptions {
public:
    // valued: option names taking a value; flags: switch names.
    TCliOptions(const QStringList& args, const QStringList& valued, const QStringList& flags);

    bool Has(const QString& name) const {
        return m_values.contains(name) || m_flags.contains(name);
    }
    QString Value(const QString& name) const { return m_values.value(name); }
    // The value of a --name / --no-name pair, else the fallback.
    bool Switch(const QString& name, bool fallback) const;

private:
    QHash<QString, QString> m_values;
    QSet<QString> m_flags;
};

// Writes each log record to a text stream as it is logged.
class TTextStreamLogOutput : public ILogOutput {
public:
    explicit TTextStreamLogOutput(QTextStream& stream) : m_stream(stream) {}
    void WriteLine(const QString& text) override;

private:
    QTextStream& m_stream;
};

// The log of one command on the program's logger: the user log on the
// output stream, the developer log (every qbXML request and response) in a
// file when asked.
class TCliLogSession {
public:
    // Throws ECliUsageError when the developer log file cannot be written.
    TCliLogSession(TCliEnvironment& env, QTextStream& out, const QString& devLogFile);
    ~TCliLogSession();
    TCliLogSession(const TCliLogSession&) = delete;
    TCliLogSession& operator=(const TCliLogSession&) = delete;

    const ICommonLoggerPtr& Logger() const { return m_logger; }

private:
    ICommonLoggerPtr m_logger;
    std::unique_ptr<TScopedSink> m_user;
    std::unique_ptr<TScopedSink> m_dev;
};

// Boxes become lines on the console; questions are read from the input.
class TConsoleUserDialogs : public IUserDialogs {
public:
    TConsoleUserDialogs(QTextStream& out, QTextStream& err, QTextStream* in)
        : m_out(out), m_err(err), m_in(in) {}

protected:
    void DoShowInformation(const QString& message) override;
    void DoShowError(const QString& message) override;
    // The check box is not offered: the commands say it with an option.
    TQuestionAnswer DoAsk(const TQuestion& question) override;

private:
    QTextStream& m_out;
    QTextStream& m_err;
    QTextStream* m_in;
};

// The company file of the alias "QBCompanyFile" of the main program's
// redirection file. Throws ERedirectionError.
QString CliCompanyFile(const TCliEnvironment& env);
// The connection settings of a command: the company file of --company-file
// when given (named to QuickBooks, so it must exist), else the one of the
// redirection file (the program's own, made on first use).
TQBConnectionConfig CliConnectionConfig(const TCliEnvironment& env, const TCliOptions& options);
// Opens QuickBooks when the run connects, so a missing redirection file is
// reported, and logged, as the run's failure. Keeps references to both.
TQBConnectionFactory CliConnectionFactory(const TCliEnvironment& env, const TCliOptions& options);
// Wrong usage of a command, with the hint to its help; returns cecUsage.
int ShowUsageError(QTextStream& err, const QString& command, const QString& message);

// The options every export command takes, for its help text.
extern const char* const CliCommonOptionsHelp;
// The requests a request set holds: --batch-size when given, else `saved`.
// Throws ECliUsageError for anything but a number from 1 to MaxQBBatchSize.
int CliBatchSize(const TCliOptions& options, int saved);

// Writes text (UTF-8) to path whole or not at all, so a file a command
// writes is never left half written. Throws EztException with `failure`
// formatted with the path and the reason.
void WriteWholeFile(const QString& path, const QString& text, const char* failure);

// Runs orvq-cli: args without the program name. Returns the exit code.
int RunOrvqCli(const QStringList& args, TCliEnvironment& env);

// orvq-cli works on the data of the main program "orvq" beside it: its
// settings store and its redirection file (TAppCoreOptions).
QString MainProgramFilePath();
