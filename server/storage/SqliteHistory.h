#pragma once
// The history on SQLite: the tables of batches and versions (schema version
// 2), reading them, and the writer's side that keeps a version of every row
// it writes in the same transaction (docs/history.md, docs/storage.md).
#include "HistoryRecords.h"
#include "VersionLog.h"
#include "SqliteConnection.h"
#include "SqliteHistoryIds.h"

namespace trd::server {

namespace sqlitehistory {
// The tables and the column of TRADUCAO that schema version 2 adds.
extern const char* const SchemaSql;
} // namespace sqlitehistory

class SqliteHistoryReader : public HistoryReader {
public:
    explicit SqliteHistoryReader(SqliteConnection& db) : m_db(db) { }

#include "HistoryReaderOverrides.h"

    // The lowest batch id from which every batch opened on or after `day`
    // is found: ids and dates grow together, so a binary search over the
    // ids replaces an index on the dates.
    std::int64_t firstBatchFrom(double day);

private:
    SqliteConnection& m_db;
};

// The writer's side on SQLite (VersionLog.h).
class SqliteVersionLog : public VersionLog {
public:
    SqliteVersionLog(SqliteConnection& db, SqliteHistoryReader& reader) : VersionLog(reader), m_db(db), m_reader(reader)
    {
    }

#include "VersionLogOverrides.h"

private:
    void writesForgotten(bool rolledBack) override { m_ids.forget(rolledBack); }

    SqliteConnection& m_db;
    SqliteHistoryReader& m_reader;
    SqliteHistoryIds m_ids{m_db};
    std::int64_t m_firstVersion = 0; // the version record() opens a batch for, while it does
};

} // namespace trd::server
