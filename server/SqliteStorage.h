#pragma once
// The SQLite back end: one database file in WAL mode, a connection per read
// session and one for the writer. The schema is in docs/storage.md.
#include "Storage.h"

#include <string>

namespace trd::server {

class SqliteStorage : public StorageBackend {
public:
    // Opens the file, creating it with the schema when it is new. Throws
    // SqliteError when the file cannot be opened or holds another schema.
    explicit SqliteStorage(std::string path);

    // Benchmarks only: commits that skip the fsync (see SqliteConnection).
    struct NotDurable {};
    SqliteStorage(std::string path, NotDurable);

    std::unique_ptr<StorageSession> openSession() override;
    std::unique_ptr<StorageWriter> openWriter() override;
    bool isEmpty() override;

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    bool m_durable = true;
};

} // namespace trd::server
