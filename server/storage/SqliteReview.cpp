#include "SqliteReview.h"

namespace trd::server::sqlitereview {

const char* const MarkColumns = ", r.NMREVISOR, r.DTREVISAO";
const char* const MarkJoin =
    " LEFT JOIN REVISAO r ON r.IDTRADUCAO = TRADUCAO.IDTRADUCAO AND r.IDVERSAO IS TRADUCAO.IDULTVERSAO";
const char* const NoMarkColumns = ", NULL, NULL";

void ensureSchema(SqliteConnection& db)
{
    // IDVERSAO is null only where writes keep no history (benchmarks).
    db.exec(R"SQL(
CREATE TABLE IF NOT EXISTS REVISAO (
    IDTRADUCAO INTEGER PRIMARY KEY REFERENCES TRADUCAO(IDTRADUCAO) ON DELETE CASCADE,
    NMREVISOR  TEXT NOT NULL,
    DTREVISAO  REAL NOT NULL,
    IDVERSAO   INTEGER
);
CREATE TABLE IF NOT EXISTS IDIOMA_REVISAO (
    IDIDIOMA     TEXT NOT NULL PRIMARY KEY REFERENCES IDIOMA(IDIDIOMA) ON DELETE CASCADE,
    FLREVOBRIG   TEXT NOT NULL DEFAULT 'N' CHECK (FLREVOBRIG IN ('S', 'N')),
    FLREVPROPRIA TEXT NOT NULL DEFAULT 'N' CHECK (FLREVPROPRIA IN ('S', 'N'))
);
)SQL");
}

bool present(SqliteConnection& db)
{
    auto st = db.prepare("SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name IN ('REVISAO', "
                         "'IDIOMA_REVISAO')");
    st.step();
    return st.integer(0) == 2;
}

std::vector<std::pair<std::string, ReviewSettings>> settings(SqliteConnection& db)
{
    std::vector<std::pair<std::string, ReviewSettings>> out;
    auto st = db.prepare("SELECT IDIDIOMA, FLREVOBRIG, FLREVPROPRIA FROM IDIOMA_REVISAO ORDER BY IDIDIOMA");
    while (st.step())
        out.emplace_back(std::string(st.text(0)), ReviewSettings{st.text(1) == "S", st.text(2) == "S"});
    return out;
}

std::optional<ReviewMark> markOf(SqliteConnection& db, std::int64_t row, std::optional<std::int64_t> newest)
{
    auto st = db.prepare("SELECT NMREVISOR, DTREVISAO FROM REVISAO WHERE IDTRADUCAO = ? AND IDVERSAO IS ?");
    st.bind(1, row);
    if (newest)
        st.bind(2, *newest);
    else
        st.bindNull(2);
    if (!st.step())
        return std::nullopt;
    return ReviewMark{std::string(st.text(0)), st.real(1)};
}

std::optional<ReviewMark> requiredMarkOf(SqliteConnection& db, const std::string& language, std::int64_t row,
                                         std::optional<std::int64_t> newest)
{
    auto st = db.prepare("SELECT r.NMREVISOR, r.DTREVISAO FROM REVISAO r JOIN IDIOMA_REVISAO s ON s.IDIDIOMA = ? "
                         "AND s.FLREVOBRIG = 'S' WHERE r.IDTRADUCAO = ? AND r.IDVERSAO IS ?");
    st.bind(1, language).bind(2, row);
    if (newest)
        st.bind(3, *newest);
    else
        st.bindNull(3);
    if (!st.step())
        return std::nullopt;
    return ReviewMark{std::string(st.text(0)), st.real(1)};
}

void putSettings(SqliteConnection& db, const std::string& language, const ReviewSettings& settings)
{
    if (!settings.required && !settings.ownChangeBlocked) {
        auto st = db.prepare("DELETE FROM IDIOMA_REVISAO WHERE IDIDIOMA = ?");
        st.bind(1, language);
        st.run();
        return;
    }
    auto st = db.prepare("INSERT INTO IDIOMA_REVISAO (IDIDIOMA, FLREVOBRIG, FLREVPROPRIA) VALUES (?, ?, ?) "
                         "ON CONFLICT (IDIDIOMA) DO UPDATE SET FLREVOBRIG = excluded.FLREVOBRIG, "
                         "FLREVPROPRIA = excluded.FLREVPROPRIA");
    st.bind(1, language).bind(2, settings.required ? "S" : "N").bind(3, settings.ownChangeBlocked ? "S" : "N");
    st.run();
}

void putMark(SqliteConnection& db, std::int64_t row, const std::optional<ReviewMark>& mark,
             std::optional<std::int64_t> version)
{
    if (!mark) {
        auto st = db.prepare("DELETE FROM REVISAO WHERE IDTRADUCAO = ?");
        st.bind(1, row);
        st.run();
        return;
    }
    auto st = db.prepare("INSERT INTO REVISAO (IDTRADUCAO, NMREVISOR, DTREVISAO, IDVERSAO) VALUES (?, ?, ?, ?) "
                         "ON CONFLICT (IDTRADUCAO) DO UPDATE SET NMREVISOR = excluded.NMREVISOR, "
                         "DTREVISAO = excluded.DTREVISAO, IDVERSAO = excluded.IDVERSAO");
    st.bind(1, row).bind(2, mark->reviewer).bind(3, mark->when);
    if (version)
        st.bind(4, *version);
    else
        st.bindNull(4);
    st.run();
}

} // namespace trd::server::sqlitereview
