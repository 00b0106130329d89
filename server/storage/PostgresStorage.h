#pragma once
// The PostgreSQL back end on libpq, for databases shared by several servers.
// Same interface, same answers as the SQLite back end; the schema and the SQL
// functions it creates are in docs/storage.md.
#include "PostgresConnection.h"
#include "PostgresLink.h"
#include "Storage.h"

#include <string>

namespace trd::server {

class PostgresStorage : public StorageBackend {
public:
    // conninfo: a libpq connection string ("host=... dbname=..."). Creates the
    // schema when missing. Throws std::runtime_error when it cannot connect.
    explicit PostgresStorage(std::string conninfo, PostgresTimeouts timeouts = {});

    std::unique_ptr<StorageSession> openSession() override;
    std::unique_ptr<StorageWriter> openWriter() override;
    bool isEmpty() override;

private:
    std::string m_conninfo;
    PostgresTimeouts m_timeouts;
    PostgresLink m_link;
};

} // namespace trd::server
