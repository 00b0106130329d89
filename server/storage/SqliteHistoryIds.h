#pragma once
// Batch and version ids on SQLite. They grow with every write and are never
// given twice, even after --prune-history removed the newest batches: ids
// order versions in time, and clients hold batch ids to undo them.
//
// The writer gives them itself, one above the highest id in the table or in
// HISTORICO_LIMPEZA, the highest ids a prune found before it deleted; only a
// prune writes that table. AUTOINCREMENT kept the same promise by writing
// sqlite_sequence in every save: a page more in the commit's log.
#include "SqliteConnection.h"

#include <cstdint>

namespace trd::server {

namespace sqlitehistory {

// The table of the highest ids a prune removed (schema version 3), with its
// one row.
extern const char* const HighestIdsSql;

// The highest version id ever given (0: none), pruned ones included.
std::int64_t newestVersionEver(SqliteConnection& db);

// Raises HISTORICO_LIMPEZA to the highest ids now kept; a prune calls it in
// its transaction before it deletes.
void keepHighestIds(SqliteConnection& db);

// Brings a database of schema version 2 (LOTE and VERSAO with AUTOINCREMENT)
// to the writer's ids, inside the caller's transaction: both tables are
// copied into tables without AUTOINCREMENT, their indexes made again, and the
// highest ids sqlite_sequence kept move into HISTORICO_LIMPEZA. Answers how
// many batches and versions were carried over.
struct Converted {
    std::int64_t batches = 0;
    std::int64_t versions = 0;
};
Converted convertAutoincrement(SqliteConnection& db);

} // namespace sqlitehistory

// The writer's next ids, counted in memory. Within the writer's transaction
// nobody else writes; between two, another process may have (a prune beside
// the server), which PRAGMA data_version tells without reading a page: the
// ids are read again only then, or after a rollback took back ids given.
class SqliteHistoryIds {
public:
    explicit SqliteHistoryIds(SqliteConnection& db) : m_db(db) { }

    std::int64_t nextBatch()
    {
        load();
        return ++m_batch;
    }
    std::int64_t nextVersion()
    {
        load();
        return ++m_version;
    }
    // At a transaction's start (checked again at the first id), or once it
    // (or a savepoint) was rolled back (read again).
    void forget(bool rolledBack)
    {
        m_checked = false;
        if (rolledBack)
            m_known = false;
    }

private:
    void load();
    std::int64_t dataVersion();

    SqliteConnection& m_db;
    bool m_known = false;
    bool m_checked = false; // in this transaction
    std::int64_t m_seen = 0; // data_version when the ids were read
    std::int64_t m_batch = 0; // the last given
    std::int64_t m_version = 0;
};

} // namespace trd::server
