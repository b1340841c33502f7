#include "ui/MainForm.h"

#include "export/QBConnectionFactory.h"
#include "ui/BureauFrame.h"
#include "ui/HistoryFrame.h"
#include "ui/OrvAPIConnectionParamFrame.h"
#include "ui/QBChecksExportFrame.h"
#include "ui/QBGLExportFrame.h"
#include "ui/UserDialogBoxes.h"

#include <QTabWidget>
#include <QVBoxLayout>

namespace {

template <typename Page> Page* FillWithPage(QWidget* tab, Page* page) {
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(page);
    return page;
}

} // namespace

TMainFm::TMainFm(TMainWindowOptions options, TExportPageServices pageServices)
    : TOrvAPIClientMainFm(std::move(options)) {
    StartRuns(std::move(pageServices));
    PageControl1->setTabText(PageControl1->indexOf(TabSheet2), QStringLiteral("GL Export"));
    TabSheet4 = new QWidget;
    PageControl1->addTab(TabSheet4, QStringLiteral("Checks Export"));
    QBGLExportFrame = FillWithPage(TabSheet2, new TQBGLExportFrm);
    QBChecksExportFrame = FillWithPage(TabSheet4, new TQBChecksExportFrm);
    QBGLExportFrame->Init(Logger(), *OrvFrame, *this, Runs());
    QBChecksExportFrame->Init(Logger(), *OrvFrame, *this, Runs());
    AddHistoryTab();
    AddBureauTab();
    LoadOptions();
}

void TMainFm::AddHistoryTab() {
    TabSheet5 = new QWidget;
    PageControl1->insertTab(PageControl1->indexOf(TabSheet4) + 1, TabSheet5,
                            QStringLiteral("History"));
    HistoryFrame = FillWithPage(TabSheet5, new THistoryFrm);
    HistoryFrame->Init(Runs());
    // Read when shown, so that a start never waits for the ledger.
    connect(PageControl1, &QTabWidget::currentChanged, HistoryFrame, [this](int index) {
        if (PageControl1->widget(index) == TabSheet5)
            HistoryFrame->Refresh();
    });
}

void TMainFm::AddBureauTab() {
    TabSheet6 = new QWidget;
    PageControl1->insertTab(PageControl1->indexOf(TabSheet5) + 1, TabSheet6,
                            QStringLiteral("Bureau"));
    BureauFrame = FillWithPage(TabSheet6, new TBureauFrm);
    TBureauTabSources sources;
    sources.Connection = [this] { return OrvFrame->GetParam(); };
    sources.Defaults = [this] {
        TBureauRunOptions options;
        options.Checks = LoadChecksExportParam(*Settings(), QBChecksExportOptionsKey);
        options.GL = LoadGLExportParam(*Settings(), QBGLExportOptionsKey);
        options.QuickBooks.SdkDownloadAddress = QBSdkDownloadAddress;
        options.QuickBooks.Processor.Factory = Core().QBProcessor();
        return options;
    };
    BureauFrame->Init(Runs(), std::move(sources));
    connect(PageControl1, &QTabWidget::currentChanged, BureauFrame, [this](int index) {
        if (PageControl1->widget(index) == TabSheet6)
            BureauFrame->Refresh();
    });
}

void TMainFm::StartRuns(TExportPageServices pageServices) {
    TRunServices runs;
    runs.Logger = Logger();
    runs.Dialogs =
        pageServices.Dialogs ? pageServices.Dialogs : std::make_shared<TWindowUserDialogs>(this);
    runs.ConnectQB = pageServices.Connect ? pageServices.Connect : Core().QBConnectionFactory();
    const std::function<IRedirectionPtr()> redirection =
        pageServices.Redirection ? pageServices.Redirection : Core().RedirectionFactory();
    runs.Orvane = [redirection] {
        TOrvAPIEnvironment environment;
        environment.Redirection = redirection();
        return environment;
    };
    runs.ReportPollIntervalMs = pageServices.ReportPollIntervalMs;
    runs.Ledger = [this] { return Core().LedgerFactory(); };
    InstallRuns(std::move(runs));
}

TMainFm::~TMainFm() {
    SaveOptions();
}

void TMainFm::LoadOptions() {
    const auto step = [this](const std::function<void()>& load) { RunStep(load); };
    QBGLExportFrame->LoadOptions(*Settings(), step);
    QBChecksExportFrame->LoadOptions(*Settings(), step);
}

void TMainFm::SaveOptions() {
    const auto step = [this](const std::function<void()>& save) { RunStep(save); };
    QBGLExportFrame->SaveOptions(*Settings(), step);
    QBChecksExportFrame->SaveOptions(*Settings(), step);
}
