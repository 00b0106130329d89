#pragma once
// Many changes of rows on PostgreSQL written as one set (docs/storage.md):
// the rows' keys copied into a staging table (COPY), the rows read and
// locked by one join, the versions worked out here as apply() works them out
// row by row, then copied and written by a few set-based statements in the
// writer's transaction. The result is the row-by-row path's, to the version
// ids, which are drawn in the changes' order.
#include "PostgresConnection.h"
#include "PostgresHistory.h"

#include <cstddef>

namespace trd::server::pgbatch {

// Fewer changes than this go row by row: a set costs a few statements more
// than one row does.
inline constexpr std::size_t SetFrom = 8;

// Writes `count` changes of kind Modify that keep their rows' keys, or of
// kind Delete (an undo of an import deletes the rows it brought in). Answers
// false, having written nothing, when one of them needs the row-by-row path's
// own words (a row changed or gone meanwhile, a reviewed row the writer may
// not change, a value the table refuses, the same row twice): the caller then
// applies them one by one, which refuses as it always has.
bool writeChanges(PostgresConnection& db, PostgresVersionLog& log, const RowChange* changes, std::size_t count,
                  double now);

// Writes `count` changes of kind Insert, each row with its first version; a
// row brought back by an undo keeps its old id when that is still free.
// Answers false, having written nothing, when one of them would be refused
// (a key already in the table or given twice, an unknown language, a value
// the table refuses), so that the row-by-row path names it.
bool writeInsertions(PostgresConnection& db, PostgresVersionLog& log, const RowChange* changes, std::size_t count,
                     double now);

} // namespace trd::server::pgbatch
