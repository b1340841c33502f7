#include "CliRun.h"

#include "base/vlxErrorDisplay.h"

#include <QEventLoop>

// The report wait's line, written by the run where the window shows its
// wait window; the Ctrl+C watch is set up on the command's thread while the
// wait lasts.
class TCliRunHost::TReportWaitLine : public IRunProgress {
public:
    TReportWaitLine(TCliRunHost& host) : m_host(host) {}

    void StartWait(const QString&) override { ++m_depth; }
    void StartReportWait(const QString& message) override {
        ++m_depth;
        const bool watched = m_host.m_env.WatchInterrupt != nullptr;
        if (watched) {
            m_waitDepth = m_depth;
            // Watched before the line tells the user about it; the command's
            // loop serves the run all along, so it can be waited for.
            TCliRunHost* host = &m_host;
            QMetaObject::invokeMethod(
                &m_host.m_loop,
                [host] {
                    TRunThread* runs = host->m_runs.get();
                    host->m_interruptWatch =
                        host->m_env.WatchInterrupt([runs] { runs->CancelStep(); });
                },
                Qt::BlockingQueuedConnection);
        }
        m_host.m_env.Out << message << (watched ? " (Ctrl+C cancels)\n" : "\n");
        m_host.m_env.Out.flush();
    }
    void EndWait() override {
        if (m_depth-- == m_waitDepth) {
            m_waitDepth = -1;
            TCliRunHost* host = &m_host;
            QMetaObject::invokeMethod(
                &m_host.m_loop, [host] { host->m_interruptWatch.reset(); }, Qt::QueuedConnection);
        }
    }
    void SetProgress(int, int) override {}

private:
    TCliRunHost& m_host;
    int m_depth = 0;
    int m_waitDepth = -1;
};

TCliRunHost::TCliRunHost(const TCliEnvironment& env, IUserDialogs& dialogs,
                         TQBConnectionFactory connect, int reportPollIntervalMs)
    : m_env(env) {
    TRunServices services;
    services.Logger = env.Core.Logger();
    services.Dialogs = std::shared_ptr<IUserDialogs>(&dialogs, [](IUserDialogs*) {});
    services.ConnectQB = std::move(connect);
    services.Orvane = [this] { return m_orvane; };
    services.ReportPollIntervalMs = reportPollIntervalMs;
    services.ShowFailure = [this](std::exception_ptr failure) {
        m_env.Err << "Error: " << ErrorDisplayMessage(failure) << '\n';
        m_env.Err.flush();
        ++m_failuresShown;
    };
    services.Progress = std::make_shared<TReportWaitLine>(*this);
    services.Ledger = [&env] { return env.Core.LedgerFactory(); };
    m_runs = std::make_unique<TRunThread>(std::move(services));
}

TCliRunHost::~TCliRunHost() {
    m_runs.reset();
    m_interruptWatch.reset();
}

std::exception_ptr TCliRunHost::Run(TRunThread::TWork work) {
    // orvq-cli's only loop, for as long as the run works.
    QEventLoop loop;
    std::exception_ptr failure;
    try {
        m_runs->Start(std::move(work), [&](std::exception_ptr left) {
            failure = left;
            loop.quit();
        });
    } catch (...) {
        return std::current_exception();
    }
    loop.exec();
    return failure;
}

bool ShowRunFailure(IUserDialogs& dialogs, const std::exception_ptr& failure) {
    if (!failure)
        return false;
    try {
        std::rethrow_exception(failure);
    } catch (const EztException& e) {
        dialogs.ShowError(e.Message());
    } catch (const std::exception& e) {
        dialogs.ShowError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        dialogs.ShowError(ErrorDisplayMessage(failure));
    }
    return true;
}
