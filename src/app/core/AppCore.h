// How either program starts, without widgets: the settings store with the
// regional settings stored in it, the redirection file, the logger keeper
// with the user log file, the start-up records, the wait indicator, the
// error display, the regional settings in force and the QuickBooks request
// processor of the program. The window (TOrvAPIClientMainFm) and orvq-cli
// both start through it, each calling the steps in its own order; neither
// builds a logger chain of its own, and what the core holds reaches its
// users from here (or from a run's context), never from a global.
#pragma once

#include "base/RegionalSettings.h"
#include "base/vlxClasses.h"
#include "base/vlxErrorDisplay.h"
#include "export/QBConnectionFactory.h"
#include "ledger/RunLedger.h"
#include "logkeeper/vlxLoggerKeeper.h"
#include "settings/vlxRedir.h"
#include "settings/ztSettings.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <mutex>

inline const QString ApplicationTitle = QStringLiteral("Orvane QB Export");
constexpr int ProgramBuildNumber = 2859;

// "major.minor" of this build's version (the project version of CMake).
QString ProgramVersion();
// The window's caption: title, blank, version, ".0.", build number, blank.
// An unknown (empty) version leaves "Orvane QB Export .0.2859 ".
QString ProgramCaption(const QString& title, const QString& version);

struct TAppCoreOptions {
    // The program whose settings store and redirection file are used; empty:
    // the running program. orvq-cli names "orvq" beside it.
    QString ProgramFilePath;
    // Replace the program's store and redirection file (tests). The factory
    // is called anew whenever a path is needed.
    IztSettingsPtr Settings;
    TRedirectionFactory Redirection;
    // QuickBooks' request processor: the program entry's (QuickBooks' own,
    // or the sandbox company where QuickBooks does not exist), a test's.
    TQBRequestProcessorFactory QBProcessor;
    // The run ledger's options (tests: a clock of their own); the identity
    // is always this workstation's.
    TLedgerOptions Ledger;
};

class TAppCore {
public:
    // The keeper first, with firstSink (the log view; may be null) so that
    // everything after it can log; then the settings store, whose
    // "RegionalSettings" group is put in force over the system's.
    explicit TAppCore(TAppCoreOptions options = {}, ILoggerEventSinkPtr firstSink = {});
    // Puts back what it replaced (the error display, the regional settings);
    // the keeper stops the user log file and releases the chain.
    ~TAppCore();
    TAppCore(const TAppCore&) = delete;
    TAppCore& operator=(const TAppCore&) = delete;

    TCommonLoggerKeeper& Keeper() { return *m_keeper; }
    const ICommonLoggerPtr& Logger() const { return m_keeper->Logger(); }
    const IztSettingsPtr& Settings() const { return m_settings; }
    // The redirection file, read anew. Throws ERedirectionError.
    IRedirectionPtr Redirection() const { return m_redirection(); }
    const TRedirectionFactory& RedirectionFactory() const { return m_redirection; }
    // QuickBooks through the program's processor, the company file of the
    // redirection's "QBCompanyFile", read at each connection.
    TQBConnectionFactory QBConnectionFactory() const;
    const TQBRequestProcessorFactory& QBProcessor() const { return m_qbProcessor; }
    // What every part reports its busy steps to: a plain hourglass until
    // InstallWaitIndicator.
    IWaitIndicator& WaitIndicator() { return m_wait; }
    // The run ledger of the alias "Ledger" (and, for PostgreSQL, the saved
    // password), read now on this thread; the function returned opens it on
    // the thread that calls it, as this workstation and program version.
    // Where the redirection cannot name it, calling the function throws. A
    // ledger reached without TLS settings is warned of once, as it opens.
    std::function<std::unique_ptr<TRunLedger>()> LedgerFactory() const;

    // Start-up steps.
    // The user log file of the alias "Log"; when the redirection cannot give
    // it, the failure is logged and the program runs on without one.
    void StartUserLogFile();
    // "Caption: " and "Timestamp: " debug records.
    void LogStartupInfo(const QString& caption, const QDateTime& now);
    // The wait indicator shows this one until RestoreWaitIndicator.
    void InstallWaitIndicator(IWaitIndicatorPtr indicator);
    // Failures of user actions, timers and deferred calls are shown here
    // (the running application's display) until the core's end.
    void InstallErrorDisplay(TErrorDisplay display);

    // Shutdown steps; each may be called when nothing was started.
    void StopUserLogFile();
    // A plain hourglass indicator again.
    void RestoreWaitIndicator();

private:
    std::unique_ptr<TCommonLoggerKeeper> m_keeper;
    IztSettingsPtr m_settings;
    TRedirectionFactory m_redirection;
    TQBRequestProcessorFactory m_qbProcessor;
    TWaitIndicatorProxy m_wait;
    TRegionalSettings m_regionalBefore;
    TLedgerOptions m_ledgerOptions;
    std::shared_ptr<std::once_flag> m_ledgerWarning = std::make_shared<std::once_flag>();
    bool m_errorDisplayInstalled = false;
};
