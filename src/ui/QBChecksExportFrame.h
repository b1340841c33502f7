// The "Checks Export" page: the employee and agency checks reports from the
// payroll service or a checks file, exported as checks and deposits into
// the accounts chosen in its panel. At start it fetches QuickBooks'
// account list.
#pragma once

#include "ui/QBExportBaseFrame.h"

class TOrvOptionsFrm;
class TQBChecksExportParamFrm;

// The settings group of the page's period.
extern const QString OrvChecksExportPayrollFilterKey; // "OrvChecksExportPayrollFilter"

class TQBChecksExportFrm : public TQBExportBaseFrm {
    Q_OBJECT
public:
    explicit TQBChecksExportFrm(QWidget* parent = nullptr);

    // Also queues the account list fetch, which runs from the message loop.
    void Init(ICommonLoggerPtr logger, TOrvAPIConnectionParamFrm& connection,
              ILogRecorder& recorder, TRunThread& runs) override;

    // "Get Account list": QuickBooks' account names fetched on the worker
    // fill both lists of the panel; a failure is shown and leaves them.
    void RefreshAccountList();

    TQBChecksExportParamFrm* QBParamFrame;
    TOrvOptionsFrm* OrvOptionsFrame;

Q_SIGNALS:
    void AccountListEnded();

protected:
    bool CanRun() const override;
    void RunExport(const TPostingOptions& posting) override;
    // "QBChecksExportOptions", then the report choice "OrvChecksExportOptions".
    void LoadPanelOptions(const IztSettings& settings, const TOptionStep& step) override;
    void SavePanelOptions(IztSettings& settings, const TOptionStep& step) const override;
};
