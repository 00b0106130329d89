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

    std::optional<CurrentRow> rowByKey(const std::string& language, const std::string& program,
                                       const std::string& component, const std::string& source) override;
    std::optional<CurrentRow> rowById(std::int64_t id) override;
    std::vector<VersionRecord> chain(std::int64_t newest, std::size_t limit, std::int64_t downTo) override;
    std::optional<VersionRecord> version(std::int64_t id) override;
    std::optional<BatchRecord> batch(std::int64_t id) override;
    std::vector<BatchRecord> batches(const std::string& language, const DateBounds& dates) override;
    std::vector<VersionRecord> batchVersions(const BatchRecord& batch) override;
    std::optional<std::pair<std::int64_t, RowKey>> lastDeletion(std::int64_t row) override;
    std::optional<std::int64_t> undoneBy(std::int64_t batch) override;
    std::vector<std::pair<std::int64_t, std::int64_t>> undos(const std::string& language) override;

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

    std::int64_t openBatch(const WriteOrigin& origin, const std::string& language, double now) override;
    std::int64_t record(const std::string& language, std::int64_t row, std::optional<std::int64_t> previous,
                        ChangeType type, std::string_view statusBefore, std::string_view statusAfter,
                        const std::optional<std::string_view>& textBefore, double changed, double now) override;
    void recordDeletedKey(std::int64_t version, const RowKey& key) override;
    PruneCount prune(double before, std::int64_t limit) override;
    // The batch the next version of the language goes to, opened now when
    // it is not yet (a bulk write keeps its versions without record()).
    std::int64_t batchId(const std::string& language, double now) { return batchFor(language, now).id; }

private:
    void writesForgotten(bool rolledBack) override { m_ids.forget(rolledBack); }

    SqliteConnection& m_db;
    SqliteHistoryReader& m_reader;
    SqliteHistoryIds m_ids{m_db};
    std::int64_t m_firstVersion = 0; // the version record() opens a batch for, while it does
};

} // namespace trd::server
