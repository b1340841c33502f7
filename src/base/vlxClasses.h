// Busy and progress indication for long steps on the user-interface thread.
// The core reports through these interfaces; the GUI supplies the visuals.
#pragma once

#include <QString>
#include <functional>
#include <memory>

// Nestable: every StartWait is matched by exactly one EndWait.
class IWaitIndicator {
public:
    virtual ~IWaitIndicator() = default;
    virtual void StartWait(const QString& message) = 0;
    virtual void EndWait() = 0;
};
using IWaitIndicatorPtr = std::shared_ptr<IWaitIndicator>;

// One StartProgress, any number of SetProgress (0 <= position <= maximum),
// one EndProgress; progress does not nest.
class IProgressIndicator {
public:
    virtual ~IProgressIndicator() = default;
    virtual void StartProgress(const QString& caption, int maximum) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void EndProgress() = 0;
};
using IProgressIndicatorPtr = std::shared_ptr<IProgressIndicator>;

// What a run tells whoever shows it, on the run's own thread: the stages it
// is in (nested, as waits are: "Getting payroll list", within it "Getting
// company list") and how far the innermost one has come. The window turns
// them into queued signals; the command line prints the report wait.
class IRunProgress : public IWaitIndicator {
public:
    // done of total records of the innermost stage (0 <= done <= total).
    virtual void SetProgress(int done, int total) = 0;
    // A stage that waits for a report of the payroll service, ended by
    // EndWait: the command line shows only these, with how to cancel.
    virtual void StartReportWait(const QString& message) { StartWait(message); }
    // The QuickBooks company the run posts into, as a line to show while
    // it runs ("QuickBooks company: ...").
    virtual void ShowCompany(const QString& text) { (void)text; }
};
using IRunProgressPtr = std::shared_ptr<IRunProgress>;

// A run nobody watches.
class TNoRunProgress : public IRunProgress {
public:
    void StartWait(const QString&) override {}
    void EndWait() override {}
    void SetProgress(int, int) override {}
};

// Counted progress as a stage of a run: the caption is the stage, the
// position counts of the maximum.
class TRunStageProgress : public IProgressIndicator {
public:
    explicit TRunStageProgress(IRunProgress& run) : m_run(run) {}
    void StartProgress(const QString& caption, int maximum) override;
    void SetProgress(int position) override { m_run.SetProgress(position, m_maximum); }
    void EndProgress() override { m_run.EndWait(); }

private:
    IRunProgress& m_run;
    int m_maximum = 0;
};

class IWaitIndicatorProxy {
public:
    virtual ~IWaitIndicatorProxy() = default;
    virtual void SetIndicator(IWaitIndicatorPtr indicator) = 0;
};

// How the hourglass is shown: the GUI installs hooks that set and restore the
// cursor; without them (command line, tests) the indicator only counts.
struct THourglassCursorHooks {
    std::function<void()> Show;
    std::function<void()> Restore;
};
void SetHourglassCursorHooks(THourglassCursorHooks hooks);

class THourglassWaitIndicator : public IWaitIndicator {
public:
    void StartWait(const QString& message) override;
    // An unbalanced EndWait is ignored.
    void EndWait() override;
    int Nesting() const { return m_count; }

private:
    int m_count = 0;
};

class TCombinedWaitIndicator : public IWaitIndicator {
public:
    TCombinedWaitIndicator(IWaitIndicatorPtr first, IWaitIndicatorPtr second);
    void StartWait(const QString& message) override;
    void EndWait() override;

private:
    IWaitIndicatorPtr m_first;
    IWaitIndicatorPtr m_second;
};

class TWaitIndicatorProxy : public IWaitIndicator, public IWaitIndicatorProxy {
public:
    explicit TWaitIndicatorProxy(IWaitIndicatorPtr inner);
    void StartWait(const QString& message) override;
    void EndWait() override;
    void SetIndicator(IWaitIndicatorPtr indicator) override;

private:
    IWaitIndicatorPtr m_inner;
};

// Counted progress that also raises the wait indication, with the raw
// caption as the wait message.
class TWaitProgressIndicator : public IProgressIndicator {
public:
    TWaitProgressIndicator(IProgressIndicatorPtr progress, IWaitIndicatorPtr wait);
    void StartProgress(const QString& caption, int maximum) override;
    void SetProgress(int position) override;
    void EndProgress() override;

private:
    IProgressIndicatorPtr m_progress;
    IWaitIndicatorPtr m_wait;
};

// Marks a busy step for the scope it lives in.
class TWaitGuard {
public:
    TWaitGuard(IWaitIndicator& indicator, const QString& message) : m_indicator(indicator) {
        m_indicator.StartWait(message);
    }
    ~TWaitGuard() {
        try {
            m_indicator.EndWait();
        } catch (...) {
            // A destructor must not throw; the step's own error is what matters.
        }
    }
    TWaitGuard(const TWaitGuard&) = delete;
    TWaitGuard& operator=(const TWaitGuard&) = delete;

private:
    IWaitIndicator& m_indicator;
};
