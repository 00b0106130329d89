#pragma once
// The SQLite back end's one writer: rows, batches and their versions, the
// review marks, releases and terms, in one connection and one transaction at
// a time; the checkpoints beside it and the rows it changed told to the
// followers after each commit.
#include "Storage.h"

#include <atomic>
#include <memory>
#include <string>

namespace trd::server {

class RowChangeRelay;
class SqliteFileGuard;

std::unique_ptr<StorageWriter> openSqliteWriter(const std::string& path, bool durable, bool keepVersions,
                                                bool besideServer, SqliteFileGuard& guard, std::atomic<bool>* damaged,
                                                RowChangeRelay& changes);

// The rows' secondary indexes: made with the schema, dropped for a bulk load
// into an empty table and made again after it.
extern const char* const SqliteSecondaryIndexSql;

} // namespace trd::server
