#pragma once
// The history on SQLite: the tables of batches and versions (schema version
// 2), reading them, and the writer's side that keeps a version of every row
// it writes in the same transaction (docs/history.md, docs/storage.md).
#include "HistoryRecords.h"
#include "SqliteConnection.h"

#include <map>

namespace trd::server {

namespace sqlitehistory {
// The tables and the column of TRADUCAO that schema version 2 adds.
extern const char* const SchemaSql;
} // namespace sqlitehistory

class SqliteHistoryReader : public HistoryReader {
public:
    explicit SqliteHistoryReader(SqliteConnection& db) : m_db(db) {}

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

// The writer's side: the batches of the current origin, opened as their
// first row is written, and one version per row written.
class SqliteVersionLog {
public:
    SqliteVersionLog(SqliteConnection& db, SqliteHistoryReader& reader) : m_db(db), m_reader(reader) {}

    void setOrigin(const WriteOrigin& origin);
    // Forgets the batches of a transaction (or of an item) that was rolled back.
    void forgetBatches();
    const std::vector<std::int64_t>& written() const { return m_written; }

    std::int64_t openBatch(const WriteOrigin& origin, const std::string& language, double now);

    // Keeps a version of a row written with the change date `changed` and
    // returns its id; `now` dates the batch when this opens it.
    std::int64_t record(const std::string& language, std::int64_t row, std::optional<std::int64_t> previous,
                        ChangeType type, std::string_view statusBefore, std::string_view statusAfter,
                        const std::optional<std::string_view>& textBefore, double changed, double now);
    // The identity of a deleted row, for an undo to bring it back.
    void recordDeletedKey(std::int64_t version, const RowKey& key);

    PruneCount prune(double before, std::int64_t limit);
    // The batch the next version of the language goes to, opened now when
    // it is not yet (a bulk write keeps its versions without record()).
    std::int64_t batchId(const std::string& language, double now) { return batchFor(language, now).id; }

private:
    struct Open {
        std::int64_t id = 0;
        double when = 0;
    };
    const Open& batchFor(const std::string& language, double now);

    SqliteConnection& m_db;
    SqliteHistoryReader& m_reader;
    WriteOrigin m_origin;
    std::map<std::string, Open> m_open;   // by language
    std::vector<std::int64_t> m_written;
};

} // namespace trd::server
