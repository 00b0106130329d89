#pragma once
// The PostgreSQL back end on libpq, for databases shared by several servers.
// Same interface, same answers as the SQLite back end; the schema and the SQL
// functions it creates are in docs/storage.md.
#include "PostgresConnection.h"
#include "PostgresLink.h"
#include "Storage.h"

#include <memory>
#include <mutex>
#include <string>

namespace trd::server {

class PostgresRowWatcher;

class PostgresStorage : public StorageBackend {
public:
    // conninfo: a libpq connection string ("host=... dbname=..."). Creates the
    // schema when missing. Throws std::runtime_error when it cannot connect.
    explicit PostgresStorage(std::string conninfo, PostgresTimeouts timeouts = {});
    ~PostgresStorage() override;

    std::unique_ptr<StorageSession> openSession() override;
    std::unique_ptr<StorageWriter> openWriter() override;
    bool isEmpty() override;
    // Every server on the database hears of every commit (a trigger notifies
    // the channel trd_alteracao; docs/storage.md, "Row changes").
    std::uint64_t watchRowChanges(RowChangeWatcher watcher) override;
    void unwatchRowChanges(std::uint64_t id) override { m_changes.unwatch(id); }

private:
    std::string m_conninfo;
    PostgresTimeouts m_timeouts;
    PostgresLink m_link;
    RowChangeRelay m_changes;
    std::mutex m_watcherMutex;
    std::unique_ptr<PostgresRowWatcher> m_watcher;
};

} // namespace trd::server
