#include "ChangeReading.h"

#include "SqliteConnection.h"
#include "SqliteHistoryIds.h"

namespace trd::server::changereading {

const char* const Columns =
    "v.IDVERSAO, v.IDTRADUCAO, v.IDVERSAOANT, v.TPALTERACAO, v.IDSITANT, v.IDSITTRADUCAO, v.STVALORANT, "
    "COALESCE(v.DTALTERACAO, l.DTLOTE), l.NMUSUARIO, l.IDIDIOMA, "
    "t.IDTRADUCAO, t.CDPROGTRAD, t.NMCOMPONENTE, t.STAGRVALPROP, t.STVALORPROP, t.IDULTVERSAO, "
    "e.IDVERSAO, e.CDPROGTRAD, e.NMCOMPONENTE, e.STAGRVALPROP";

std::string selectAfter(bool byLanguage, const char* first, const char* second, const char* third)
{
    std::string sql = std::string("SELECT ") + Columns
        + " FROM VERSAO v JOIN LOTE l ON l.IDLOTE = v.IDLOTE"
          " LEFT JOIN TRADUCAO t ON t.IDTRADUCAO = v.IDTRADUCAO"
          " LEFT JOIN VERSAO_EXCLUSAO e ON e.IDVERSAO = v.IDVERSAO WHERE v.IDVERSAO > "
        + first;
    if (byLanguage)
        sql += std::string(" AND l.IDIDIOMA = ") + second;
    sql += std::string(" ORDER BY v.IDVERSAO LIMIT ") + third;
    return sql;
}

ChangeWindow readSqlite(SqliteConnection& db, const ChangeQuery& query)
{
    ChangeWindow window;
    // One read transaction: the newest id and the versions from one moment.
    db.exec("BEGIN");
    try {
        {
            // The newest id is the highest ever given, not only the highest
            // still kept: once pruning has removed the newest versions, a
            // client that missed them must be told so, not answered as if
            // nothing had happened after the last version left.
            window.newest = sqlitehistory::newestVersionEver(db);
            auto st = db.prepare("SELECT COALESCE((SELECT MIN(IDVERSAO) FROM VERSAO), 0)");
            if (st.step())
                window.oldest = st.integer(0);
        }
        const bool byLanguage = !query.language.empty();
        auto st = db.prepare(selectAfter(byLanguage, "?1", "?2", "?3"));
        st.bind(1, query.after);
        if (byLanguage)
            st.bind(2, query.language);
        st.bind(3, static_cast<std::int64_t>(query.limit + 1));
        while (st.step()) {
            if (window.records.size() == query.limit) {
                window.more = true;
                break;
            }
            window.records.push_back(readRecord(st));
        }
    } catch (...) {
        db.exec("COMMIT");
        throw;
    }
    db.exec("COMMIT");
    return window;
}

} // namespace trd::server::changereading
