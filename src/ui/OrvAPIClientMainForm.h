// The main window of the tools that talk to the Orvane API: the tabs
// "Connection settings", "Import/Export" and "Log", the status bar with its
// progress, the connection settings saved on every change, the log page and
// the recording of a run's user log (ILogRecorder), and counted progress for
// any part that asks the window (IProgressIndicator); its size and place are
// kept across starts. It starts the program
// through the application core: its constructor is the start-up sequence,
// its destructor the shutdown, one named step each.
#pragma once

#include "app/core/AppCore.h"
#include "base/vlxClasses.h"
#include "logkeeper/vlxLogRecorder.h"
#include "logkeeper/vlxSendMailLoggerView.h"
#include "runs/RunThread.h"

#include <QDateTime>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QTabWidget;
class TCommonLoggerViewFrame;
class TLargeWaitIndicator;
class TOrvAPIConnectionParamFrm;
class TOrvWaitFm;
class TOwnerDrawnStatusBar;
class TStatusBarProgressIndicator;

struct TMainWindowOptions {
    // The settings store and the redirection file (tests: temporary ones).
    TAppCoreOptions Core;
    // The clock of the start-up records; none: the system's.
    std::function<QDateTime()> Now;
    // How the log page reaches the mail client and the file manager, and its
    // clock; its redirection is the core's.
    TSendMailLogServices LogServices;
    // The log page's class; none: TSendMailLoggerViewFrame.
    std::function<TCommonLoggerViewFrame*(const TSendMailLogServices&)> LogViewClass;
    // "major.minor" of the caption; none: this build's version.
    std::optional<QString> Version;
};

class TOrvAPIClientMainFm : public QMainWindow, public ILogRecorder, public IProgressIndicator {
    Q_OBJECT
public:
    explicit TOrvAPIClientMainFm(TMainWindowOptions options = {});
    ~TOrvAPIClientMainFm() override;

    // The program's logger; every part the window creates receives it.
    const ICommonLoggerPtr& Logger() const { return m_core->Logger(); }
    const IztSettingsPtr& Settings() const { return m_core->Settings(); }
    TAppCore& Core() { return *m_core; }

    // A page records the user log of one run (plain text or HTML).
    void StartRecording(bool asHtml) override;
    QString StopRecording() override;

    // The status bar's progress, with the wait window and the hourglass.
    void StartProgress(const QString& caption, int maximum) override;
    void SetProgress(int position) override;
    void EndProgress() override;

    // The worker thread of the runs; exists once a derived window has
    // installed it (InstallRuns).
    TRunThread& Runs() { return *m_runs; }
    // The wait window of the runs.
    TOrvWaitFm* RunWindow() const { return m_runWindow; }

    QTabWidget* PageControl1;
    QWidget* TabSheet3; // "Connection settings"
    QWidget* TabSheet2; // "Import/Export"
    QWidget* tbshLog;   // "Log"
    TOwnerDrawnStatusBar* StatusBar1;
    // The QuickBooks company the last run found open, in the status bar.
    QLabel* lblQBCompany;
    TOrvAPIConnectionParamFrm* OrvFrame;
    TCommonLoggerViewFrame* LogView;

protected:
    // A step of start-up or shutdown that reads or writes settings or files:
    // its failure is logged and the next step runs.
    void RunStep(const std::function<void()>& step);
    // Starts the worker thread with the window's seams. While a run works,
    // its wait window and the status bar show its stages, and the pages and
    // the log page's actions are off.
    void InstallRuns(TRunServices services);
    // Saves where the window is. During a run: asks "A run is in progress.
    // Stop it and close?"; Yes stops the run at its next safe point and
    // closes the window then.
    void closeEvent(QCloseEvent* event) override;

private:
    // Start-up, in this order.
    void CreateControls();
    void CreateLogView();
    void StartCore();
    void ShowWaitWindowAndHourglass();
    void SetCaption();
    void CreateProgress();
    void ShowFirstPage();
    // Where the window was when it last closed (saved by closeEvent).
    void RestoreWindowPlace();
    void StartUserLogFile();
    void HandLogViewItsSecrets();
    void LogStartupInfo();
    void LoadConnectionSettings();
    void SaveConnectionSettingsOnChange();
    void LogStarted();
    // The runs.
    void RunStarted();
    void RunStagesChanged(const QStringList& stages);
    void RunProgressChanged(int done, int total);
    void RunFinished();
    void SetRunning(bool running);
    // Shutdown, in this order.
    void StopRuns();
    void StopUserLogFile();
    void RestoreHourglass();
    void ReleaseProgress();
    void DestroyControls();

    void SaveConnectionSettings();

    TMainWindowOptions m_options;
    std::unique_ptr<TAppCore> m_core;
    std::unique_ptr<TLogRecorder> m_recorder;
    IProgressIndicatorPtr m_progress;
    std::unique_ptr<TRunThread> m_runs;
    TOrvWaitFm* m_runWindow = nullptr;
    std::unique_ptr<TStatusBarProgressIndicator> m_runBar;
    QStringList m_runStages;
    bool m_closeAfterRun = false;
};
