#include "SqliteHistoryIds.h"

#include <string>
#include <vector>

namespace trd::server {

namespace sqlitehistory {

const char* const HighestIdsSql = R"SQL(
CREATE TABLE HISTORICO_LIMPEZA (
    IDLOTEMAX   INTEGER NOT NULL,
    IDVERSAOMAX INTEGER NOT NULL
);
INSERT INTO HISTORICO_LIMPEZA (IDLOTEMAX, IDVERSAOMAX) VALUES (0, 0);
)SQL";

namespace {

bool hasHighestIds(SqliteConnection& db)
{
    return sqlite3_table_column_metadata(db.handle(), "main", "HISTORICO_LIMPEZA", nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr)
        == SQLITE_OK;
}

std::int64_t converted(SqliteConnection& db, const std::string& table)
{
    std::string create;
    std::vector<std::string> indexes;
    {
        auto st = db.prepare("SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?");
        st.bind(1, table);
        if (st.step())
            create = st.text(0);
    }
    const auto keyword = create.find(" AUTOINCREMENT");
    const auto columns = create.find('(');
    if (keyword == std::string::npos || columns == std::string::npos || columns > keyword)
        throw StorageError("a tabela " + table + " não tem a forma do esquema 2");
    create.erase(keyword, std::string_view(" AUTOINCREMENT").size());
    create.replace(0, columns, "CREATE TABLE " + table + "_NOVA ");
    {
        auto st = db.prepare("SELECT sql FROM sqlite_schema WHERE type = 'index' AND tbl_name = ? AND sql IS NOT NULL");
        st.bind(1, table);
        while (st.step())
            indexes.emplace_back(st.text(0));
    }
    db.exec(create.c_str());
    db.exec(("INSERT INTO " + table + "_NOVA SELECT * FROM " + table).c_str());
    const std::int64_t rows = sqlite3_changes64(db.handle());
    // Dropping the table drops its indexes and its line in sqlite_sequence.
    db.exec(("DROP TABLE " + table).c_str());
    db.exec(("ALTER TABLE " + table + "_NOVA RENAME TO " + table).c_str());
    for (const std::string& index : indexes)
        db.exec(index.c_str());
    return rows;
}

} // namespace

std::int64_t newestVersionEver(SqliteConnection& db)
{
    // Each subquery is one step down a primary key.
    auto st = db.prepare(hasHighestIds(db) ? "SELECT MAX(COALESCE((SELECT MAX(IDVERSAO) FROM VERSAO), 0), "
                                             "COALESCE((SELECT MAX(IDVERSAOMAX) FROM HISTORICO_LIMPEZA), 0))"
                                           // A database of schema 2 served --read-only, left as it was.
                                           : "SELECT MAX(COALESCE((SELECT MAX(IDVERSAO) FROM VERSAO), 0), "
                                             "COALESCE((SELECT seq FROM sqlite_sequence WHERE name = 'VERSAO'), 0))");
    return st.step() ? st.integer(0) : 0;
}

void keepHighestIds(SqliteConnection& db)
{
    auto st = db.prepare("UPDATE HISTORICO_LIMPEZA SET "
                         "IDLOTEMAX = MAX(IDLOTEMAX, COALESCE((SELECT MAX(IDLOTE) FROM LOTE), 0)), "
                         "IDVERSAOMAX = MAX(IDVERSAOMAX, COALESCE((SELECT MAX(IDVERSAO) FROM VERSAO), 0))");
    st.run();
    if (sqlite3_changes(db.handle()) == 0) {
        auto add = db.prepare("INSERT INTO HISTORICO_LIMPEZA (IDLOTEMAX, IDVERSAOMAX) VALUES "
                              "(COALESCE((SELECT MAX(IDLOTE) FROM LOTE), 0), "
                              "COALESCE((SELECT MAX(IDVERSAO) FROM VERSAO), 0))");
        add.run();
    }
}

Converted convertAutoincrement(SqliteConnection& db)
{
    // sqlite_sequence holds the highest ids ever given, pruned ones included;
    // it loses a table's line when the table is dropped, so it is read first.
    db.exec(HighestIdsSql);
    db.exec("UPDATE HISTORICO_LIMPEZA SET "
            "IDLOTEMAX = COALESCE((SELECT seq FROM sqlite_sequence WHERE name = 'LOTE'), 0), "
            "IDVERSAOMAX = COALESCE((SELECT seq FROM sqlite_sequence WHERE name = 'VERSAO'), 0)");
    Converted out;
    out.batches = converted(db, "LOTE");
    out.versions = converted(db, "VERSAO");
    return out;
}

} // namespace sqlitehistory

std::int64_t SqliteHistoryIds::dataVersion()
{
    auto st = m_db.prepare("PRAGMA data_version");
    st.step();
    return st.integer(0);
}

void SqliteHistoryIds::load()
{
    if (m_known && !m_checked) {
        // Another connection's commit changes it, this one's do not.
        m_known = dataVersion() == m_seen;
        m_checked = true;
    }
    if (m_known)
        return;
    m_seen = dataVersion();
    m_checked = true;
    auto st = m_db.prepare("SELECT MAX(COALESCE((SELECT MAX(IDLOTE) FROM LOTE), 0), "
                           "COALESCE((SELECT MAX(IDLOTEMAX) FROM HISTORICO_LIMPEZA), 0)), "
                           "MAX(COALESCE((SELECT MAX(IDVERSAO) FROM VERSAO), 0), "
                           "COALESCE((SELECT MAX(IDVERSAOMAX) FROM HISTORICO_LIMPEZA), 0))");
    st.step();
    m_batch = st.integer(0);
    m_version = st.integer(1);
    m_known = true;
}

} // namespace trd::server
