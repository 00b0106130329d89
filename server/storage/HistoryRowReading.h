#pragma once
// How both back ends read the history's rows into records: the same columns
// in the same order, mapped once. A row type is whatever a back end steps
// through (a SQLite statement, a libpq result row) with integer(), real(),
// text() and isNull() by column.
#include "HistoryRecords.h"

#include <string>
#include <string_view>

namespace trd::server::historyrows {

inline constexpr const char* RowSelect = "SELECT IDTRADUCAO, IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, "
                                         "STVALORPROP, IDSITTRADUCAO, DTALTERACAO, IDULTVERSAO FROM TRADUCAO ";

// Columns of a version, its date resolved against its batch's.
inline constexpr const char* VersionColumns =
    "v.IDVERSAO, v.IDLOTE, v.IDTRADUCAO, v.IDVERSAOANT, v.TPALTERACAO, v.IDSITANT, v.IDSITTRADUCAO, v.STVALORANT, "
    "COALESCE(v.DTALTERACAO, l.DTLOTE), l.TPLOTE, l.NMUSUARIO, l.NMMETODO, l.IDLOTEDESFEITO";

inline constexpr const char* BatchSelect = "SELECT IDLOTE, IDIDIOMA, TPLOTE, NMUSUARIO, NMMETODO, DTLOTE, NRLINHAS, "
                                           "IDVERSAOINI, IDLOTEDESFEITO FROM LOTE ";

// The columns of the deleted row's identity: IDVERSAO, then the four of its key.
inline constexpr const char* DeletionColumns = "e.IDVERSAO, e.IDIDIOMA, e.CDPROGTRAD, e.NMCOMPONENTE, e.STAGRVALPROP";

// A batch kind kept as a letter; an unknown or missing one reads as an edit.
inline BatchKind kindOf(std::string_view code)
{
    return batchKindFromCode(code.empty() ? 'E' : code[0]).value_or(BatchKind::Edit);
}

// The method kept as nothing is the kind's usual one (HistoryRecords.h).
template <typename Row>
std::string methodOf(const Row& r, int column, BatchKind kind, int undoesColumn)
{
    return r.isNull(column) ? std::string(usualMethod(kind, !r.isNull(undoesColumn))) : std::string(r.text(column));
}

// A row of RowSelect.
template <typename Row>
CurrentRow readRow(const Row& r)
{
    CurrentRow row;
    row.id = r.integer(0);
    row.language = r.text(1);
    row.program = r.text(2);
    row.component = r.text(3);
    row.source = r.text(4);
    row.destination = r.text(5);
    row.status = r.text(6);
    row.changed = r.real(7);
    if (!r.isNull(8))
        row.lastVersion = r.integer(8);
    return row;
}

// A row of VersionColumns.
template <typename Row>
VersionRecord readVersion(const Row& r)
{
    VersionRecord v;
    v.id = r.integer(0);
    v.batch = r.integer(1);
    v.row = r.integer(2);
    if (!r.isNull(3))
        v.previous = r.integer(3);
    v.type = changeTypeFromCode(r.integer(4));
    v.statusBefore = r.text(5);
    v.statusAfter = r.text(6);
    if (!r.isNull(7))
        v.textBefore = std::string(r.text(7));
    v.when = r.real(8);
    v.kind = kindOf(r.text(9));
    v.user = r.text(10);
    v.method = methodOf(r, 11, v.kind, 12);
    return v;
}

// A row of BatchSelect.
template <typename Row>
BatchRecord readBatch(const Row& r)
{
    BatchRecord b;
    b.id = r.integer(0);
    b.language = r.text(1);
    b.kind = kindOf(r.text(2));
    b.user = r.text(3);
    b.method = methodOf(r, 4, b.kind, 8);
    b.when = r.real(5);
    b.rows = r.integer(6);
    b.firstVersion = r.isNull(7) ? 0 : r.integer(7);
    if (!r.isNull(8))
        b.undoes = r.integer(8);
    return b;
}

// A row of DeletionColumns: the delete version and the key it kept.
template <typename Row>
std::pair<std::int64_t, RowKey> readDeletion(const Row& r)
{
    return {static_cast<std::int64_t>(r.integer(0)),
            RowKey{std::string(r.text(1)), std::string(r.text(2)), std::string(r.text(3)), std::string(r.text(4))}};
}

} // namespace trd::server::historyrows
