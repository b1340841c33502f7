#include "app/core/AppCore.h"

#include "base/vlxGlobalWaitIndicator.h"
#include "base/ztFormat.h"
#include "settings/RegionalSettingsGroup.h"
#include "settings/vlxPlatformPaths.h"

QString ProgramVersion() {
    return QStringLiteral(ORVQ_VERSION_MAJOR_MINOR);
}

QString ProgramCaption(const QString& title, const QString& version) {
    return Format(QStringLiteral("%s %s.0.%d %s"), {title, version, ProgramBuildNumber, QString()});
}

namespace {

IztSettingsPtr ProgramSettings(const QString& programFilePath) {
    const QString program = platform::ProgramName(programFilePath);
    return std::make_shared<TztSettingsRegistry>(platform::AppSettingsHive(program),
                                                 platform::AppSettingsRootPath(program));
}

TRedirectionFactory ProgramRedirection(const QString& programFilePath) {
    return [programFilePath]() -> IRedirectionPtr {
        return std::make_shared<TRedirectionFile>(
            LocateRedirectionFile(StartupWorkDir(), programFilePath));
    };
}

} // namespace

TAppCore::TAppCore(TAppCoreOptions options, ILoggerEventSinkPtr firstSink)
    : m_keeper(std::make_unique<TCommonLoggerKeeper>(std::move(firstSink), ApplicationTitle)) {
    const QString program =
        options.ProgramFilePath.isEmpty() ? platform::ProgramFilePath() : options.ProgramFilePath;
    m_settings = options.Settings ? std::move(options.Settings) : ProgramSettings(program);
    m_redirection =
        options.Redirection ? std::move(options.Redirection) : ProgramRedirection(program);
    m_ledgerOptions = std::move(options.Ledger);
    LoadRegionalSettings(*m_settings);
}

TAppCore::~TAppCore() {
    if (m_errorDisplayInstalled)
        SetErrorDisplay(nullptr);
    RestoreWaitIndicator();
    // The keeper stops the user log file when it goes.
}

std::function<std::unique_ptr<TRunLedger>()> TAppCore::LedgerFactory() const {
    TLedgerLocation location;
    std::exception_ptr failure;
    try {
        location = ParseLedgerLocation(Redirection()->GetFileName(QStringLiteral("Ledger")));
        if (location.Engine == lenPostgreSQL)
            location.Password = LoadLedgerPassword(*m_settings);
    } catch (...) {
        failure = std::current_exception();
    }
    TLedgerOptions options = m_ledgerOptions;
    options.Identity = TLedgerIdentity::ThisWorkstation(ProgramVersion());
    return [location, failure, options]() -> std::unique_ptr<TRunLedger> {
        if (failure)
            std::rethrow_exception(failure);
        return std::make_unique<TRunLedger>(location, options);
    };
}

void TAppCore::StartUserLogFile() {
    StartUserLogFromRedirection(*m_keeper, m_redirection);
}

void TAppCore::LogStartupInfo(const QString& caption, const QDateTime& now) {
    ::LogStartupInfo(*Logger(), caption, now);
}

void TAppCore::InstallWaitIndicator(IWaitIndicatorPtr indicator) {
    SetWaitIndicator(std::move(indicator));
    m_waitIndicatorInstalled = true;
}

void TAppCore::InstallErrorDisplay(TErrorDisplay display) {
    SetErrorDisplay(std::move(display));
    m_errorDisplayInstalled = true;
}

void TAppCore::StopUserLogFile() {
    m_keeper->StopUserLogFile();
}

void TAppCore::RestoreWaitIndicator() {
    if (!m_waitIndicatorInstalled)
        return;
    SetWaitIndicator(nullptr);
    m_waitIndicatorInstalled = false;
}
