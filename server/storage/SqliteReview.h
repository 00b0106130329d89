#pragma once
// What the review marks (ReviewStore.h) need of SQLite alone: their tables
// on a database of any earlier schema, and the join of a row selection.
#include "SqliteConnection.h"
#include "Storage.h"

#include <cstdint>
#include <optional>
#include <string>

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

// The mark that holds on the row with this identity.
std::optional<ReviewMark> markByKey(SqliteConnection& db, const RowKey& row);
// The mark's two columns of a selection (MarkColumns), from `first` on.
TranslationRowView withMark(TranslationRowView row, const SqliteStatement& st, int first);

} // namespace trd::server::sqlitereview
