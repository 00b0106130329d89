#include "PostgresReview.h"

#include "ReviewRules.h"
#include "SchemaDialect.h"

#include <charconv>

namespace trd::server::pgreview {

namespace {

std::string number(double value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

std::optional<std::string> idText(std::optional<std::int64_t> id)
{
    return id ? std::optional<std::string>(std::to_string(*id)) : std::nullopt;
}

} // namespace

const char* const MarkColumns = ", r.NMREVISOR, r.DTREVISAO";
const char* const MarkJoin =
    " LEFT JOIN REVISAO r ON r.IDTRADUCAO = t.IDTRADUCAO AND r.IDVERSAO IS NOT DISTINCT FROM t.IDULTVERSAO";

void ensureSchema(PostgresConnection& db)
{
    db.exec(schema::render(review::SchemaDefinition, schema::Postgres));
}

std::vector<std::pair<std::string, ReviewSettings>> settings(PostgresConnection& db)
{
    std::vector<std::pair<std::string, ReviewSettings>> out;
    db.run("SELECT IDIDIOMA, FLREVOBRIG, FLREVPROPRIA FROM IDIOMA_REVISAO ORDER BY IDIDIOMA", {},
           [&](const PostgresConnection::Row& r) {
               out.emplace_back(std::string(r.text(0)), ReviewSettings{r.text(1) == "S", r.text(2) == "S"});
           });
    return out;
}

std::optional<ReviewMark> markOf(PostgresConnection& db, std::int64_t row, std::optional<std::int64_t> newest)
{
    std::optional<ReviewMark> mark;
    db.runNullable("SELECT NMREVISOR, DTREVISAO FROM REVISAO WHERE IDTRADUCAO = $1 AND IDVERSAO IS NOT DISTINCT FROM "
                   "$2::bigint",
                   {std::to_string(row), idText(newest)}, [&](const PostgresConnection::Row& r) {
                       mark = ReviewMark{std::string(r.text(0)), r.real(1)};
                   });
    return mark;
}

std::optional<ReviewMark> requiredMarkOf(PostgresConnection& db, const std::string& language, std::int64_t row,
                                         std::optional<std::int64_t> newest)
{
    std::optional<ReviewMark> mark;
    db.runNullable("SELECT r.NMREVISOR, r.DTREVISAO FROM REVISAO r JOIN IDIOMA_REVISAO s ON s.IDIDIOMA = $1 AND "
                   "s.FLREVOBRIG = 'S' WHERE r.IDTRADUCAO = $2 AND r.IDVERSAO IS NOT DISTINCT FROM $3::bigint",
                   {language, std::to_string(row), idText(newest)}, [&](const PostgresConnection::Row& r) {
                       mark = ReviewMark{std::string(r.text(0)), r.real(1)};
                   });
    return mark;
}

void putSettings(PostgresConnection& db, const std::string& language, const ReviewSettings& settings)
{
    if (!settings.required && !settings.ownChangeBlocked) {
        db.run("DELETE FROM IDIOMA_REVISAO WHERE IDIDIOMA = $1", {language});
        return;
    }
    db.run("INSERT INTO IDIOMA_REVISAO (IDIDIOMA, FLREVOBRIG, FLREVPROPRIA) VALUES ($1, $2, $3) ON CONFLICT (IDIDIOMA) "
           "DO UPDATE SET FLREVOBRIG = excluded.FLREVOBRIG, FLREVPROPRIA = excluded.FLREVPROPRIA",
           {language, settings.required ? "S" : "N", settings.ownChangeBlocked ? "S" : "N"});
}

void putMark(PostgresConnection& db, std::int64_t row, const std::optional<ReviewMark>& mark,
             std::optional<std::int64_t> version)
{
    if (!mark) {
        db.run("DELETE FROM REVISAO WHERE IDTRADUCAO = $1", {std::to_string(row)});
        return;
    }
    db.runNullable("INSERT INTO REVISAO (IDTRADUCAO, NMREVISOR, DTREVISAO, IDVERSAO) VALUES ($1, $2, $3, $4) "
                   "ON CONFLICT (IDTRADUCAO) DO UPDATE SET NMREVISOR = excluded.NMREVISOR, "
                   "DTREVISAO = excluded.DTREVISAO, IDVERSAO = excluded.IDVERSAO",
                   {std::to_string(row), mark->reviewer, number(mark->when), idText(version)});
}

} // namespace trd::server::pgreview
