#pragma once
// How both back ends read the history's rows into records: the same columns
// in the same order, mapped once, through a ColumnCursor over whatever row a
// back end steps through.
#include "ColumnCursor.h"
#include "HistoryRecords.h"

#include <optional>
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
inline std::string methodOf(std::optional<std::string_view> kept, BatchKind kind, bool undoesBatch)
{
    return std::string(kept ? *kept : usualMethod(kind, undoesBatch));
}

// A row of RowSelect.
template <typename Row>
CurrentRow readRow(const Row& r)
{
    CurrentRow row;
    ColumnCursor(r).read(row.id, row.language, row.program, row.component, row.source, row.destination, row.status,
                         row.changed, row.lastVersion);
    return row;
}

// A row of VersionColumns.
template <typename Row>
VersionRecord readVersion(const Row& r)
{
    VersionRecord v;
    ColumnCursor c(r);
    c.read(v.id, v.batch, v.row, v.previous);
    v.type = changeTypeFromCode(c.integer());
    c.read(v.statusBefore, v.statusAfter, v.textBefore, v.when);
    v.kind = kindOf(c.text());
    c.read(v.user);
    const std::optional<std::string_view> method = c.optionalText();
    v.method = methodOf(method, v.kind, c.optionalInteger().has_value());
    return v;
}

// A row of BatchSelect.
template <typename Row>
BatchRecord readBatch(const Row& r)
{
    BatchRecord b;
    ColumnCursor c(r);
    c.read(b.id, b.language);
    b.kind = kindOf(c.text());
    c.read(b.user);
    const std::optional<std::string_view> method = c.optionalText();
    c.read(b.when, b.rows);
    b.firstVersion = c.optionalInteger().value_or(0);
    c.read(b.undoes);
    b.method = methodOf(method, b.kind, b.undoes.has_value());
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
