// The "GL Export" page: the S348 journal from the payroll service or a
// file, posted as one journal entry with the options of its panel.
#pragma once

#include "ui/QBExportBaseFrame.h"

class TQBGLExportParamFrm;

class TQBGLExportFrm : public TQBExportBaseFrm {
    Q_OBJECT
public:
    explicit TQBGLExportFrm(QWidget* parent = nullptr);

    TQBGLExportParamFrm* QBParamFrame;

protected:
    void RunExport() override;
};
