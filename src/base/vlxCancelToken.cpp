#include "base/vlxCancelToken.h"

#include <chrono>

EOperationCancelled::EOperationCancelled()
    : EztException(QStringLiteral("User cancelled operation")) {}

bool IsCancel(const std::exception_ptr& failure) {
    if (!failure)
        return false;
    try {
        std::rethrow_exception(failure);
    } catch (const EOperationCancelled&) {
        return true;
    } catch (...) {
        return false;
    }
}

void TCancelToken::Cancel() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = true;
    }
    m_changed.notify_all();
}

void TCancelToken::CancelStep() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stepCancelled = true;
    }
    m_changed.notify_all();
}

void TCancelToken::ForgetStepCancel() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_stepCancelled = false;
}

void TCancelToken::Hold() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    ++m_holds;
}

void TCancelToken::Release() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_holds > 0)
            --m_holds;
    }
    m_changed.notify_all();
}

bool TCancelToken::Cancelled() const {
    if (m_shields.load() > 0)
        return false;
    const std::lock_guard<std::mutex> lock(m_mutex);
    return Requested();
}

bool TCancelToken::StopHere() const {
    if (m_shields.load() > 0)
        return false;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return Requested() || m_holds == 0; });
    return Requested();
}

void TCancelToken::CheckPoint() const {
    if (StopHere())
        throw EOperationCancelled();
}

bool TCancelToken::WaitFor(int ms) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(ms < 0 ? 0 : ms),
                       [this] { return Requested(); });
    return Requested() && m_shields.load() == 0;
}

TCancelShield::TCancelShield(const TCancelToken* token) : m_token(token) {
    if (m_token)
        ++m_token->m_shields;
}

TCancelShield::~TCancelShield() {
    if (m_token)
        --m_token->m_shields;
}
