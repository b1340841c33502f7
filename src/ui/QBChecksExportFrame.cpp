#include "ui/QBChecksExportFrame.h"

#include "base/vlxDeferredCall.h"
#include "base/vlxErrorDisplay.h"
#include "runs/AccountListRun.h"
#include "runs/ChecksExportRun.h"
#include "settings/QBDecl.h"
#include "ui/FileOpenFrame.h"
#include "ui/OrvOptionsFrame.h"
#include "ui/OrvqApplication.h"
#include "ui/QBChecksExportParamFrame.h"

#include <QPushButton>

const QString OrvChecksExportPayrollFilterKey = QStringLiteral("OrvChecksExportPayrollFilter");

TQBChecksExportFrm::TQBChecksExportFrm(QWidget* parent)
    : TQBExportBaseFrm(
          QStringLiteral("You can get Orvane Checks either directly from Orvane or from a file"),
          QStringLiteral("   Select a S1910 or S1911 report"), QStringLiteral("Print Checks"),
          OrvChecksExportPayrollFilterKey, parent),
      QBParamFrame(new TQBChecksExportParamFrm), OrvOptionsFrame(new TOrvOptionsFrm) {
    SetParamFrame(QBParamFrame);
    AddToDirectTab(OrvOptionsFrame);
    connect(QBParamFrame->bbGetAccountList, &QPushButton::clicked, this,
            UserAction([this] { RefreshAccountList(); }));
}

void TQBChecksExportFrm::Init(ICommonLoggerPtr logger, TOrvAPIConnectionParamFrm& connection,
                              ILogRecorder& recorder, TRunThread& runs) {
    TQBExportBaseFrm::Init(logger, connection, recorder, runs);
    FileOpenFrame->SetFilter(QStringLiteral("Checks files (*.csv,*.txt)|*.csv;*.txt|All files|*"));
    FileOpenFrame->SetHint(QStringLiteral("Open|Opens a Checks file"));
    PostDeferredCall([this] { RefreshAccountList(); }, this);
}

bool TQBChecksExportFrm::CanRun() const {
    return IsSourceReady() && QBParamFrame->AccountsChosen();
}

void TQBChecksExportFrm::LoadPanelOptions(const IztSettings& settings, const TOptionStep& step) {
    step(
        [&] { QBParamFrame->SetParam(LoadChecksExportParam(settings, QBChecksExportOptionsKey)); });
    step([&] {
        OrvOptionsFrame->SetKind(LoadChecksReportChoice(settings, OrvChecksExportOptionsKey));
    });
}

void TQBChecksExportFrm::SavePanelOptions(IztSettings& settings, const TOptionStep& step) const {
    step([&] {
        SaveChecksExportParam(QBParamFrame->GetParam(), settings, QBChecksExportOptionsKey);
    });
    step([&] {
        SaveChecksReportChoice(OrvOptionsFrame->Kind(), settings, OrvChecksExportOptionsKey);
    });
}

void TQBChecksExportFrm::RunExport(const TPostingOptions& posting) {
    TChecksRunOptions options;
    options.Source = SourceOptions();
    options.CheckKindChoice = OrvOptionsFrame->Kind();
    options.Checks = QBParamFrame->GetParam();
    options.Posting = posting;
    StartExport([run = TChecksExportRun(std::move(options))](TRunContext& context) mutable {
        return run.RunChecksExport(context);
    });
}

void TQBChecksExportFrm::RefreshAccountList() {
    if (Runs().Busy())
        return;
    auto run = std::make_shared<TAccountListRun>();
    Runs().Start([run](TRunContext& context) { run->FetchAccountList(context); },
                 [this, run](std::exception_ptr failure) {
                     // A failure leaves both lists as they were.
                     if (!failure)
                         QBParamFrame->SetAccountNames(run->AccountNames());
                     UpdateActions();
                     if (failure && !IsCancel(failure))
                         ShowInErrorDisplay(failure);
                     Q_EMIT AccountListEnded();
                 });
}
