#include "ui/QBChecksExportFrame.h"

#include "base/vlxDeferredCall.h"
#include "export/ChecksExportRun.h"
#include "ui/FileOpenFrame.h"
#include "ui/OrvOptionsFrame.h"
#include "ui/QBChecksExportParamFrame.h"

namespace {

class TChecksPageInputs : public TPageReportSource<IChecksRunInputs> {
public:
    TChecksPageInputs(const TQBExportBaseFrm& page, const TOrvOptionsFrm& kind,
                      const TQBChecksExportParamFrm& options)
        : TPageReportSource(page), m_kind(kind), m_options(options) {}
    int CheckKindChoice() const override { return m_kind.Kind(); }
    TQBChecksExportParam ChecksExportParam() const override { return m_options.GetParam(); }

private:
    const TOrvOptionsFrm& m_kind;
    const TQBChecksExportParamFrm& m_options;
};

} // namespace

TQBChecksExportFrm::TQBChecksExportFrm(TExportPageServices services, QWidget* parent)
    : TQBExportBaseFrm(
          QStringLiteral("You can get Orvane Checks either directly from Orvane or from a file"),
          QStringLiteral("   Select a S1910 or S1911 report"), QStringLiteral("Print Checks"),
          std::move(services), parent),
      QBParamFrame(new TQBChecksExportParamFrm), OrvOptionsFrame(new TOrvOptionsFrm) {
    SetParamFrame(QBParamFrame);
    AddToDirectTab(OrvOptionsFrame);
}

void TQBChecksExportFrm::Init(ICommonLoggerPtr logger, TOrvAPIConnectionParamFrm& connection,
                              ILogRecorder& recorder) {
    TQBExportBaseFrm::Init(logger, connection, recorder);
    FileOpenFrame->SetFilter(QStringLiteral("Checks files (*.csv,*.txt)|*.csv;*.txt|All files|*"));
    FileOpenFrame->SetHint(QStringLiteral("Open|Opens a Checks file"));
    QBParamFrame->Init(logger, Services().Connect);
    PostDeferredCall([this] { QBParamFrame->RefreshAccountList(); }, this);
}

bool TQBChecksExportFrm::CanRun() const {
    return IsSourceReady() && QBParamFrame->AccountsChosen();
}

void TQBChecksExportFrm::RunExport() {
    const TChecksPageInputs inputs(*this, *OrvOptionsFrame, *QBParamFrame);
    TChecksExportRun run(Logger(), inputs, Dialogs(), Services().Connect);
    RunKeepingReport(run, &TChecksExportRun::RunChecksExport);
}
