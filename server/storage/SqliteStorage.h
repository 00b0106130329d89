#pragma once
// The SQLite back end: one database file in WAL mode, a connection per read
// session and one for the writer. The schema is in docs/storage.md.
#include "Storage.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace trd::server {

class SqliteFileGuard;
class SqliteIntegrityWatch;

struct SqliteOpenOptions {
    bool create = false; // a missing or zero-length file becomes a new database
    bool readOnly = false; // serve without writes (saves are refused)
    bool fullCheck = false; // PRAGMA integrity_check at open instead of quick_check
    bool durable = true; // false only for benchmarks (commits skip the fsync)
    bool keepVersions = true; // false only for benchmarks (writes keep no history)
    std::uint64_t minFreeBytes = 64u << 20; // less free disk than this: unhealthy
    int checkEverySeconds = 0; // the integrity check on a schedule; 0: only at start
    // A tool's run (--prune-history) on a file a server may be serving: its
    // commits stay in the WAL, which only the serving server copies into the
    // database file, and the database file changing under it (that server's
    // checkpoints) is not taken for damage. See SqliteFileGuard.
    bool besideServer = false;
};

class SqliteStorage : public StorageBackend {
public:
    // The application_id this server stamps in its databases.
    static constexpr std::int32_t ApplicationId = 0x54524430; // "TRD0"

    // Opens the file and checks that it is this server's database, current
    // and sound; creates it only when asked. Throws StorageError with a
    // message for the operator (it names the file) when it refuses.
    explicit SqliteStorage(std::string path, SqliteOpenOptions options = {});
    ~SqliteStorage() override;

    // Tests and tools: create the file when it is new.
    static SqliteOpenOptions creating()
    {
        SqliteOpenOptions o;
        o.create = true;
        return o;
    }

    std::unique_ptr<StorageSession> openSession() override;
    std::unique_ptr<StorageWriter> openWriter() override;
    bool isEmpty() override;
    StorageStatus status() override;
    // The writer of this server tells its commits; another process writing
    // the same file is not seen (one server serves a SQLite file).
    std::uint64_t watchRowChanges(RowChangeWatcher watcher) override;
    void unwatchRowChanges(std::uint64_t id) override { m_changes.unwatch(id); }

    const std::string& path() const { return m_path; }
    bool created() const { return m_created; }

    // Reads (every statement of a read session) are interrupted after this
    // long with a clear error; 0 lifts the limit.
    static constexpr int DefaultStatementTimeLimitMs = 30000;
    void setStatementTimeLimit(int ms) { m_statementTimeLimitMs = ms; }

private:
    void createSchema();
    // Returns the schema version found.
    int checkIdentity();
    void upgrade(int from);
    void ensureReleaseSchema();
    void checkIntegrity();
    void checkWritable();

    std::string m_path;
    SqliteOpenOptions m_options;
    bool m_created = false;
    bool m_historyKept = true; // false: a database of schema 1 served read-only
    bool m_reviewKept = true; // false: a database without the review tables served read-only
    bool m_releasesKept = true; // false: a database without the obsolete flag served read-only
    bool m_glossaryKept = true; // false: a database without the glossary's tables served read-only
    std::atomic<bool> m_damaged{false};
    std::int64_t m_openCheckMs = 0; // when the check at open ended
    std::unique_ptr<SqliteFileGuard> m_guard;
    std::unique_ptr<SqliteIntegrityWatch> m_watch; // after the guard it reports to
    int m_statementTimeLimitMs = DefaultStatementTimeLimitMs;
    RowChangeRelay m_changes;
};

} // namespace trd::server
