// The main window of Orvane QB Export: the shared window with the
// "Import/Export" tab as "GL Export" (shown at start) and a fourth tab
// "Checks Export", then "History" (the runs of the run ledger) and "Bureau"
// (the company map and runs over it). Each export
// tab holds its page; the pages load their options and periods at start and
// save them at shutdown.
#pragma once

#include "ui/OrvAPIClientMainForm.h"
#include "ui/QBExportBaseFrame.h"

class TBureauFrm;
class THistoryFrm;
class TQBChecksExportFrm;
class TQBGLExportFrm;

class TMainFm : public TOrvAPIClientMainFm {
    Q_OBJECT
public:
    // pageServices: what the pages use besides the window (tests: faster
    // polling, scripted boxes); QuickBooks and the redirection default to
    // the window's.
    explicit TMainFm(TMainWindowOptions options = {}, TExportPageServices pageServices = {});
    ~TMainFm() override;

    TQBGLExportFrm* QBGLExportFrame;         // the GL export page, filling "GL Export"
    TQBChecksExportFrm* QBChecksExportFrame; // the checks export page, filling "Checks Export"
    QWidget* TabSheet5;                      // "History"
    THistoryFrm* HistoryFrame;               // the runs of the ledger, read when the tab opens
    QWidget* TabSheet6;                      // "Bureau"
    TBureauFrm* BureauFrame;                 // the company map, read when the tab opens

private:
    QWidget* TabSheet4; // "Checks Export"

    void StartRuns(TExportPageServices pageServices);
    void AddHistoryTab();
    void AddBureauTab();
    void LoadOptions();
    void SaveOptions();
};
