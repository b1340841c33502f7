#include "ui/RunTab.h"

void TRunTab::InitRuns(TRunThread& runs) {
    m_runs = &runs;
    connect(&runs, &TRunThread::RunFinished, this, [this] {
        if (m_refreshWanted)
            Refresh();
    });
    UpdateActions();
}

bool TRunTab::Start(TRunThread::TWork work, std::function<void(std::exception_ptr)> done) {
    if (!RunsFree())
        return false;
    m_runs->Start(std::move(work), [this, done](std::exception_ptr failure) {
        done(failure);
        UpdateActions();
    });
    UpdateActions();
    return true;
}
