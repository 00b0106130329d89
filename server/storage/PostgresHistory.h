#pragma once
// The history on PostgreSQL: the same tables as on SQLite (docs/history.md),
// read and written through libpq, in the writer's transaction.
#include "HistoryRecords.h"
#include "VersionLog.h"
#include "PostgresConnection.h"

namespace trd::server {

namespace pghistory {
// The schema version this server writes in TRD_ESQUEMA.
inline constexpr int SchemaVersion = 2;
// The schema version of the database (0 for a new one, 1 for one made before
// versions were recorded); refuses one newer than this server's. Inside the
// caller's transaction, which holds the schema lock.
int checkVersion(PostgresConnection& db);
// Brings the database from `from` to SchemaVersion, in the same transaction.
void upgrade(PostgresConnection& db, int from);
} // namespace pghistory

class PostgresHistoryReader : public HistoryReader {
public:
    explicit PostgresHistoryReader(PostgresConnection& db) : m_db(db) { }

    std::optional<CurrentRow> rowByKey(const std::string& language, const std::string& program,
                                       const std::string& component, const std::string& source) override;
    std::optional<CurrentRow> rowById(std::int64_t id) override;
    std::vector<VersionRecord> chain(std::int64_t newest, std::size_t limit, std::int64_t downTo) override;
    std::vector<CurrentRow> rowsById(const std::vector<std::int64_t>& ids) override;
    std::vector<std::vector<VersionRecord>> chains(
        const std::vector<std::pair<std::int64_t, std::int64_t>>& asked) override;
    std::optional<VersionRecord> version(std::int64_t id) override;
    std::optional<BatchRecord> batch(std::int64_t id) override;
    std::vector<BatchRecord> batches(const std::string& language, const DateBounds& dates) override;
    std::vector<VersionRecord> batchVersions(const BatchRecord& batch) override;
    std::optional<std::pair<std::int64_t, RowKey>> lastDeletion(std::int64_t row) override;
    std::optional<std::int64_t> undoneBy(std::int64_t batch) override;
    std::vector<std::pair<std::int64_t, std::int64_t>> undos(const std::string& language) override;

private:
    PostgresConnection& m_db;
};

class PostgresVersionLog : public VersionLog {
public:
    PostgresVersionLog(PostgresConnection& db, PostgresHistoryReader& reader) : VersionLog(reader), m_db(db) { }

    std::int64_t openBatch(const WriteOrigin& origin, const std::string& language, double now) override;
    std::int64_t record(const std::string& language, std::int64_t row, std::optional<std::int64_t> previous,
                        ChangeType type, std::string_view statusBefore, std::string_view statusAfter,
                        const std::optional<std::string_view>& textBefore, double changed, double now) override;
    void recordDeletedKey(std::int64_t version, const RowKey& key) override;
    PruneCount prune(double before, std::int64_t limit) override;
    // The batch the next version of the language goes to, opened now when
    // it is not yet (a bulk write keeps its versions without record()).
    std::int64_t batchId(const std::string& language, double now) { return batchFor(language, now).id; }
    // The same, with the batch's date.
    std::pair<std::int64_t, double> batchWithDate(const std::string& language, double now)
    {
        const Open& open = batchFor(language, now);
        return {open.id, open.when};
    }

private:
    PostgresConnection& m_db;
};

} // namespace trd::server
