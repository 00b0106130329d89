#pragma once
// Imports into PostgreSQL at the speed of its bulk path (the TSV import, the
// demo fill): the rows gathered in chunks, each chunk's rows and versions
// copied into their tables (COPY) with ids drawn beforehand, and the batches'
// counts set once a chunk. Row by row, each import
// line cost a key lookup whose plan was made while the table was still empty
// (a sequential scan that grew with every row), so a load was quadratic.
//
// What a chunk cannot write in bulk is handed back for the row-by-row path:
// rows whose key is already in the table (they take the new values, with a
// version of the change) and, when the database refuses the set (an unknown
// language, a duplicate key written meanwhile by another server), the whole
// chunk, so that the refusal names the row at fault exactly as before.
#include "PostgresConnection.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace trd::server::pgbulk {

// The batch a language's versions go to and its date (a version of the
// batch's own date keeps none of its own).
struct BatchOf {
    std::int64_t id = 0;
    double when = 0;
};
using BatchFor = std::function<BatchOf(const std::string& language)>;

// The rows of an import not yet written, at most one a key: a key given again
// asks for the rows gathered so far to be written first, so that the later
// line's values are written over the earlier ones as row by row.
class PendingRows {
public:
    // intoEmpty: the table had no row when the load began, so a chunk needs
    // no look for keys already there unless a key came twice.
    explicit PendingRows(bool intoEmpty) : m_checkTable(!intoEmpty) { }

    // False (the row not taken) when the key may already be pending or written
    // in this load: write the pending rows, then add it again.
    bool add(const TranslationRow& row, double changed);
    std::size_t size() const { return m_rows.size(); }
    bool empty() const { return m_rows.empty(); }

    // Writes the pending rows and empties the list; returns the rows left for
    // the row-by-row path, in their order.
    std::vector<TranslationRow> write(PostgresConnection& db, const BatchFor& batchFor);
    // Forgets the pending rows (a rolled-back transaction).
    void clear();

private:
    // The pending rows whose key is in the table, in their order.
    std::vector<std::size_t> inTable(PostgresConnection& db) const;

    std::vector<TranslationRow> m_rows; // changed always set
    // Hashes of the keys of this load (written or pending): a hash met again
    // means the key may be in the table by now.
    std::unordered_set<std::uint64_t> m_seen;
    std::unordered_set<std::uint64_t> m_pending;
    bool m_checkTable = false;
};

// The keys of a chunk's rows as COPY's text form, each after its place in the chunk.
std::string copyText(const std::vector<TranslationRow>& rows);

} // namespace trd::server::pgbulk
