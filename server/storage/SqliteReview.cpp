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

// A mark or an unmark is a version of its own, which the mark then names;
// the row's text, status and change date stay.
void markRow(SqliteConnection& db, SqliteHistoryReader& reader, SqliteVersionLog* log, const RowChange& change,
             double now)
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
        auto st = db.prepare("UPDATE TRADUCAO SET IDULTVERSAO = ? WHERE IDTRADUCAO = ?");
        st.bind(1, *version).bind(2, row->id);
        st.run();
    }
    putMark(db, row->id, change.marked ? std::optional<ReviewMark>(ReviewMark{change.reviewer, now}) : std::nullopt,
            version);
}

std::vector<std::pair<std::string, ReviewSettings>> settings(SqliteConnection& db)
{
    std::vector<std::pair<std::string, ReviewSettings>> out;
    auto st = db.prepare("SELECT IDIDIOMA, FLREVOBRIG, FLREVPROPRIA FROM IDIOMA_REVISAO ORDER BY IDIDIOMA");
    while (st.step())
        out.emplace_back(std::string(st.text(0)), ReviewSettings{st.text(1) == "S", st.text(2) == "S"});
    return out;
}

namespace {

// The mark a statement that selects the reviewer and the date finds, if any.
std::optional<ReviewMark> markFound(SqliteStatement& st)
{
    if (!st.step())
        return std::nullopt;
    return ReviewMark{std::string(st.text(0)), st.real(1)};
}

} // namespace

std::optional<ReviewMark> markOf(SqliteConnection& db, std::int64_t row, std::optional<std::int64_t> newest)
{
    auto st = db.prepare("SELECT NMREVISOR, DTREVISAO FROM REVISAO WHERE IDTRADUCAO = ? AND IDVERSAO IS ?");
    st.bind(1, row).bind(2, newest);
    return markFound(st);
}

std::optional<ReviewMark> requiredMarkOf(SqliteConnection& db, const std::string& language, std::int64_t row,
                                         std::optional<std::int64_t> newest)
{
    auto st = db.prepare("SELECT r.NMREVISOR, r.DTREVISAO FROM REVISAO r JOIN IDIOMA_REVISAO s ON s.IDIDIOMA = ? "
                         "AND s.FLREVOBRIG = 'S' WHERE r.IDTRADUCAO = ? AND r.IDVERSAO IS ?");
    st.bind(1, language).bind(2, row).bind(3, newest);
    return markFound(st);
}

void putSettings(SqliteConnection& db, const std::string& language, const ReviewSettings& settings)
{
    if (!settings.required && !settings.ownChangeBlocked) {
        db.prepare("DELETE FROM IDIOMA_REVISAO WHERE IDIDIOMA = ?").bind(1, language).run();
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
        db.prepare("DELETE FROM REVISAO WHERE IDTRADUCAO = ?").bind(1, row).run();
        return;
    }
    auto st = db.prepare("INSERT INTO REVISAO (IDTRADUCAO, NMREVISOR, DTREVISAO, IDVERSAO) VALUES (?, ?, ?, ?) "
                         "ON CONFLICT (IDTRADUCAO) DO UPDATE SET NMREVISOR = excluded.NMREVISOR, "
                         "DTREVISAO = excluded.DTREVISAO, IDVERSAO = excluded.IDVERSAO");
    st.bind(1, row).bind(2, mark->reviewer).bind(3, mark->when).bind(4, version);
    st.run();
}

} // namespace trd::server::sqlitereview
