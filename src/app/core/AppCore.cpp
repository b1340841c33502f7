#include "app/core/AppCore.h"

#include "base/ztFormat.h"
#include "settings/RegionalSettingsGroup.h"
#include "settings/vlxPlatformPaths.h"

#include <QCoreApplication>

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

} // namespace

TAppCore::TAppCore(TAppCoreOptions options, ILoggerEventSinkPtr firstSink)
    : m_keeper(std::make_unique<TCommonLoggerKeeper>(std::move(firstSink), ApplicationTitle)),
      m_qbProcessor(std::move(options.QBProcessor)),
      m_wait(std::make_shared<THourglassWaitIndicator>()), m_regionalBefore(RegionalSettings()) {
    const QString program =
        options.ProgramFilePath.isEmpty() ? platform::ProgramFilePath() : options.ProgramFilePath;
    m_settings = options.Settings ? std::move(options.Settings) : ProgramSettings(program);
    m_redirection =
        options.Redirection ? std::move(options.Redirection) : ProgramRedirection(program);
    m_ledgerOptions = std::move(options.Ledger);
    LoadRegionalSettings(*m_settings);
}

TAppCore::~TAppCore() {
    if (m_errorDisplayInstalled && QCoreApplication::instance())
        ::InstallErrorDisplay(*QCoreApplication::instance(), nullptr);
    SetRegionalSettings(m_regionalBefore);
    // The keeper stops the user log file when it goes.
}

TQBConnectionFactory TAppCore::QBConnectionFactory() const {
    return RedirectedQBConnectionFactory(m_redirection, m_qbProcessor);
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
    return [location, failure, options, warning = m_ledgerWarning,
            logger = Logger()]() -> std::unique_ptr<TRunLedger> {
        if (failure)
            std::rethrow_exception(failure);
        std::call_once(*warning, [&] {
            const QString text = LedgerTransportWarning(location);
            if (!text.isEmpty())
                logger->LogWarning(text);
        });
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
    m_wait.SetIndicator(std::move(indicator));
}

void TAppCore::InstallErrorDisplay(TErrorDisplay display) {
    QCoreApplication* application = QCoreApplication::instance();
    OrvAssert(application != nullptr);
    ::InstallErrorDisplay(*application, std::move(display));
    m_errorDisplayInstalled = true;
}

void TAppCore::StopUserLogFile() {
    m_keeper->StopUserLogFile();
}

void TAppCore::RestoreWaitIndicator() {
    m_wait.SetIndicator(nullptr);
}
