#pragma once
// The history on PostgreSQL: the same tables as on SQLite (docs/history.md),
// read and written through libpq, in the writer's transaction.
#include "HistoryRecords.h"
#include "PostgresConnection.h"

#include <map>

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
    explicit PostgresHistoryReader(PostgresConnection& db) : m_db(db) {}

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

private:
    PostgresConnection& m_db;
};

class PostgresVersionLog {
public:
    PostgresVersionLog(PostgresConnection& db, PostgresHistoryReader& reader) : m_db(db), m_reader(reader) {}

    void setOrigin(const WriteOrigin& origin);
    void forgetBatches();
    const std::vector<std::int64_t>& written() const { return m_written; }

    std::int64_t openBatch(const WriteOrigin& origin, const std::string& language, double now);
    std::int64_t record(const std::string& language, std::int64_t row, std::optional<std::int64_t> previous,
                        ChangeType type, std::string_view statusBefore, std::string_view statusAfter,
                        const std::optional<std::string_view>& textBefore, double changed, double now);
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

    PostgresConnection& m_db;
    PostgresHistoryReader& m_reader;
    WriteOrigin m_origin;
    std::map<std::string, Open> m_open;
    std::vector<std::int64_t> m_written;
};

} // namespace trd::server
