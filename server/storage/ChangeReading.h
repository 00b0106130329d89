#pragma once
// The change feed's reading of the history on each back end (ChangeRecords.h):
// one reading transaction, so that the versions, the rows they point at and
// what the transaction could see agree.
#include "ChangeRecords.h"
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

// One result row of those columns.
template <typename ResultRow>
ChangeRecord readRecord(const ResultRow& r)
{
    ChangeRecord c;
    c.version = r.integer(0);
    c.row = r.integer(1);
    if (!r.isNull(2))
        c.previous = r.integer(2);
    c.type = toldType(changeTypeFromCode(r.isNull(3) ? 0 : r.integer(3)));
    c.statusBefore = r.isNull(4) ? std::string() : std::string(r.text(4));
    c.statusAfter = r.isNull(5) ? std::string() : std::string(r.text(5));
    if (!r.isNull(6))
        c.textBefore = std::string(r.text(6));
    c.when = r.real(7);
    c.user = r.text(8);
    c.language = r.text(9);
    c.rowExists = !r.isNull(10);
    if (c.rowExists) {
        c.program = r.text(11);
        c.component = r.text(12);
        c.source = r.text(13);
        c.destination = r.text(14);
        if (!r.isNull(15))
            c.rowNewest = r.integer(15);
    }
    c.deletedKey = !r.isNull(16);
    if (c.deletedKey) {
        c.deletedProgram = r.text(17);
        c.deletedComponent = r.text(18);
        c.deletedSource = r.text(19);
    }
    return c;
}

ChangeWindow readSqlite(SqliteConnection& db, const ChangeQuery& query);
#ifdef TRD_HAVE_POSTGRESQL
ChangeWindow readPostgres(PostgresConnection& db, const ChangeQuery& query);
#endif

} // namespace changereading
} // namespace trd::server
