#pragma once
// The review marks and rules on SQLite (docs/users.md, docs/storage.md).
//
//   REVISAO          a row's mark: who and when, and the version it wrote;
//                    it holds while that version is the row's newest
//   IDIOMA_REVISAO   the rules of a language, absent while both are off
#include "SqliteConnection.h"
#include "SqliteHistory.h"
#include "Storage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace trd::server::sqlitereview {

// Creates the tables when they are missing; run on every start that may
// write, in the transaction that brings the schema up to date. Steps that
// look for what exists, so a database of any earlier schema takes them.
void ensureSchema(SqliteConnection& db);
// Whether the database has them (a database served read-only may not).
bool present(SqliteConnection& db);
// Adds them to the database file when it lacks them, whatever its schema
// version; answers whether it has them (read-only: maybe not).
bool addTables(const std::string& path, bool durable, bool readOnly);

// Appended to a row selection from TRADUCAO: the mark's two columns, and
// the join that finds the mark that still holds.
extern const char* const MarkColumns; // ", r.NMREVISOR, r.DTREVISAO"
extern const char* const MarkJoin;
// The columns when the database keeps no marks.
extern const char* const NoMarkColumns;

std::vector<std::pair<std::string, ReviewSettings>> settings(SqliteConnection& db);
// The mark that holds on the row with this identity.
std::optional<ReviewMark> markByKey(SqliteConnection& db, const RowKey& row);
// The mark's two columns of a selection (MarkColumns), from `first` on.
TranslationRowView withMark(TranslationRowView row, const SqliteStatement& st, int first);
// The writer's side of MarcaRevisao: checks the row (ReviewRules.h), then
// keeps the mark's version (none without a log) and writes the mark.
void markRow(SqliteConnection& db, SqliteHistoryReader& reader, SqliteVersionLog* log, const RowChange& change,
             double now);
std::optional<ReviewMark> markOf(SqliteConnection& db, std::int64_t row, std::optional<std::int64_t> newest);
// The mark, when the row's language requires review: what keeps a writer
// below revisor from changing the row.
std::optional<ReviewMark> requiredMarkOf(SqliteConnection& db, const std::string& language, std::int64_t row,
                                         std::optional<std::int64_t> newest);
void putSettings(SqliteConnection& db, const std::string& language, const ReviewSettings& settings);
// Writes (or takes away) the mark of a row whose newest version is now `version`.
void putMark(SqliteConnection& db, std::int64_t row, const std::optional<ReviewMark>& mark,
             std::optional<std::int64_t> version);

} // namespace trd::server::sqlitereview
