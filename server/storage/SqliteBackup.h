#pragma once
// trd-server --db FILE --backup COPY: an online copy of a live database,
// through SQLite's backup API in one read transaction, so that it is one
// consistent moment of the database while the server goes on saving (in WAL
// mode the writer never waits for it). The copy is written beside its final
// name, checked, made durable and only then renamed into place, so an
// interrupted backup never leaves a half copy under the backup's name.
#include <cstdint>
#include <string>

namespace trd::server {

struct BackupReport {
    std::int64_t pages = 0;
    std::int64_t bytes = 0;
    double ms = 0;
};

// Throws StorageError (with a message for the operator) when the source is
// not a sound database of this server or the copy cannot be made.
BackupReport backupSqlite(const std::string& source, const std::string& target);

} // namespace trd::server
