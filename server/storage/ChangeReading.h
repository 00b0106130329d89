#pragma once
// The change feed's reading of the history on each back end (ChangeRecords.h):
// one reading transaction, so that the versions, the rows they point at and
// what the transaction could see agree.
#include "ChangeRecords.h"
#include "ColumnCursor.h"
#include "HistoryRecords.h"

#include <string>

namespace trd::server {

class SqliteConnection;
class PostgresConnection;

namespace changereading {

// The columns both back ends select, in this order, from VERSAO v, LOTE l,
// TRADUCAO t (left) and VERSAO_EXCLUSAO e (left).
extern const char* const Columns;

// SELECT Columns FROM ... WHERE v.IDVERSAO > first [AND l.IDIDIOMA = second] ORDER BY v.IDVERSAO LIMIT third
std::string selectAfter(bool byLanguage, const char* first, const char* second, const char* third);

// The letter a change is told by (ChangeRecord::type): its own, but that to
// a grid a row made obsolete leaves as a deleted one does, and a revived row
// comes as a created one.
inline char toldType(ChangeType type)
{
    if (type == ChangeType::Obsolete)
        type = ChangeType::Delete;
    else if (type == ChangeType::Revive)
        type = ChangeType::Insert;
    return static_cast<char>(type);
}

// One result row of those columns. The row's (columns 10 to 15) are NULL
// when it no longer exists, the deleted key's (16 to 19) when the version
// kept none.
template <typename ResultRow>
ChangeRecord readRecord(const ResultRow& r)
{
    ChangeRecord c;
    ColumnCursor columns(r);
    columns.read(c.version, c.row, c.previous);
    c.type = toldType(changeTypeFromCode(columns.optionalInteger().value_or(0)));
    c.statusBefore = columns.optionalText().value_or(std::string_view());
    c.statusAfter = columns.optionalText().value_or(std::string_view());
    columns.read(c.textBefore, c.when, c.user, c.language);
    c.rowExists = !r.isNull(10);
    if (c.rowExists)
        ColumnCursor(r, 11).read(c.program, c.component, c.source, c.destination, c.rowNewest);
    c.deletedKey = !r.isNull(16);
    if (c.deletedKey)
        ColumnCursor(r, 17).read(c.deletedProgram, c.deletedComponent, c.deletedSource);
    return c;
}

ChangeWindow readSqlite(SqliteConnection& db, const ChangeQuery& query);
#ifdef TRD_HAVE_POSTGRESQL
ChangeWindow readPostgres(PostgresConnection& db, const ChangeQuery& query);
#endif

} // namespace changereading
} // namespace trd::server
