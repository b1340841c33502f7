// A claim on exporting a payroll, held for as long as the export lives: a
// report wait or one slow request set can outlast the claim's time, and a
// claim that expires mid-export lets another workstation take the payroll
// up. It is renewed from a thread of its own (the run's thread is busy in
// the export) on a ledger connection of its own, opened at the first
// renewal, and given back at the end through the run's ledger.
#pragma once

#include "runs/RunContext.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class TClaimKeeper {
public:
    // claim: granted by ledger, the run's. Renews every renewEveryMs
    // (default: a third of the claim's time) for another seconds.
    TClaimKeeper(TRunLedger& ledger, TLedgerFactory openLedger, const TLedgerClaim& claim,
                 int seconds, int renewEveryMs = 0);
    // Stops renewing and releases the claim on the caller's thread; a
    // ledger that fails then leaves it to expire.
    ~TClaimKeeper();
    TClaimKeeper(const TClaimKeeper&) = delete;
    TClaimKeeper& operator=(const TClaimKeeper&) = delete;

    // The claim expired and was taken over by another workstation before it
    // could be renewed.
    bool Lost() const { return m_lost; }
    int Renewals() const { return m_renewals; }

private:
    void Keep();

    TRunLedger& m_ledger;
    TLedgerFactory m_openLedger;
    TLedgerClaim m_claim;
    const int m_seconds;
    const int m_renewEveryMs;
    std::atomic<bool> m_lost{false};
    std::atomic<int> m_renewals{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};
