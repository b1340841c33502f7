// The base of both export pages: where the report comes from (the payroll
// service's payrolls of a period, or a report file), the payroll list
// action, Run, and printing the report and the log of the last run. A page
// adds its option panel and its run.
#pragma once

#include "export/QBConnectionFactory.h"
#include "export/UserDialogs.h"
#include "logging/vlxcommonlogger.h"
#include "logkeeper/vlxLogRecorder.h"
#include "runs/PostingRoad.h"
#include "runs/RunThread.h"
#include "settings/ztSettings.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QPushButton;
class QTabWidget;
class QVBoxLayout;
class TFileOpenFrm;
class TOrvAPIConnectionParamFrm;
class TOrvPayrollFilterFrm;
class TOrvaneMultiplePayrollFrm;
class TRunPreviewDlg;

// What the runs of the pages use (the window's worker thread hands it to
// every run); each has the window's own as its default.
struct TExportPageServices {
    // QuickBooks of the runs and the account list.
    TQBConnectionFactory Connect;
    // Where the stored queries and the certificates are; none: the
    // program's redirection file.
    std::function<IRedirectionPtr()> Redirection;
    int ReportPollIntervalMs = OrvTaskPollIntervalMs;
    // The boxes of the runs; none: message boxes over the window.
    std::shared_ptr<IUserDialogs> Dialogs;
};

class TQBExportBaseFrm : public QWidget {
    Q_OBJECT
public:
    // periodKey: the settings group of the page's period.
    TQBExportBaseFrm(const QString& caption, const QString& fileHint,
                     const QString& printReportCaption, QString periodKey,
                     QWidget* parent = nullptr);
    ~TQBExportBaseFrm() override;

    // Stores the four (none is owned) and opens the "Direct connection" tab
    // when the connection settings are complete, else the "File" tab. The
    // page's runs work on runs' thread.
    virtual void Init(ICommonLoggerPtr logger, TOrvAPIConnectionParamFrm& connection,
                      ILogRecorder& recorder, TRunThread& runs);

    // Direct tab: complete settings and a usable payroll selection; file
    // tab: a file name.
    bool IsSourceReady() const;
    TReportSourceTab SourceTab() const;
    QString FileName() const;
    // The report source of a run as the page's controls choose it now.
    TReportSourceOptions SourceOptions() const;

    // The report and the log of the last run, for the print actions.
    const QString& ReportText() const { return m_reportText; }
    const QString& LogText() const { return m_logText; }

    // The window's failure scope: each stored group loads or saves in a
    // step of its own, so one bad value spoils nothing else.
    using TOptionStep = std::function<void(const std::function<void()>&)>;
    // The page's stored options: its panel's groups, then its period (as
    // short-date text of the regional settings; the period changes only
    // when both dates convert).
    void LoadOptions(const IztSettings& settings, const TOptionStep& step);
    void SaveOptions(IztSettings& settings, const TOptionStep& step) const;

    // Sets each action's enabled state; runs whenever the application is
    // idle.
    void UpdateActions();

    // The actions. Run, Preview and GetPayrollList start a run on the
    // worker thread and return; RunEnded comes when it is over. A preview
    // that reached QuickBooks then opens the preview dialog, whose Post
    // runs the export.
    void Run();
    void Preview();
    void GetPayrollList();
    void PrintReport();
    void PrintLog();

    // The controls a user (and a test) works with.
    QTabWidget* pgSource;
    TOrvPayrollFilterFrm* PayrollFilterFrame;
    QPushButton* btnConnectToOrv;
    TOrvaneMultiplePayrollFrm* PayrollFrame;
    TFileOpenFrm* FileOpenFrame;
    QPushButton* btnRun;
    QPushButton* btnPreview;
    QPushButton* btnPrintReport;
    // "QuickBooks company: ...", as the last run found it open.
    QLabel* lblCompany;
    QAction* RunAction;
    QAction* PreviewAction;
    QAction* PrintReportAction;
    QAction* PrintLogAction;
    QAction* ConnectToOrv;

Q_SIGNALS:
    // A run of the page (an export, the payroll list) is over and its
    // results are in the page.
    void RunEnded();
    // The preview dialog is open (PreviewDialog()).
    void PreviewShown();

public:
    // The open preview dialog; null when there is none.
    TRunPreviewDlg* PreviewDialog() const;

protected:
    // The page's run: reads the controls into the run's options and starts
    // it (StartExport).
    virtual void RunExport(const TPostingOptions& posting) = 0;
    // Run's extra condition (the checks page's accounts).
    virtual bool CanRun() const { return IsSourceReady(); }
    // The option panel's stored groups, each in a step of its own.
    virtual void LoadPanelOptions(const IztSettings& settings, const TOptionStep& step) = 0;
    virtual void SavePanelOptions(IztSettings& settings, const TOptionStep& step) const = 0;

    // Places the option panel at the bottom, above the buttons.
    void SetParamFrame(QWidget* frame);
    // A widget docked at the bottom of the "Direct connection" tab.
    void AddToDirectTab(QWidget* widget);

    const ICommonLoggerPtr& Logger() const { return m_logger; }
    TRunThread& Runs() const { return *m_runs; }
    // Starts post on the worker, recording the user log; the reports of
    // its results become the page's when it is over, also when one failed
    // (a report that fails can still be printed), and a preview's open the
    // preview dialog.
    using TPosting = std::function<QList<TPostResult>(TRunContext&)>;
    void StartExport(TPosting post);

private:
    void StartPosting(const TPostingOptions& posting);
    void ShowPreview(const QList<TRunPreview>& previews);

    QLabel* lblCaption;
    QWidget* tsDirect; // "Direct connection"
    QWidget* tsFile;   // "File"
    QLabel* lblFileHint;
    QPushButton* btnPrintLog;
    const QString m_periodKey;
    ICommonLoggerPtr m_logger;
    TOrvAPIConnectionParamFrm* m_connection = nullptr;
    ILogRecorder* m_recorder = nullptr;
    TRunThread* m_runs = nullptr;
    QVBoxLayout* m_layout;
    QVBoxLayout* m_directLayout;
    QString m_reportText;
    QString m_logText;
    QPointer<TRunPreviewDlg> m_previewDialog;
};
