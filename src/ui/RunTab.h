// A tab whose reads and changes run on the window's run thread, one at a
// time: a refresh asked while another run works follows it.
#pragma once

#include "runs/RunThread.h"

#include <QAction>
#include <QWidget>

class TRunTab : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    virtual void Refresh() = 0;
    virtual void UpdateActions() = 0;

protected:
    // runs: the window's run thread (not owned).
    void InitRuns(TRunThread& runs);
    // Starts work when the run thread is free; false when it is busy.
    bool Start(TRunThread::TWork work, std::function<void(std::exception_ptr)> done);
    bool RunsFree() const { return m_runs && !m_runs->Busy(); }
    // Only a change is applied: the buttons follow every change.
    static void Enable(QAction* action, bool on) {
        if (action->isEnabled() != on)
            action->setEnabled(on);
    }

    TRunThread* m_runs = nullptr;
    bool m_refreshWanted = false;
};
