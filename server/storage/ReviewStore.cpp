#include "ReviewStore.h"

#include "ReviewRules.h"
#include "VersionLog.h"

namespace trd::server::reviewstore {

namespace {

// The statements compare a version that may be NULL (a row kept without a
// log has none): IS NOT DISTINCT FROM holds for two NULLs on both back ends,
// and the cast gives PostgreSQL the parameter's type.
constexpr const char* SameVersion = "IDVERSAO IS NOT DISTINCT FROM CAST(? AS BIGINT)";

std::optional<ReviewMark> markFound(StatementDb& db, const std::string& sql,
                                    const std::vector<StatementDb::Value>& values)
{
    std::optional<ReviewMark> mark;
    db.run(sql, values, [&](const StatementDb::Row& r) { mark = ReviewMark{std::string(r.text(0)), r.real(1)}; });
    return mark;
}

} // namespace

std::vector<std::pair<std::string, ReviewSettings>> settings(StatementDb& db)
{
    std::vector<std::pair<std::string, ReviewSettings>> out;
    db.run("SELECT IDIDIOMA, FLREVOBRIG, FLREVPROPRIA FROM IDIOMA_REVISAO ORDER BY IDIDIOMA", {},
           [&](const StatementDb::Row& r) {
               out.emplace_back(std::string(r.text(0)), ReviewSettings{r.text(1) == "S", r.text(2) == "S"});
           });
    return out;
}

std::optional<ReviewMark> markOf(StatementDb& db, std::int64_t row, std::optional<std::int64_t> newest)
{
    return markFound(db,
                     std::string("SELECT NMREVISOR, DTREVISAO FROM REVISAO WHERE IDTRADUCAO = ? AND ") + SameVersion,
                     {row, StatementDb::nullable(newest)});
}

std::optional<ReviewMark> requiredMarkOf(StatementDb& db, const std::string& language, std::int64_t row,
                                         std::optional<std::int64_t> newest)
{
    return markFound(
        db,
        std::string("SELECT r.NMREVISOR, r.DTREVISAO FROM REVISAO r JOIN IDIOMA_REVISAO s ON s.IDIDIOMA = ? "
                    "AND s.FLREVOBRIG = 'S' WHERE r.IDTRADUCAO = ? AND r.")
            + SameVersion,
        {language, row, StatementDb::nullable(newest)});
}

void putSettings(StatementDb& db, const std::string& language, const ReviewSettings& settings)
{
    if (!settings.required && !settings.ownChangeBlocked) {
        db.run("DELETE FROM IDIOMA_REVISAO WHERE IDIDIOMA = ?", {language});
        return;
    }
    db.run("INSERT INTO IDIOMA_REVISAO (IDIDIOMA, FLREVOBRIG, FLREVPROPRIA) VALUES (?, ?, ?) ON CONFLICT (IDIDIOMA) "
           "DO UPDATE SET FLREVOBRIG = excluded.FLREVOBRIG, FLREVPROPRIA = excluded.FLREVPROPRIA",
           {language, std::string(settings.required ? "S" : "N"), std::string(settings.ownChangeBlocked ? "S" : "N")});
}

void putMark(StatementDb& db, std::int64_t row, const std::optional<ReviewMark>& mark,
             std::optional<std::int64_t> version)
{
    if (!mark) {
        db.run("DELETE FROM REVISAO WHERE IDTRADUCAO = ?", {row});
        return;
    }
    db.run("INSERT INTO REVISAO (IDTRADUCAO, NMREVISOR, DTREVISAO, IDVERSAO) VALUES (?, ?, ?, ?) "
           "ON CONFLICT (IDTRADUCAO) DO UPDATE SET NMREVISOR = excluded.NMREVISOR, "
           "DTREVISAO = excluded.DTREVISAO, IDVERSAO = excluded.IDVERSAO",
           {row, mark->reviewer, mark->when, StatementDb::nullable(version)});
}

// A mark or an unmark is a version of its own, which the mark then names;
// the row's text, status and change date stay.
void markRow(StatementDb& db, HistoryReader& reader, VersionLog* log, const RowChange& change, double now)
{
    const RowKey& key = change.original;
    const std::optional<CurrentRow> row = reader.rowByKey(key.language, key.program, key.component, key.source);
    if (!row)
        review::refuseUnknownRow(key);
    review::checkMark(change, *row, reader);
    if (!change.marked && !markOf(db, row->id, row->lastVersion))
        return; // nothing to take away
    std::optional<std::int64_t> version = row->lastVersion;
    if (log) {
        version = log->record(key.language, row->id, row->lastVersion,
                              change.marked ? ChangeType::Reviewed : ChangeType::Unreviewed, row->status, row->status,
                              std::nullopt, now, now);
        db.run("UPDATE TRADUCAO SET IDULTVERSAO = ? WHERE IDTRADUCAO = ?", {*version, row->id});
    }
    putMark(db, row->id, change.marked ? std::optional<ReviewMark>(ReviewMark{change.reviewer, now}) : std::nullopt,
            version);
}

} // namespace trd::server::reviewstore
