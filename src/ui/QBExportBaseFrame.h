// The base of both export pages: where the report comes from (the payroll
// service's payrolls of a period, or a report file), the payroll list
// action, Run, and printing the report and the log of the last run. A page
// adds its option panel and its run.
#pragma once

#include "export/QBConnectionFactory.h"
#include "export/ReportSource.h"
#include "export/UserDialogs.h"
#include "logging/vlxLogRecorder.h"
#include "logging/vlxcommonlogger.h"
#include "payroll/OrvReportWait.h"

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

// What the window hands its pages besides Init's arguments.
struct TExportPageServices {
    // QuickBooks of the runs and the account list.
    TQBConnectionFactory Connect;
    // Where the stored queries and the certificates are; none: the
    // program's redirection file.
    std::function<IRedirectionPtr()> Redirection;
    // The report wait windows; none: the window's own over the page.
    TOrvReportWaitWindowFactory CreateWaitWindow;
    TOrvReportWaitTimings ReportTimings;
    // The boxes of the runs; none: message boxes over the page.
    std::shared_ptr<IUserDialogs> Dialogs;
};

class TQBExportBaseFrm : public QWidget {
    Q_OBJECT
public:
    TQBExportBaseFrm(const QString& caption, const QString& fileHint,
                     const QString& printReportCaption, TExportPageServices services,
                     QWidget* parent = nullptr);
    ~TQBExportBaseFrm() override;

    // Stores the three (the connection panel and the recorder are not
    // owned), hands the logger to the payroll panel and opens the "Direct
    // connection" tab when the connection settings are complete, else the
    // "File" tab.
    virtual void Init(ICommonLoggerPtr logger, TOrvAPIConnectionParamFrm& connection,
                      ILogRecorder& recorder);

    // Direct tab: complete settings and a usable payroll selection; file
    // tab: a file name.
    bool IsSourceReady() const;
    TReportSourceTab SourceTab() const;
    QString FileName() const;
    // The payroll service as the report source of one run.
    IDirectReportSource* DirectSource() const;

    // The report and the log of the last run, for the print actions.
    const QString& ReportText() const { return m_reportText; }
    const QString& LogText() const { return m_logText; }

    // Sets each action's enabled state; runs whenever the application is
    // idle.
    void UpdateActions();

    // The actions.
    void Run();
    void GetPayrollList();
    void PrintReport();
    void PrintLog();

    QLabel* lblCaption;
    QTabWidget* pgSource;
    QWidget* tsDirect; // "Direct connection"
    QWidget* tsFile;   // "File"
    TOrvPayrollFilterFrm* PayrollFilterFrame;
    QPushButton* btnConnectToOrv;
    TOrvaneMultiplePayrollFrm* PayrollFrame;
    QLabel* lblFileHint;
    TFileOpenFrm* FileOpenFrame;
    QPushButton* btnRun;
    QPushButton* btnPrintReport;
    QPushButton* btnPrintLog;
    QAction* RunAction;
    QAction* PrintReportAction;
    QAction* PrintLogAction;
    QAction* ConnectToOrv;

protected:
    // The page's run; sets the report text (also when it fails).
    virtual void RunExport() = 0;
    // Run's extra condition (the checks page's accounts).
    virtual bool CanRun() const { return IsSourceReady(); }

    // Places the option panel at the bottom, above the buttons.
    void SetParamFrame(QWidget* frame);
    // A widget docked at the bottom of the "Direct connection" tab.
    void AddToDirectTab(QWidget* widget);

    const ICommonLoggerPtr& Logger() const { return m_logger; }
    const TExportPageServices& Services() const { return m_services; }
    IUserDialogs& Dialogs() const { return *m_dialogs; }
    // Runs step of run; the run's report text becomes the page's, also
    // when the step fails (a report that fails can still be printed).
    template <typename TRun> void RunKeepingReport(TRun& run, void (TRun::*step)()) {
        const TOnExit keep{[&] { m_reportText = run.ReportText(); }};
        (run.*step)();
    }

private:
    // Calls Run when the scope ends, also by an exception.
    struct TOnExit {
        std::function<void()> Run;
        ~TOnExit() { Run(); }
    };
    TOrvAPIEnvironment Environment() const;

    TExportPageServices m_services;
    std::shared_ptr<IUserDialogs> m_dialogs;
    ICommonLoggerPtr m_logger;
    TOrvAPIConnectionParamFrm* m_connection = nullptr;
    ILogRecorder* m_recorder = nullptr;
    std::unique_ptr<IDirectReportSource> m_directSource;
    QVBoxLayout* m_layout;
    QVBoxLayout* m_directLayout;
    QString m_reportText;
    QString m_logText;
};

// A run's view of its page as the report source; Inputs is the run's
// interface (IGLRunInputs, IChecksRunInputs).
template <typename Inputs> class TPageReportSource : public Inputs {
public:
    explicit TPageReportSource(const TQBExportBaseFrm& page) : m_page(page) {}
    TReportSourceTab SourceTab() const override { return m_page.SourceTab(); }
    QString FileName() const override { return m_page.FileName(); }
    IDirectReportSource* DirectSource() const override { return m_page.DirectSource(); }

private:
    const TQBExportBaseFrm& m_page;
};
