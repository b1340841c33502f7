#include "base/vlxClasses.h"

#include "base/ztExceptions.h"

namespace {

THourglassCursorHooks& CursorHooks() {
    static THourglassCursorHooks hooks;
    return hooks;
}

} // namespace

void SetHourglassCursorHooks(THourglassCursorHooks hooks) {
    CursorHooks() = std::move(hooks);
}

void THourglassWaitIndicator::StartWait(const QString&) {
    if (m_count++ == 0 && CursorHooks().Show)
        CursorHooks().Show();
}

void THourglassWaitIndicator::EndWait() {
    if (m_count <= 0)
        return;
    if (--m_count == 0 && CursorHooks().Restore)
        CursorHooks().Restore();
}

TCombinedWaitIndicator::TCombinedWaitIndicator(IWaitIndicatorPtr first, IWaitIndicatorPtr second)
    : m_first(std::move(first)), m_second(std::move(second)) {
    OrvAssert(m_first && m_second);
}

void TCombinedWaitIndicator::StartWait(const QString& message) {
    m_first->StartWait(message);
    try {
        m_second->StartWait(message);
    } catch (...) {
        m_first->EndWait();
        throw;
    }
}

void TCombinedWaitIndicator::EndWait() {
    try {
        m_first->EndWait();
    } catch (...) {
        m_second->EndWait();
        throw;
    }
    m_second->EndWait();
}

TWaitIndicatorProxy::TWaitIndicatorProxy(IWaitIndicatorPtr inner) : m_inner(std::move(inner)) {
    OrvAssert(m_inner != nullptr);
}

void TWaitIndicatorProxy::StartWait(const QString& message) {
    m_inner->StartWait(message);
}

void TWaitIndicatorProxy::EndWait() {
    m_inner->EndWait();
}

void TWaitIndicatorProxy::SetIndicator(IWaitIndicatorPtr indicator) {
    m_inner = indicator ? std::move(indicator) : std::make_shared<THourglassWaitIndicator>();
}

TWaitProgressIndicator::TWaitProgressIndicator(IProgressIndicatorPtr progress,
                                               IWaitIndicatorPtr wait)
    : m_progress(std::move(progress)), m_wait(std::move(wait)) {
    OrvAssert(m_progress && m_wait);
}

void TWaitProgressIndicator::StartProgress(const QString& caption, int maximum) {
    m_progress->StartProgress(caption, maximum);
    m_wait->StartWait(caption);
}

void TWaitProgressIndicator::SetProgress(int position) {
    m_progress->SetProgress(position);
}

void TWaitProgressIndicator::EndProgress() {
    m_progress->EndProgress();
    m_wait->EndWait();
}

void TRunStageProgress::StartProgress(const QString& caption, int maximum) {
    m_maximum = maximum;
    m_run.StartWait(caption);
    m_run.SetProgress(0, maximum);
}
