// The worker thread the runs work on, so that the thread of the window (or
// of the command line's loop) never waits for QuickBooks or the payroll
// service. One run at a time: the host starts it with the work to do, hears
// its stages and counts as queued signals, and gets its end (with the
// failure that left it) back on its own thread. A box or question of the run
// crosses to the host's thread, is shown there through the host's dialogs
// and answered back to the waiting run; logging goes through the logger as
// on any thread (sinks that touch widgets hand their records over in order).
// QuickBooks and the payroll connection are made, used and freed on the
// worker, within a COM apartment of its own on Windows.
#pragma once

#include "runs/RunContext.h"

#include <QObject>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>

// The host's seams, handed to every run of the thread.
struct TRunServices {
    ICommonLoggerPtr Logger;
    // Shown on the host's thread.
    IUserDialogsPtr Dialogs;
    TQBConnectionFactory ConnectQB;
    // Read when a run starts (the redirection may have changed).
    std::function<TOrvAPIEnvironment()> Orvane;
    int ReportPollIntervalMs = OrvTaskPollIntervalMs;
    // Failures without a caller, on the host's thread; none: the
    // application's error display.
    TFailureDisplay ShowFailure;
    // Also told about stages and counts, on the worker, in step with the
    // run's log (the command line prints the report wait there).
    IRunProgressPtr Progress;
    // Replaces the payroll service as the report source (tests).
    std::function<IDirectReportSourcePtr(const TDirectSourceOptions&, TRunContext&)> DirectSource;
    // Called when a run starts, on the host's thread (where the settings
    // are read): the run ledger the run opens on its own. A failure here
    // fails only a run that opens the ledger.
    std::function<TLedgerFactory()> Ledger;
};

class TRunThread : public QObject {
    Q_OBJECT
public:
    explicit TRunThread(TRunServices services, QObject* parent = nullptr);
    // A run still going is cancelled; its open question is answered No and
    // later boxes are not shown; then the thread ends.
    ~TRunThread() override;

    using TWork = std::function<void(TRunContext& context)>;
    using TDone = std::function<void(std::exception_ptr failure)>;
    // Starts work on the worker. done runs afterwards on this object's
    // thread, with what left work, if anything. Not while Busy.
    void Start(TWork work, TDone done = {});
    bool Busy() const { return m_busy; }
    const TRunServices& Services() const { return m_services; }

    // The window's Cancel: the step under way (TCancelToken::CancelStep).
    void CancelStep();
    // Stops the whole run (closing the window).
    void Cancel();
    // While the user is asked "Cancel?": the run waits at its next safe point.
    void Hold();
    void Release();

Q_SIGNALS:
    void RunStarted();
    // The stages open now, outermost first, and the innermost one's count.
    void StagesChanged(const QStringList& stages);
    void ProgressChanged(int done, int total);
    // The QuickBooks company the run found open ("QuickBooks company: ...").
    void CompanyShown(const QString& text);
    // After done has run.
    void RunFinished();

private:
    class TProgress;
    class TDialogs;
    struct TCrossing;

    TRunServices m_services;
    QThread m_thread;
    QObject* m_worker;
    std::shared_ptr<TCrossing> m_crossing;
    TCancelTokenPtr m_cancel;
    std::atomic<bool> m_busy{false};
};
