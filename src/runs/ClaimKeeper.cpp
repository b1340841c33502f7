#include "runs/ClaimKeeper.h"

#include <chrono>

TClaimKeeper::TClaimKeeper(TRunLedger& ledger, TLedgerFactory openLedger, const TLedgerClaim& claim,
                           int seconds, int renewEveryMs)
    : m_ledger(ledger), m_openLedger(std::move(openLedger)), m_claim(claim), m_seconds(seconds),
      m_renewEveryMs(renewEveryMs > 0 ? renewEveryMs : std::max(1, seconds) * 1000 / 3) {
    OrvAssert(m_claim.Granted && m_openLedger);
    m_thread = std::thread([this] { Keep(); });
}

TClaimKeeper::~TClaimKeeper() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
    if (m_lost)
        return;
    try {
        m_ledger.ReleaseClaim(m_claim);
    } catch (...) {
        // Left to expire.
    }
}

void TClaimKeeper::Keep() {
    // A ledger connection belongs to the thread that opened it.
    std::unique_ptr<TRunLedger> ledger;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_lost && !m_wake.wait_for(lock, std::chrono::milliseconds(m_renewEveryMs),
                                       [this] { return m_stopping; })) {
        TLedgerClaim claim = m_claim;
        lock.unlock();
        try {
            if (!ledger)
                ledger = m_openLedger();
            if (ledger->RenewClaim(claim, m_seconds))
                ++m_renewals;
            else
                m_lost = true;
        } catch (...) {
            // A ledger out of reach is tried again at the next renewal; the
            // claim's time outlasts a few misses.
            ledger.reset();
        }
        lock.lock();
    }
}
