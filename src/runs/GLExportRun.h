// The GL export run: the journal report from a file or the payroll service,
// parsed, validated against QuickBooks, and posted as one journal entry after
// the user confirmed a date that already has one.
#pragma once

#include "export/QBJournalExport.h"
#include "runs/PostingRoad.h"
#include "settings/QBDecl.h"

#include <QString>

struct TGLRunOptions {
    TReportSourceOptions Source;
    TQBGLExportParam GL;
    TPostingOptions Posting;
};

extern const QString GLExportRunName; // "Orvane Journal Export"

// The user answered No to the duplicate-date question.
class EGLExportAborted : public EztException {
public:
    EGLExportAborted();
};

class TGLExportRun {
public:
    explicit TGLExportRun(TGLRunOptions options);

    // The Run action. Logs the run in its own block and shows the success
    // box. Nothing is posted unless the whole journal validated and the
    // user agreed to a date that has a journal entry. A journal entry that
    // is, or may be, in QuickBooks although its clearing failed or an
    // answer was lost is no failure (psUncertain): it is logged with a
    // warning saying so and shown in an error box with what to do.
    TPostResult RunGLExport(TRunContext& context);

private:
    TGLRunOptions m_options;
};
