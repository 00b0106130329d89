#pragma once
// Which translation rows a committed write touched, for whatever keeps a
// copy of them (the translation memory). A back end tells its watcher after
// each commit: SQLite from its writer connection, PostgreSQL from every
// server writing to the database (docs/storage.md, "Row changes").
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace trd::server {

struct RowChanges {
    std::vector<std::int64_t> ids;   // rows inserted, changed or deleted (IDTRADUCAO)
    bool everything = false;         // too many to list, or some may have been missed: read them all again
};

using RowChangeWatcher = std::function<void(RowChanges)>;

// Hands a back end's changes to the one watcher, if any; safe from any thread.
class RowChangeRelay {
public:
    // A commit listing more rows than this is told as "everything": reading
    // the rows again whole is cheaper than one by one (an import, a backup
    // restored underneath).
    static constexpr std::size_t MostListed = 20000;

    void watch(RowChangeWatcher watcher)
    {
        std::lock_guard lock(m_mutex);
        m_watcher = std::move(watcher);
    }
    bool watched() const
    {
        std::lock_guard lock(m_mutex);
        return static_cast<bool>(m_watcher);
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
        if (m_watcher)
            m_watcher(std::move(changes));
    }

private:
    mutable std::mutex m_mutex;
    RowChangeWatcher m_watcher;
};

} // namespace trd::server
