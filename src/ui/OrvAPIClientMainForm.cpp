#include "ui/OrvAPIClientMainForm.h"

#include "base/vlxGlobalWaitIndicator.h"
#include "logging/vlxLogArchiveDefaults.h"
#include "settings/OrvConnectionParam.h"
#include "ui/OrvAPIConnectionParamFrame.h"
#include "ui/UserDialogBoxes.h"
#include "ui/vlxSendMailLoggerViewFrame.h"
#include "ui/vlxStatusBarProgress.h"
#include "ui/vlxWaitForm.h"

#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QWidget* NewTab(QTabWidget* pages, const QString& caption) {
    auto* tab = new QWidget;
    pages->addTab(tab, caption);
    return tab;
}

} // namespace

TOrvAPIClientMainFm::TOrvAPIClientMainFm(TMainWindowOptions options)
    : m_options(std::move(options)) {
    CreateControls();
    CreateLogView();
    StartCore();
    ShowWaitWindowAndHourglass();
    SetCaption();
    CreateProgress();
    ShowFirstPage();
    StartUserLogFile();
    HandLogViewItsSecrets();
    LogStartupInfo();
    LoadConnectionSettings();
    SaveConnectionSettingsOnChange();
    LogStarted();
}

TOrvAPIClientMainFm::~TOrvAPIClientMainFm() {
    StopUserLogFile();
    RestoreHourglass();
    ReleaseProgress();
    DestroyControls();
    m_recorder.reset();
    // The core goes last: the error display is put back and the keeper
    // releases the logger chain.
}

void TOrvAPIClientMainFm::RunStep(const std::function<void()>& step) {
    try {
        step();
    } catch (...) {
        Logger()->StopException();
    }
}

// ---- start-up ----

void TOrvAPIClientMainFm::CreateControls() {
    setMinimumSize(800, 550);
    PageControl1 = new QTabWidget;
    TabSheet3 = NewTab(PageControl1, QStringLiteral("Connection settings"));
    TabSheet2 = NewTab(PageControl1, QStringLiteral("Import/Export"));
    tbshLog = NewTab(PageControl1, QStringLiteral("Log"));
    setCentralWidget(PageControl1);

    OrvFrame = new TOrvAPIConnectionParamFrm;
    auto* connection = new QVBoxLayout(TabSheet3);
    connection->addWidget(OrvFrame, 0, Qt::AlignLeft | Qt::AlignTop);
    connection->addStretch();

    StatusBar1 = new TOwnerDrawnStatusBar;
    setStatusBar(StatusBar1);
}

void TOrvAPIClientMainFm::CreateLogView() {
    TSendMailLogServices services = m_options.LogServices;
    // The core exists before the page packs anything.
    services.Redirection = [this] { return m_core->Redirection(); };
    LogView = m_options.LogViewClass ? m_options.LogViewClass(services)
                                     : new TSendMailLoggerViewFrame(nullptr, services);
    auto* layout = new QVBoxLayout(tbshLog);
    layout->addWidget(LogView);
}

void TOrvAPIClientMainFm::StartCore() {
    m_core = std::make_unique<TAppCore>(m_options.Core, LogView->FirstSink());
    LogView->AttachKeeper(m_core->Keeper());
    m_recorder =
        std::make_unique<TLogRecorder>(m_core->Keeper().StatefulLogger(), ApplicationTitle, [this] {
            return m_core->Redirection()->GetDirectory(QStringLiteral("HTMLTemplates"));
        });
}

void TOrvAPIClientMainFm::ShowWaitWindowAndHourglass() {
    m_core->InstallWaitIndicator(std::make_shared<TCombinedWaitIndicator>(
        std::make_shared<TLargeWaitIndicator>(this), std::make_shared<THourglassWaitIndicator>()));
    m_core->InstallErrorDisplay(&ShowErrorBox);
}

void TOrvAPIClientMainFm::SetCaption() {
    setWindowTitle(ProgramCaption(ApplicationTitle, m_options.Version.value_or(ProgramVersion())));
}

void TOrvAPIClientMainFm::CreateProgress() {
    // The process-wide indicator lives as long as the program.
    const IWaitIndicatorPtr wait(&WaitIndicator(), [](IWaitIndicator*) {});
    m_progress = std::make_shared<TWaitProgressIndicator>(
        std::make_shared<TStatusBarProgressIndicator>(StatusBar1), wait);
}

void TOrvAPIClientMainFm::ShowFirstPage() {
    PageControl1->setCurrentIndex(1);
}

void TOrvAPIClientMainFm::StartUserLogFile() {
    m_core->StartUserLogFile();
}

void TOrvAPIClientMainFm::HandLogViewItsSecrets() {
    auto* page = qobject_cast<TSendMailLoggerViewFrame*>(LogView);
    if (!page)
        return;
    RunStep([this, page] {
        page->SetArchivePassword(LogArchivePassword(Settings().get()));
        page->SetMailRecipients(LogMailRecipients(Settings().get()));
    });
}

void TOrvAPIClientMainFm::LogStartupInfo() {
    m_core->LogStartupInfo(windowTitle(),
                           m_options.Now ? m_options.Now() : QDateTime::currentDateTime());
}

void TOrvAPIClientMainFm::LoadConnectionSettings() {
    RunStep([this] {
        TOrvAPIConnectionParam param;
        LoadConnectionParam(*Logger(), *Settings(), QString(), param);
        OrvFrame->SetParam(param);
    });
}

void TOrvAPIClientMainFm::SaveConnectionSettingsOnChange() {
    OrvFrame->SetOnChange([this](TOptionsBaseFrm*) { SaveConnectionSettings(); });
}

// The start-up records are for developers; this one line shows on the log
// page and marks in the user log file where a program run begins.
void TOrvAPIClientMainFm::LogStarted() {
    Logger()->LogEventFmt(QStringLiteral("%s started"), {windowTitle().trimmed()});
}

void TOrvAPIClientMainFm::SaveConnectionSettings() {
    RunStep([this] { SaveConnectionParam(OrvFrame->GetParam(), *Settings(), QString()); });
}

// ---- shutdown ----

void TOrvAPIClientMainFm::StopUserLogFile() {
    m_core->StopUserLogFile();
}

void TOrvAPIClientMainFm::RestoreHourglass() {
    m_core->RestoreWaitIndicator();
}

void TOrvAPIClientMainFm::ReleaseProgress() {
    m_progress.reset();
}

void TOrvAPIClientMainFm::DestroyControls() {
    // The pages and the log page leave the logger while the keeper lives.
    OrvFrame->SetOnChange(nullptr);
    delete PageControl1;
    PageControl1 = nullptr;
    OrvFrame = nullptr;
    LogView = nullptr;
}

// ---- ILogRecorder, IProgressIndicator ----

void TOrvAPIClientMainFm::StartRecording(bool asHtml) {
    m_recorder->StartRecording(asHtml);
}

QString TOrvAPIClientMainFm::StopRecording() {
    return m_recorder->StopRecording();
}

void TOrvAPIClientMainFm::StartProgress(const QString& caption, int maximum) {
    m_progress->StartProgress(caption, maximum);
}

void TOrvAPIClientMainFm::SetProgress(int position) {
    m_progress->SetProgress(position);
}

void TOrvAPIClientMainFm::EndProgress() {
    m_progress->EndProgress();
}
