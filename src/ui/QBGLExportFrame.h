// The "GL Export" page: the S348 journal from the payroll service or a
// file, posted as one journal entry with the options of its panel.
#pragma once

#include "ui/QBExportBaseFrame.h"

class TQBGLExportParamFrm;

// The settings group of the page's period.
extern const QString OrvGLExportPayrollFilterKey; // "OrvGLExportPayrollFilter"

class TQBGLExportFrm : public TQBExportBaseFrm {
    Q_OBJECT
public:
    explicit TQBGLExportFrm(QWidget* parent = nullptr);

    TQBGLExportParamFrm* QBParamFrame;

protected:
    void RunExport(const TPostingOptions& posting) override;
    // "QBGLExportOptions".
    void LoadPanelOptions(const IztSettings& settings, const TOptionStep& step) override;
    void SavePanelOptions(IztSettings& settings, const TOptionStep& step) const override;
};
