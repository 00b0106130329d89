#pragma once
// Up to which version every version is known: committed and seen, or never
// to be. On SQLite one writer commits in id order, so it is the newest id
// seen. On PostgreSQL several servers draw ids from one sequence and commit
// in their own order: version 1,000 can commit after 1,001 has been seen.
// Each reading names the transactions in progress at its snapshot; every
// writer takes its transaction id before it draws a version id, so a version
// not yet visible below the newest one seen belongs to one of them. Once all
// of a reading's in-progress transactions have ended (a later reading no
// longer lists them), everything up to that reading's newest id is known:
// what committed is visible from then on, the rest never will be.
#include "ChangeRecords.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace trd::server::feed {

class SettledHorizon {
public:
    // Takes a reading; returns the settled horizon after it (-1 while none
    // is known yet, before the first reading settles).
    std::int64_t advance(const ChangeWindow& window);
    std::int64_t settled() const { return m_settled; }
    // Some versions seen are not settled yet: read again soon, even if no
    // commit is announced (a transaction that ends in a rollback announces
    // nothing).
    bool waiting() const { return !m_pending.empty(); }

private:
    struct Pending {
        std::int64_t newest;
        std::vector<std::int64_t> inProgress; // sorted
    };
    std::int64_t m_settled = -1;
    std::deque<Pending> m_pending;
};

} // namespace trd::server::feed
