#pragma once
// Releases on SQLite (docs/releases.md, docs/storage.md): the obsolete flag
// of TRADUCAO and the table of previous sources, added by idempotent steps
// that look at what the file already has (no schema number of their own),
// the reads a release needs, and its writes inside the writer's transaction.
#include "ReleaseRecords.h"
#include "SqliteConnection.h"

#include <string>

namespace trd::server {

class SqliteHistoryReader;
class SqliteVersionLog;

namespace sqliterelease {

// True when TRADUCAO has the obsolete flag (a database the steps have run on).
bool present(SqliteConnection& db);
// True when all of it is there: nothing to write.
bool complete(SqliteConnection& db);
// Adds whatever of the release's schema is missing; inside the caller's
// transaction. Running it again changes nothing.
void ensureSchema(SqliteConnection& db);

// " AND FLOBSOLETA = 0" when the flag exists: what every read of live rows
// appends to its conditions.
const char* liveCondition(bool present);

void readRows(SqliteConnection& db, const std::string& language, const ReleaseRowVisitor& visit);
void selectPreviousSources(SqliteConnection& db, const std::string& language, std::int64_t batch,
                           const PreviousSourceVisitor& visit);
void selectObsoleteRows(SqliteConnection& db, const std::string& language, const ObsoleteRowVisitor& visit);
// The rows of the language, of the statuses and dates, that are obsolete
// (a partial index holds only those, so the live count is the whole count
// less this one).
std::int64_t countObsolete(SqliteConnection& db, const std::string& sqlConditions,
                           const std::function<void(SqliteStatement&)>& bind);

void write(SqliteConnection& db, SqliteHistoryReader& reader, SqliteVersionLog& log, const ReleaseWrite& write,
           double now, bool keepVersions);

} // namespace sqliterelease
} // namespace trd::server
