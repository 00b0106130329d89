#pragma once
// The translation memory of a running server (docs/memory.md): the index of
// every row, built in the background at start and kept current from the
// back end's row changes, and the questions the methods ask of it.
//
// One thread of its own reads the rows the changes name and brings the index
// up to date; requests read the index under a shared lock, so a search never
// waits for the database and a change is applied between searches. The rows'
// other columns (translation, program, component) come from the database, by
// id, for the few rows an answer shows.
#include "MemoryIndex.h"
#include "SessionPool.h"
#include "Storage.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

namespace trd::server::memory {

// A question about one row.
struct MemoryQuery {
    std::string language;
    std::string source; // as the row holds it, shortcut marks and all (UTF-8)
    std::string program; // with the source, the row asked about: never its own match
    std::string component;
    double threshold = 70; // percent
    std::size_t limit = 5;
    bool exact = true;
    bool fuzzy = true;
};

struct MemoryRowDetail {
    std::int64_t id = 0;
    std::string source, destination, status, program, component;
    double changed = 0;
    bool obsolete = false; // a row a release of the application left behind (docs/releases.md)
};

// Rows of one source that share one translation (shortcut marks aside),
// shown by their best row: T before D, then the newest change.
struct TranslationVariant {
    MemoryRowDetail best;
    std::size_t rows = 0;
    std::string statuses; // those among the rows: "T", "D" or "TD"
    std::vector<std::string> programs; // distinct, sorted
    bool programsComplete = true; // false when read from some of the rows only
};

// A similar source, shown by its best row.
struct FuzzySuggestion {
    Similarity similarity;
    MemoryRowDetail best;
    std::size_t rows = 0; // its rows that can be suggested
    std::size_t translations = 0; // their distinct translations
};

struct Suggestions {
    std::vector<TranslationVariant> exact; // the other rows of the same source, by translation
    std::vector<FuzzySuggestion> fuzzy;
};

// A source translated in more than one way: its variants, most rows first.
struct InconsistentSource {
    std::string source; // as its first variant's best row holds it
    std::size_t rows = 0;
    std::vector<TranslationVariant> variants;
};

class TranslationMemory {
public:
    TranslationMemory(StorageBackend& backend, SessionPool& sessions);
    ~TranslationMemory();
    TranslationMemory(const TranslationMemory&) = delete;
    TranslationMemory& operator=(const TranslationMemory&) = delete;

    // Starts following the back end's changes, then reads every row in the
    // background; searches answer once that is done.
    void start();
    bool ready() const { return m_ready.load(); }
    bool waitReady(std::chrono::milliseconds timeout);
    // Waits until every change told so far is in the index.
    bool waitCaughtUp(std::chrono::milliseconds timeout);

    // Throws ServerError (Unavailable) while the index is being built.
    Suggestions suggest(const MemoryQuery& query);
    // Every other live row of the language with the same source (marks
    // removed, case kept), whatever its status, ordered by program and
    // component. Obsolete rows are suggested (marked), never listed here:
    // what this lists is written back by a propagation.
    std::vector<MemoryRowDetail> sameSource(const MemoryQuery& query);
    // The sources of the language whose translated live rows (T or D) do not
    // all have the same translation, shortcut marks aside; ordered by source.
    std::vector<InconsistentSource> inconsistencies(const std::string& language);

    // Runs work(index) under the shared lock (benchmarks, tests).
    template <typename Work>
    auto inspect(Work&& work) const
    {
        std::shared_lock lock(m_indexMutex);
        return work(static_cast<const MemoryIndex&>(*m_index));
    }

    struct Figures {
        bool ready = false;
        double buildSeconds = 0; // the last full read
        std::size_t rows = 0;
        MemoryIndex::Usage usage;
        std::uint64_t refreshed = 0; // rows read again after changes
    };
    Figures figures() const;

private:
    void onChanges(RowChanges changes);
    void run();
    void rebuild();
    void refresh(const std::vector<std::int64_t>& ids);
    void maintainGrams();
    bool pause(std::chrono::milliseconds wait);
    void requireReady() const;
    std::vector<MemoryRowDetail> details(const std::vector<std::int64_t>& ids);

    StorageBackend& m_backend;
    SessionPool& m_sessions;
    std::unique_ptr<StorageSession> m_session; // the maintenance thread's own

    mutable std::shared_mutex m_indexMutex;
    std::unique_ptr<MemoryIndex> m_index;

    std::mutex m_queueMutex;
    std::condition_variable m_wake;
    std::condition_variable m_progress;
    std::vector<std::int64_t> m_pending;
    bool m_readAll = false;
    bool m_busy = false;
    bool m_stop = false;
    std::uint64_t m_told = 0; // change notices received
    std::uint64_t m_applied = 0; // of those, applied
    std::atomic<bool> m_ready{false};
    std::atomic<double> m_buildSeconds{0};
    std::atomic<std::uint64_t> m_refreshed{0};
    std::thread m_thread;
    std::uint64_t m_watch = 0; // the back end's number for our watcher
};

} // namespace trd::server::memory
