#pragma once
// The PostgreSQL back end on libpq, for databases shared by several servers.
// Same interface, same answers as the SQLite back end; the schema and the SQL
// functions it creates are in docs/storage.md.
#include "PostgresConnection.h"
#include "PostgresLink.h"
#include "Storage.h"

#include <memory>
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
    // the channel trd_memoria; docs/storage.md, "Row changes").
    void watchRowChanges(RowChangeWatcher watcher) override;

private:
    std::string m_conninfo;
    PostgresTimeouts m_timeouts;
    PostgresLink m_link;
    RowChangeRelay m_changes;
    std::unique_ptr<PostgresRowWatcher> m_watcher;
};

} // namespace trd::server
