#include "ui/OrvAPIClientMainForm.h"

#include "logkeeper/vlxLogArchiveDefaults.h"
#include "settings/OrvConnectionParam.h"
#include "ui/OrvAPIConnectionParamFrame.h"
#include "ui/OrvWaitForm.h"
#include "ui/PlainTextLabel.h"
#include "ui/UserDialogBoxes.h"
#include "ui/WindowGeometry.h"
#include "ui/vlxSendMailLoggerViewFrame.h"
#include "ui/vlxStatusBarProgress.h"
#include "ui/vlxWaitForm.h"

#include <QCloseEvent>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// Where the window was left.
const QString MainWindowKey = QStringLiteral("MainWindow");

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
    RestoreWindowPlace();
    StartUserLogFile();
    HandLogViewItsSecrets();
    LogStartupInfo();
    LoadConnectionSettings();
    SaveConnectionSettingsOnChange();
    LogStarted();
}

TOrvAPIClientMainFm::~TOrvAPIClientMainFm() {
    StopRuns();
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
    lblQBCompany = new QLabel;
    // Painted over the run's progress text, which spans the whole bar.
    lblQBCompany->setAutoFillBackground(true);
    StatusBar1->addPermanentWidget(lblQBCompany);
}

void TOrvAPIClientMainFm::CreateLogView() {
    TSendMailLogServices services = m_options.LogServices;
    // The core exists before the page packs anything.
    services.Redirection = [this] { return m_core->Redirection(); };
    if (!services.StartWait)
        services.StartWait = [this](const QString& message) {
            m_core->WaitIndicator().StartWait(message);
        };
    if (!services.EndWait)
        services.EndWait = [this] { m_core->WaitIndicator().EndWait(); };
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
    // The core's indicator outlives the progress (ReleaseProgress).
    const IWaitIndicatorPtr wait(&m_core->WaitIndicator(), [](IWaitIndicator*) {});
    m_progress = std::make_shared<TWaitProgressIndicator>(
        std::make_shared<TStatusBarProgressIndicator>(StatusBar1), wait);
}

void TOrvAPIClientMainFm::ShowFirstPage() {
    PageControl1->setCurrentIndex(1);
}

void TOrvAPIClientMainFm::RestoreWindowPlace() {
    RunStep([this] { RestoreWindowGeometry(*Settings(), MainWindowKey, *this); });
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

// ---- the runs ----

void TOrvAPIClientMainFm::InstallRuns(TRunServices services) {
    OrvAssert(!m_runs);
    m_runs = std::make_unique<TRunThread>(std::move(services));
    m_runWindow = new TOrvWaitFm(this, *m_runs);
    m_runBar = std::make_unique<TStatusBarProgressIndicator>(StatusBar1);
    connect(m_runs.get(), &TRunThread::RunStarted, this, &TOrvAPIClientMainFm::RunStarted);
    connect(m_runs.get(), &TRunThread::StagesChanged, this, &TOrvAPIClientMainFm::RunStagesChanged);
    connect(m_runs.get(), &TRunThread::ProgressChanged, this,
            &TOrvAPIClientMainFm::RunProgressChanged);
    connect(m_runs.get(), &TRunThread::RunFinished, this, &TOrvAPIClientMainFm::RunFinished);
    connect(m_runs.get(), &TRunThread::CompanyShown, lblQBCompany,
            [label = lblQBCompany](const QString& company) { SetPlainText(*label, company); });
}

void TOrvAPIClientMainFm::RunStarted() {
    SetRunning(true);
    m_runStages.clear();
    m_runWindow->ShowStages(m_runStages);
    if (isVisible()) {
        m_runWindow->move(geometry().center() - m_runWindow->rect().center());
        m_runWindow->show();
    }
}

void TOrvAPIClientMainFm::RunStagesChanged(const QStringList& stages) {
    m_runStages = stages;
    m_runWindow->ShowStages(stages);
    if (stages.isEmpty())
        m_runBar->EndProgress();
    else
        m_runBar->StartProgress(stages.last(), 0);
}

void TOrvAPIClientMainFm::RunProgressChanged(int done, int total) {
    m_runWindow->ShowProgress(done, total);
    if (m_runStages.isEmpty())
        return;
    m_runBar->StartProgress(StageText(m_runStages.last(), done, total), total);
    m_runBar->SetProgress(done);
}

void TOrvAPIClientMainFm::RunFinished() {
    m_runWindow->hide();
    m_runBar->EndProgress();
    SetRunning(false);
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        close();
    }
}

void TOrvAPIClientMainFm::SetRunning(bool running) {
    // The log page stays open to read; nothing else is touched meanwhile.
    for (int i = 0; i < PageControl1->count(); ++i)
        if (PageControl1->widget(i) != tbshLog)
            PageControl1->widget(i)->setEnabled(!running);
    LogView->SetActionsEnabled(!running);
}

void TOrvAPIClientMainFm::closeEvent(QCloseEvent* event) {
    if (!m_runs || !m_runs->Busy()) {
        RunStep([this] { SaveWindowGeometry(*Settings(), MainWindowKey, *this); });
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    if (m_closeAfterRun)
        return;
    if (ShowMessageBox(this, QMessageBox::Question, ApplicationTitle,
                       QStringLiteral("A run is in progress. Stop it and close?"),
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    m_closeAfterRun = true;
    m_runs->Cancel();
}

// ---- shutdown ----

void TOrvAPIClientMainFm::StopRuns() {
    // Before anything it logs to or shows goes.
    delete m_runWindow;
    m_runWindow = nullptr;
    m_runs.reset();
    m_runBar.reset();
}

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
