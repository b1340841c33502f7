#include "runs/RunThread.h"

#include "base/vlxErrorDisplay.h"
#include "payroll/xmlrpc/XmlRpcTransport.h"
#include "runs/RunThreadApartment.h"

#include <condition_variable>
#include <mutex>
#include <optional>

// A question crossing from the worker to the host: posted to the host's
// thread, answered there, and waited for. Closing answers every open and
// later question at once, so the host may wait for the worker without
// waiting for itself.
struct TRunThread::TCrossing {
    QObject* Host = nullptr;
    std::mutex Mutex;
    std::condition_variable Answered;
    bool Closed = false;

    TQuestionAnswer Ask(const std::shared_ptr<TCrossing>& self,
                        std::function<TQuestionAnswer()> ask) {
        // A question of a closing window is answered No.
        const TQuestionAnswer whenClosed;
        struct TAnswer {
            std::optional<TQuestionAnswer> Value;
            std::exception_ptr Failure;
        };
        auto answer = std::make_shared<TAnswer>();
        {
            const std::lock_guard<std::mutex> lock(Mutex);
            if (Closed)
                return whenClosed;
        }
        QMetaObject::invokeMethod(
            Host,
            [self, ask = std::move(ask), answer] {
                TQuestionAnswer value;
                std::exception_ptr failure;
                try {
                    value = ask();
                } catch (...) {
                    failure = std::current_exception();
                }
                const std::lock_guard<std::mutex> lock(self->Mutex);
                answer->Value = value;
                answer->Failure = failure;
                self->Answered.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock<std::mutex> lock(Mutex);
        Answered.wait(lock, [&] { return answer->Value.has_value() || Closed; });
        if (!answer->Value)
            return whenClosed;
        if (answer->Failure)
            std::rethrow_exception(answer->Failure);
        return *answer->Value;
    }

    void Close() {
        {
            const std::lock_guard<std::mutex> lock(Mutex);
            Closed = true;
        }
        Answered.notify_all();
    }
};

// The host's dialogs, seen from the worker.
class TRunThread::TDialogs : public IUserDialogs {
public:
    TDialogs(std::shared_ptr<TCrossing> crossing, IUserDialogsPtr host)
        : m_crossing(std::move(crossing)), m_host(std::move(host)) {}

protected:
    void DoShowInformation(const QString& message) override {
        Cross([host = m_host, message] {
            host->ShowInformation(message);
            return TQuestionAnswer();
        });
    }
    void DoShowError(const QString& message) override {
        Cross([host = m_host, message] {
            host->ShowError(message);
            return TQuestionAnswer();
        });
    }
    TQuestionAnswer DoAsk(const TQuestion& question) override {
        return Cross([host = m_host, question] { return host->Ask(question); });
    }

private:
    // A box of a window that is closing is not shown; its question is
    // answered No.
    TQuestionAnswer Cross(std::function<TQuestionAnswer()> ask) {
        return m_crossing->Ask(m_crossing, std::move(ask));
    }

    std::shared_ptr<TCrossing> m_crossing;
    IUserDialogsPtr m_host;
};

// The stages of the run, kept on the worker and announced as signals.
class TRunThread::TProgress : public IRunProgress {
public:
    TProgress(TRunThread& thread, IRunProgressPtr observer)
        : m_thread(thread), m_observer(std::move(observer)) {}

    void StartWait(const QString& message) override {
        Push(message);
        if (m_observer)
            m_observer->StartWait(message);
    }
    void StartReportWait(const QString& message) override {
        Push(message);
        if (m_observer)
            m_observer->StartReportWait(message);
    }
    void EndWait() override {
        if (!m_stages.isEmpty())
            m_stages.removeLast();
        Q_EMIT m_thread.StagesChanged(m_stages);
        if (m_observer)
            m_observer->EndWait();
    }
    void ShowCompany(const QString& text) override {
        Q_EMIT m_thread.CompanyShown(text);
        if (m_observer)
            m_observer->ShowCompany(text);
    }
    void SetProgress(int done, int total) override {
        Q_EMIT m_thread.ProgressChanged(done, total);
        if (m_observer)
            m_observer->SetProgress(done, total);
    }

private:
    void Push(const QString& message) {
        m_stages << message;
        Q_EMIT m_thread.StagesChanged(m_stages);
    }

    TRunThread& m_thread;
    IRunProgressPtr m_observer;
    QStringList m_stages;
};

TRunThread::TRunThread(TRunServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_worker(new QObject),
      m_crossing(std::make_shared<TCrossing>()) {
    OrvAssert(m_services.Logger != nullptr && m_services.Dialogs != nullptr &&
              m_services.ConnectQB != nullptr);
    m_crossing->Host = this;
    m_thread.setObjectName(QStringLiteral("Run"));
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    // Emitted on the run thread before wait() returns.
    connect(&m_thread, &QThread::finished, m_worker, &EndRpcTransportOnThisThread,
            Qt::DirectConnection);
    m_thread.start();
}

TRunThread::~TRunThread() {
    m_crossing->Close();
    if (m_cancel)
        m_cancel->Cancel();
    // Queued behind a run not begun yet, which so ends as a cancelled one.
    QMetaObject::invokeMethod(
        m_worker, [thread = &m_thread] { thread->quit(); }, Qt::QueuedConnection);
    m_thread.wait();
}

void TRunThread::Start(TWork work, TDone done) {
    OrvAssert(!m_busy && work != nullptr);
    auto context = std::make_shared<TRunContext>();
    // Read first: a redirection that cannot be read fails the start.
    if (m_services.Orvane)
        context->Orvane = m_services.Orvane();
    m_busy = true;
    m_cancel = std::make_shared<TCancelToken>();

    context->Logger = m_services.Logger;
    context->Dialogs = std::make_shared<TDialogs>(m_crossing, m_services.Dialogs);
    context->ConnectQB = m_services.ConnectQB;
    context->ReportPollIntervalMs = m_services.ReportPollIntervalMs;
    context->DirectSource = m_services.DirectSource;
    context->Progress = std::make_shared<TProgress>(*this, m_services.Progress);
    context->Cancel = m_cancel;
    if (m_services.Ledger) {
        try {
            context->OpenLedger = m_services.Ledger();
        } catch (...) {
            context->OpenLedger = [failure =
                                       std::current_exception()]() -> std::unique_ptr<TRunLedger> {
                std::rethrow_exception(failure);
            };
        }
    }
    context->ShowFailure = [this, show = m_services.ShowFailure](std::exception_ptr failure) {
        QMetaObject::invokeMethod(
            this,
            [show, failure] {
                if (show)
                    show(failure);
                else
                    ShowInErrorDisplay(failure);
            },
            Qt::QueuedConnection);
    };

    Q_EMIT RunStarted();
    QMetaObject::invokeMethod(
        m_worker,
        [this, context, work = std::move(work), done = std::move(done)] {
            std::exception_ptr failure;
            {
                const TRunThreadApartment apartment;
                try {
                    work(*context);
                } catch (...) {
                    failure = std::current_exception();
                }
            }
            QMetaObject::invokeMethod(
                this,
                [this, done, failure] {
                    m_busy = false;
                    if (done)
                        done(failure);
                    else if (failure)
                        ShowInErrorDisplay(failure);
                    Q_EMIT RunFinished();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void TRunThread::CancelStep() {
    if (m_busy && m_cancel)
        m_cancel->CancelStep();
}

void TRunThread::Cancel() {
    if (m_busy && m_cancel)
        m_cancel->Cancel();
}

void TRunThread::Hold() {
    if (m_busy && m_cancel)
        m_cancel->Hold();
}

void TRunThread::Release() {
    if (m_cancel)
        m_cancel->Release();
}
