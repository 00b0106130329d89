#include "SqliteRelease.h"

#include "ReleaseRowReading.h"
#include "SchemaDialect.h"
#include "SqliteHistory.h"

namespace trd::server::sqliterelease {

namespace {

struct RowNow {
    std::string status;
    std::optional<std::int64_t> last;
};

RowNow rowNow(SqliteConnection& db, std::int64_t id)
{
    auto st = db.prepare("SELECT IDSITTRADUCAO, IDULTVERSAO FROM TRADUCAO WHERE IDTRADUCAO = ?");
    st.bind(1, id);
    if (!st.step())
        throw StorageError("release: row " + std::to_string(id) + " is gone");
    RowNow r{std::string(st.text(0)), std::nullopt};
    if (!st.isNull(1))
        r.last = st.integer(1);
    return r;
}

void setFlag(SqliteConnection& db, SqliteVersionLog& log, const std::string& language, std::int64_t id, bool obsolete,
             double now, bool keepVersions)
{
    std::optional<std::int64_t> last;
    if (keepVersions) {
        const RowNow r = rowNow(db, id);
        last = log.record(language, id, r.last, obsolete ? ChangeType::Obsolete : ChangeType::Revive, r.status,
                          r.status, std::nullopt, now, now);
    }
    auto st = db.prepare(keepVersions ? "UPDATE TRADUCAO SET FLOBSOLETA = ?, IDULTVERSAO = ? WHERE IDTRADUCAO = ?"
                                      : "UPDATE TRADUCAO SET FLOBSOLETA = ? WHERE IDTRADUCAO = ?");
    st.bind(1, std::int64_t{obsolete ? 1 : 0});
    if (keepVersions)
        st.bind(2, *last).bind(3, id);
    else
        st.bind(2, id);
    st.run();
}

void insert(SqliteConnection& db, SqliteVersionLog& log, const std::string& language, const ReleaseInsert& row,
            double now, bool keepVersions)
{
    auto st = db.prepare("INSERT INTO TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, "
                         "IDSITTRADUCAO, DTALTERACAO) VALUES (?, ?, ?, ?, ?, ?, ?)");
    st.bind(1, language).bind(2, row.program).bind(3, row.component).bind(4, row.source);
    st.bind(5, row.destination).bind(6, row.status).bind(7, now);
    st.run();
    const std::int64_t id = sqlite3_last_insert_rowid(db.handle());
    std::int64_t batch = 0;
    if (keepVersions) {
        const std::int64_t version =
            log.record(language, id, std::nullopt, ChangeType::Insert, {}, row.status, std::nullopt, now, now);
        batch = log.written().back();
        auto newest = db.prepare("UPDATE TRADUCAO SET IDULTVERSAO = ? WHERE IDTRADUCAO = ?");
        newest.bind(1, version).bind(2, id);
        newest.run();
    }
    if (!row.hasOrigin)
        return;
    auto origin =
        db.prepare("INSERT INTO TRADUCAO_ANTERIOR (IDTRADUCAO, IDLOTE, TPLIBERACAO, IDTRADUCAOANT, CDPROGANT, "
                   "NMCOMPANT, STAGRVALANT, NRSIMILAR) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    const char kind = static_cast<char>(row.origin);
    origin.bind(1, id).bind(2, batch).bind(3, std::string_view(&kind, 1)).bind(4, row.fromRow);
    origin.bind(5, row.fromProgram).bind(6, row.fromComponent).bind(7, row.fromSource);
    origin.bind(8, static_cast<std::int64_t>(row.similarity));
    origin.run();
}

void remove(SqliteConnection& db, SqliteHistoryReader& reader, SqliteVersionLog& log, std::int64_t id, double now,
            bool keepVersions)
{
    const std::optional<CurrentRow> row = reader.rowById(id);
    if (!row)
        throw StorageError("release undo: row " + std::to_string(id) + " is gone");
    if (keepVersions) {
        const std::int64_t version = log.record(row->language, id, row->lastVersion, ChangeType::Delete, row->status,
                                                {}, std::string_view(row->destination), now, now);
        log.recordDeletedKey(version, {row->language, row->program, row->component, row->source});
    }
    auto st = db.prepare("DELETE FROM TRADUCAO WHERE IDTRADUCAO = ?");
    st.bind(1, id);
    st.run();
}

} // namespace

bool present(SqliteConnection& db)
{
    auto st = db.prepare("SELECT COUNT(*) FROM pragma_table_info('TRADUCAO') WHERE name = 'FLOBSOLETA'");
    st.step();
    return st.integer(0) > 0;
}

bool complete(SqliteConnection& db)
{
    if (!present(db))
        return false;
    auto st = db.prepare("SELECT COUNT(*) FROM sqlite_schema WHERE name IN ('TRADUCAO_ANTERIOR', 'TRADUCAO_OBSOLETA')");
    st.step();
    return st.integer(0) == 2;
}

void ensureSchema(SqliteConnection& db)
{
    // Adding a column with a constant default rewrites no row: existing rows
    // read it as live.
    if (!present(db))
        db.exec("ALTER TABLE TRADUCAO ADD COLUMN FLOBSOLETA INTEGER NOT NULL DEFAULT 0");
    db.exec(schema::render(releaserows::SchemaDefinition, schema::Sqlite).c_str());
}

const char* liveCondition(bool present)
{
    return present ? " AND FLOBSOLETA = 0" : "";
}

void readRows(SqliteConnection& db, const std::string& language, const ReleaseRowVisitor& visit)
{
    auto st = db.prepare(releaserows::rowsSelect("?"));
    st.bind(1, language);
    while (st.step())
        visit(releaserows::readRow(st));
}

void selectPreviousSources(SqliteConnection& db, const std::string& language, std::int64_t batch,
                           const PreviousSourceVisitor& visit)
{
    auto st = db.prepare(releaserows::previousSourcesSelect("?", batch != 0 ? "?" : nullptr));
    st.bind(1, language);
    if (batch != 0)
        st.bind(2, batch);
    while (st.step())
        visit(releaserows::readPreviousSource(st));
}

void selectObsoleteRows(SqliteConnection& db, const std::string& language, const ObsoleteRowVisitor& visit)
{
    auto st = db.prepare(releaserows::obsoleteRowsSelect("?"));
    st.bind(1, language);
    while (st.step())
        visit(releaserows::readObsoleteRow(st));
}

std::int64_t countObsolete(SqliteConnection& db, const std::string& sqlConditions,
                           const std::function<void(SqliteStatement&)>& bind)
{
    auto st = db.prepare("SELECT COUNT(*) FROM TRADUCAO WHERE IDIDIOMA = ?" + sqlConditions + " AND FLOBSOLETA <> 0");
    bind(st);
    st.step();
    return st.integer(0);
}

void write(SqliteConnection& db, SqliteHistoryReader& reader, SqliteVersionLog& log, const ReleaseWrite& w, double now,
           bool keepVersions)
{
    for (const ReleaseInsert& row : w.inserts)
        insert(db, log, w.language, row, now, keepVersions);
    for (const std::int64_t id : w.revive)
        setFlag(db, log, w.language, id, false, now, keepVersions);
    for (const std::int64_t id : w.obsolete)
        setFlag(db, log, w.language, id, true, now, keepVersions);
    for (const std::int64_t id : w.remove)
        remove(db, reader, log, id, now, keepVersions);
}

} // namespace trd::server::sqliterelease
