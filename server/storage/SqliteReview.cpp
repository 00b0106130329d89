#include "SqliteReview.h"

#include "ReviewRules.h"
#include "SchemaDialect.h"

#include <cstdio>

namespace trd::server::sqlitereview {

const char* const MarkColumns = ", r.NMREVISOR, r.DTREVISAO";
const char* const MarkJoin =
    " LEFT JOIN REVISAO r ON r.IDTRADUCAO = TRADUCAO.IDTRADUCAO AND r.IDVERSAO IS TRADUCAO.IDULTVERSAO";
const char* const NoMarkColumns = ", NULL, NULL";

void ensureSchema(SqliteConnection& db)
{
    db.exec(schema::render(review::SchemaDefinition, schema::Sqlite).c_str());
}

bool present(SqliteConnection& db)
{
    auto st = db.prepare("SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name IN ('REVISAO', "
                         "'IDIOMA_REVISAO')");
    st.step();
    return st.integer(0) == 2;
}

bool addTables(const std::string& path, bool durable, bool readOnly)
{
    SqliteConnection db(path, durable, readOnly ? SqliteConnection::Mode::ReadOnly : SqliteConnection::Mode::ReadWrite);
    if (present(db))
        return true;
    if (readOnly)
        return false;
    db.exec("BEGIN IMMEDIATE");
    try {
        ensureSchema(db);
        db.exec("COMMIT");
    } catch (const std::exception& e) {
        db.exec("ROLLBACK");
        throw StorageError("não foi possível criar as tabelas de revisão no banco " + path + ": " + e.what());
    }
    std::fprintf(stderr, "trd-server: banco %s: tabelas das marcas de revisão criadas\n", path.c_str());
    return true;
}

std::optional<ReviewMark> markByKey(SqliteConnection& db, const RowKey& row)
{
    auto st = db.prepare(std::string("SELECT r.NMREVISOR, r.DTREVISAO FROM TRADUCAO") + MarkJoin
                         + " WHERE IDIDIOMA = ? AND CDPROGTRAD = ? AND NMCOMPONENTE = ? AND STAGRVALPROP = ?"
                           " AND r.IDTRADUCAO IS NOT NULL");
    st.bind(1, row.language).bind(2, row.program).bind(3, row.component).bind(4, row.source);
    if (!st.step())
        return std::nullopt;
    return ReviewMark{std::string(st.text(0)), st.real(1)};
}

TranslationRowView withMark(TranslationRowView row, const SqliteStatement& st, int first)
{
    if (!st.isNull(first)) {
        row.reviewer = st.text(first);
        row.reviewed = st.real(first + 1);
    }
    return row;
}

} // namespace trd::server::sqlitereview
