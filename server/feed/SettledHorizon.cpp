#include "SettledHorizon.h"

#include <algorithm>

namespace trd::server::feed {

std::int64_t SettledHorizon::advance(const ChangeWindow& window)
{
    if (!window.tracksTransactions || window.inProgress.empty()) {
        // Nothing can commit below what this reading saw.
        m_settled = std::max(m_settled, window.newest);
        m_pending.clear();
        return m_settled;
    }
    std::vector<std::int64_t> now = window.inProgress;
    std::sort(now.begin(), now.end());
    // A transaction still running now was running at every earlier reading
    // that listed it, so the earlier readings settle first.
    while (!m_pending.empty()) {
        const auto& ids = m_pending.front().inProgress;
        const bool ended = std::none_of(
            ids.begin(), ids.end(), [&](std::int64_t id) { return std::binary_search(now.begin(), now.end(), id); });
        if (!ended)
            break;
        m_settled = std::max(m_settled, m_pending.front().newest);
        m_pending.pop_front();
    }
    // A later reading with no newer version adds nothing: the earlier one
    // waits for fewer transactions.
    const bool newer =
        m_pending.empty() ? (m_settled < 0 || window.newest > m_settled) : window.newest > m_pending.back().newest;
    if (newer)
        m_pending.push_back({window.newest, std::move(now)});
    return m_settled;
}

} // namespace trd::server::feed
