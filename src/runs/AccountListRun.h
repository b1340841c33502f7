// "Get Account list": QuickBooks' account full names for the checks page's
// cash and liability lists, fetched on the run's thread; the company open
// is shown, as the runs show it.
#pragma once

#include "runs/RunContext.h"

#include <QStringList>

class TAccountListRun {
public:
    // Opens QuickBooks, reads the names, closes it; throws the failure.
    void FetchAccountList(TRunContext& context);
    const QStringList& AccountNames() const { return m_names; }

private:
    QStringList m_names;
};
