// The main window of Orvane QB Export: the shared window with the
// "Import/Export" tab as "GL Export" (shown at start) and a fourth tab
// "Checks Export". Each export tab holds its page.
#pragma once

#include "ui/OrvAPIClientMainForm.h"

class TMainFm : public TOrvAPIClientMainFm {
    Q_OBJECT
public:
    explicit TMainFm(TMainWindowOptions options = {});

    QWidget* TabSheet4;           // "Checks Export"
    QWidget* QBGLExportFrame;     // the GL export page, filling "GL Export"
    QWidget* QBChecksExportFrame; // the checks export page, filling "Checks Export"
};
