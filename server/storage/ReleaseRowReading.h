#pragma once
// How both back ends keep and read a release's rows: the same table, the
// same statements, but for their placeholders ("$1" or "?"), and the same
// columns mapped once. A row type is whatever a back end steps through (a
// SQLite statement, a libpq result row) with integer(), real(), text() and
// isNull() by column.
#include "ColumnCursor.h"
#include "ReleaseRecords.h"

#include <string>
#include <string_view>

namespace trd::server::releaserows {

// What a release keeps beside TRADUCAO, for both back ends (SchemaDialect.h):
// the index of the obsolete rows and, per row a release created, what it
// came from.
inline constexpr const char* SchemaDefinition = R"SQL(
CREATE INDEX IF NOT EXISTS TRADUCAO_OBSOLETA
    ON TRADUCAO (IDIDIOMA, IDSITTRADUCAO, DTALTERACAO) WHERE FLOBSOLETA <> 0;
CREATE TABLE IF NOT EXISTS TRADUCAO_ANTERIOR (
    IDTRADUCAO    {ID} PRIMARY KEY REFERENCES TRADUCAO (IDTRADUCAO) ON DELETE CASCADE,
    IDLOTE        {ID} NOT NULL,
    TPLIBERACAO   {CODE} NOT NULL,
    IDTRADUCAOANT {ID},
    CDPROGANT     {TEXT(20)} NOT NULL,
    NMCOMPANT     {TEXT(50)} NOT NULL,
    STAGRVALANT   {TEXT(4000)} NOT NULL,
    NRSIMILAR     {SMALL} NOT NULL
);
)SQL";

// Every row of the language given at `language`, obsolete or live.
inline std::string rowsSelect(const char* language)
{
    return std::string("SELECT IDTRADUCAO, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, "
                       "FLOBSOLETA FROM TRADUCAO WHERE IDIDIOMA = ")
        + language;
}

// The live rows a release created, with what they came from; of one batch
// when `batch` names its placeholder, of every batch when it is null.
inline std::string previousSourcesSelect(const char* language, const char* batch)
{
    std::string sql = std::string("SELECT t.CDPROGTRAD, t.NMCOMPONENTE, t.STAGRVALPROP, a.TPLIBERACAO, a.CDPROGANT, "
                                  "a.NMCOMPANT, a.STAGRVALANT, a.NRSIMILAR, a.IDLOTE, COALESCE(l.DTLOTE, 0) "
                                  "FROM TRADUCAO t JOIN TRADUCAO_ANTERIOR a ON a.IDTRADUCAO = t.IDTRADUCAO "
                                  "LEFT JOIN LOTE l ON l.IDLOTE = a.IDLOTE WHERE t.IDIDIOMA = ")
        + language + " AND t.FLOBSOLETA = 0";
    if (batch)
        sql += std::string(" AND a.IDLOTE = ") + batch;
    return sql + " ORDER BY t.CDPROGTRAD, t.NMCOMPONENTE, t.STAGRVALPROP";
}

// The obsolete rows of the language, with the batch of their newest version
// when that version made them so.
inline std::string obsoleteRowsSelect(const char* language)
{
    return std::string("SELECT t.CDPROGTRAD, t.NMCOMPONENTE, t.STAGRVALPROP, t.STVALORPROP, t.IDSITTRADUCAO, "
                       "t.DTALTERACAO, CASE WHEN v.TPALTERACAO = 3 THEN v.IDLOTE ELSE 0 END FROM TRADUCAO t "
                       "LEFT JOIN VERSAO v ON v.IDVERSAO = t.IDULTVERSAO WHERE t.IDIDIOMA = ")
        + language + " AND t.FLOBSOLETA <> 0 ORDER BY t.CDPROGTRAD, t.NMCOMPONENTE, t.STAGRVALPROP";
}

// A row of rowsSelect.
template <typename Row>
ReleaseRowView readRow(const Row& r)
{
    return {r.integer(0), r.text(1), r.text(2), r.text(3), r.text(4), r.text(5), r.integer(6) != 0};
}

// A row of previousSourcesSelect.
template <typename Row>
PreviousSourceView readPreviousSource(const Row& r)
{
    PreviousSourceView v;
    ColumnCursor c(r);
    c.read(v.program, v.component, v.source);
    const std::string_view origin = c.text();
    v.origin = static_cast<ReleaseOrigin>(origin.empty() ? 'N' : origin.front());
    c.read(v.fromProgram, v.fromComponent, v.fromSource);
    v.similarity = static_cast<int>(c.integer());
    c.read(v.batch, v.batchWhen);
    return v;
}

// A row of obsoleteRowsSelect.
template <typename Row>
ObsoleteRowView readObsoleteRow(const Row& r)
{
    return {r.text(0), r.text(1), r.text(2), r.text(3), r.text(4), r.real(5), r.isNull(6) ? 0 : r.integer(6)};
}

} // namespace trd::server::releaserows
