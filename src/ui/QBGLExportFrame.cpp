#include "ui/QBGLExportFrame.h"

#include "runs/GLExportRun.h"
#include "settings/QBDecl.h"
#include "ui/FileOpenFrame.h"
#include "ui/QBGLExportParamFrame.h"

const QString OrvGLExportPayrollFilterKey = QStringLiteral("OrvGLExportPayrollFilter");

TQBGLExportFrm::TQBGLExportFrm(QWidget* parent)
    : TQBExportBaseFrm(
          QStringLiteral("You can get Orvane Journal either directly from Orvane or from a file"),
          QStringLiteral("   Select a S348 report"), QStringLiteral("Print Journal"),
          OrvGLExportPayrollFilterKey, parent),
      QBParamFrame(new TQBGLExportParamFrm) {
    SetParamFrame(QBParamFrame);
    FileOpenFrame->SetFilter(
        QStringLiteral("GL Journal files (*.csv,*.txt)|*.csv;*.txt|All files|*"));
    FileOpenFrame->SetHint(QStringLiteral("Open|Opens a GL Journal file"));
}

void TQBGLExportFrm::RunExport(const TPostingOptions& posting) {
    StartExport(
        [run = TGLExportRun({SourceOptions(), QBParamFrame->GetParam(), posting})](
            TRunContext& context) mutable { return QList<TPostResult>{run.RunGLExport(context)}; });
}

void TQBGLExportFrm::LoadPanelOptions(const IztSettings& settings, const TOptionStep& step) {
    step([&] { QBParamFrame->SetParam(LoadGLExportParam(settings, QBGLExportOptionsKey)); });
}

void TQBGLExportFrm::SavePanelOptions(IztSettings& settings, const TOptionStep& step) const {
    step([&] { SaveGLExportParam(QBParamFrame->GetParam(), settings, QBGLExportOptionsKey); });
}
