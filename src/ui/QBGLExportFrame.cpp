#include "ui/QBGLExportFrame.h"

#include "export/GLExportRun.h"
#include "ui/FileOpenFrame.h"
#include "ui/QBGLExportParamFrame.h"

namespace {

class TGLPageInputs : public TPageReportSource<IGLRunInputs> {
public:
    TGLPageInputs(const TQBExportBaseFrm& page, const TQBGLExportParamFrm& options)
        : TPageReportSource(page), m_options(options) {}
    TQBGLExportParam GLExportParam() const override { return m_options.GetParam(); }

private:
    const TQBGLExportParamFrm& m_options;
};

} // namespace

TQBGLExportFrm::TQBGLExportFrm(TExportPageServices services, QWidget* parent)
    : TQBExportBaseFrm(
          QStringLiteral("You can get Orvane Journal either directly from Orvane or from a file"),
          QStringLiteral("   Select a S348 report"), QStringLiteral("Print Journal"),
          std::move(services), parent),
      QBParamFrame(new TQBGLExportParamFrm) {
    SetParamFrame(QBParamFrame);
    FileOpenFrame->SetFilter(
        QStringLiteral("GL Journal files (*.csv,*.txt)|*.csv;*.txt|All files|*"));
    FileOpenFrame->SetHint(QStringLiteral("Open|Opens a GL Journal file"));
}

void TQBGLExportFrm::RunExport() {
    const TGLPageInputs inputs(*this, *QBParamFrame);
    TGLExportRun run(Logger(), inputs, Dialogs(), Services().Connect);
    RunKeepingReport(run, &TGLExportRun::RunGLExport);
}
