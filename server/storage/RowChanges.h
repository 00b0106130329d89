#pragma once
// Which translation rows a committed write touched, for whatever keeps a
// copy of them or follows them (the translation memory, the change feed). A back end tells its watcher after
// each commit: SQLite from its writer connection, PostgreSQL from every
// server writing to the database (docs/storage.md, "Row changes").
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace trd::server {

struct RowChanges {
    std::vector<std::int64_t> ids; // rows inserted, changed or deleted (IDTRADUCAO)
    bool everything = false; // too many to list, or some may have been missed: read them all again
};

using RowChangeWatcher = std::function<void(RowChanges)>;

// Hands a back end's changes to its watchers (the translation memory, the
// change feed); safe from any thread. A watcher is called on the thread that
// publishes (the writer's, or the database listener's) and must only take
// note and return.
class RowChangeRelay {
public:
    // A commit listing more rows than this is told as "everything": reading
    // the rows again whole is cheaper than one by one (an import, a backup
    // restored underneath).
    static constexpr std::size_t MostListed = 20000;

    // Returns the watcher's number, for unwatch().
    std::uint64_t watch(RowChangeWatcher watcher)
    {
        std::lock_guard lock(m_mutex);
        m_watchers.emplace_back(++m_last, std::move(watcher));
        return m_last;
    }
    // Once this returns the watcher is not running and is never called again.
    void unwatch(std::uint64_t id)
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_watchers, [id](const auto& w) { return w.first == id; });
    }
    bool watched() const
    {
        std::lock_guard lock(m_mutex);
        return !m_watchers.empty();
    }
    void publish(RowChanges changes)
    {
        if (changes.ids.empty() && !changes.everything)
            return;
        if (changes.ids.size() > MostListed) {
            changes.ids.clear();
            changes.everything = true;
        }
        std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < m_watchers.size(); ++i) {
            if (i + 1 == m_watchers.size())
                m_watchers[i].second(std::move(changes));
            else
                m_watchers[i].second(changes);
        }
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<std::uint64_t, RowChangeWatcher>> m_watchers;
    std::uint64_t m_last = 0;
};

} // namespace trd::server
