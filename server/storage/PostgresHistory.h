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

#include "HistoryReaderOverrides.h"
    // Many rows, and many chains, each in one statement: over the network a
    // statement apiece would cost a round trip apiece.
    std::vector<CurrentRow> rowsById(const std::vector<std::int64_t>& ids) override;
    std::vector<std::vector<VersionRecord>> chains(
        const std::vector<std::pair<std::int64_t, std::int64_t>>& asked) override;

private:
    PostgresConnection& m_db;
};

class PostgresVersionLog : public VersionLog {
public:
    PostgresVersionLog(PostgresConnection& db, PostgresHistoryReader& reader) : VersionLog(reader), m_db(db) { }

#include "VersionLogOverrides.h"
    // batchId() with the batch's date.
    std::pair<std::int64_t, double> batchWithDate(const std::string& language, double now)
    {
        const Open& open = batchFor(language, now);
        return {open.id, open.when};
    }

private:
    PostgresConnection& m_db;
};

} // namespace trd::server
