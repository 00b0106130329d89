#include "SqliteStorage.h"

#include "ListedRowsCollector.h"
#include "RpcError.h"
#include "SqliteCheckpointer.h"
#include "SqliteConnection.h"

#include <algorithm>

namespace trd::server {

namespace {

constexpr int SchemaVersion = 1;

const char* const SchemaSql = R"SQL(
CREATE TABLE IF NOT EXISTS IDIOMA (
    IDIDIOMA TEXT NOT NULL PRIMARY KEY,
    DSIDIOMA TEXT NOT NULL DEFAULT '',
    IDIPROP  TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS TRADUCAO (
    IDTRADUCAO    INTEGER PRIMARY KEY,
    IDIDIOMA      TEXT NOT NULL REFERENCES IDIOMA(IDIDIOMA),
    CDPROGTRAD    TEXT NOT NULL,
    NMCOMPONENTE  TEXT NOT NULL,
    STAGRVALPROP  TEXT NOT NULL,
    STVALORPROP   TEXT NOT NULL DEFAULT '',
    IDSITTRADUCAO TEXT NOT NULL CHECK (IDSITTRADUCAO IN ('T', 'D', 'N')),
    DTALTERACAO   REAL NOT NULL
);
CREATE UNIQUE INDEX IF NOT EXISTS TRADUCAO_CHAVE
    ON TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP);
)SQL";

// Secondary indexes: built with the schema, and rebuilt after a bulk load
// into an empty table (sorting once beats inserting row by row).
const char* const SecondaryIndexSql = R"SQL(
CREATE INDEX IF NOT EXISTS TRADUCAO_SITUACAO
    ON TRADUCAO (IDIDIOMA, IDSITTRADUCAO, DTALTERACAO);
CREATE INDEX IF NOT EXISTS TRADUCAO_DATA
    ON TRADUCAO (IDIDIOMA, DTALTERACAO);
)SQL";

const char* const RowColumns =
    "STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, IDIDIOMA, NMCOMPONENTE, CDPROGTRAD, DTALTERACAO";

// Appends the status and date conditions shared by row selections and counts,
// returning the values to bind in order.
void appendStatusAndDates(std::string& sql, std::string_view statuses, const DateBounds& dates)
{
    if (statuses.size() < 3) {
        sql += " AND IDSITTRADUCAO IN (";
        for (std::size_t i = 0; i < statuses.size(); ++i)
            sql += i ? ",?" : "?";
        sql += ')';
    }
    if (dates.from)
        sql += " AND DTALTERACAO >= ?";
    if (dates.until)
        sql += " AND DTALTERACAO < ?";
}

int bindStatusAndDates(SqliteStatement& st, int index, const std::string& statuses, const DateBounds& dates)
{
    if (statuses.size() < 3)
        for (std::size_t i = 0; i < statuses.size(); ++i)
            st.bind(index++, std::string_view(statuses).substr(i, 1));
    if (dates.from)
        st.bind(index++, *dates.from);
    if (dates.until)
        st.bind(index++, *dates.until);
    return index;
}

class SqliteSession : public StorageSession {
public:
    explicit SqliteSession(const std::string& path) : m_db(path) {}

    std::vector<Language> languages() override
    {
        std::vector<Language> result;
        auto st = m_db.prepare("SELECT IDIDIOMA, DSIDIOMA, IDIPROP FROM IDIOMA ORDER BY IDIDIOMA");
        while (st.step())
            result.push_back({std::string(st.text(0)), std::string(st.text(1)), std::string(st.text(2))});
        return result;
    }

    void selectRows(const RowSelection& sel, const RowVisitor& visit) override
    {
        if (sel.statuses.empty())
            return;   // every status argument was "X"
        std::string sql = std::string("SELECT ") + RowColumns + " FROM TRADUCAO WHERE IDIDIOMA = ?";
        appendStatusAndDates(sql, sel.statuses, sel.dates);
        for (const auto& cond : sel.conditions) {
            const std::string col = columnName(cond.column);
            if (cond.op == FilterOperator::Equal)
                sql += cond.upper ? " AND trd_upper(" + col + ") = ?" : " AND " + col + " = ?";
            else
                sql += (cond.upper ? " AND trd_ulike(" : " AND trd_like(") + col + ", ?)";
        }
        sql += " ORDER BY CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP";
        auto st = m_db.prepare(sql);
        st.bind(1, sel.language);
        int index = bindStatusAndDates(st, 2, sel.statuses, sel.dates);
        for (const auto& cond : sel.conditions)
            st.bind(index++, cond.literal);
        while (st.step())
            visit(readRowView(st, 0));
    }

    void selectListedRows(const std::string& language, const std::vector<ListedKey>& keys,
                          const RowVisitor& visit) override
    {
        ListedRowsCollector found;
        const std::string base = std::string("SELECT IDTRADUCAO, ") + RowColumns
            + " FROM TRADUCAO WHERE IDIDIOMA = ? AND CDPROGTRAD = ? AND NMCOMPONENTE = ?";
        for (const auto& key : keys) {
            auto st = m_db.prepare(key.source ? base + " AND STAGRVALPROP = ?" : base);
            st.bind(1, language).bind(2, key.program).bind(3, key.component);
            if (key.source)
                st.bind(4, *key.source);
            while (st.step())
                found.add(st.integer(0), readRowView(st, 1));
        }
        found.visitSorted(language, visit);
    }

    std::int64_t countRows(const std::string& language, std::string_view statuses, const DateBounds& dates) override
    {
        if (statuses.empty())
            return 0;
        std::string sql = "SELECT COUNT(*) FROM TRADUCAO WHERE IDIDIOMA = ?";
        appendStatusAndDates(sql, statuses, dates);
        auto st = m_db.prepare(sql);
        st.bind(1, language);
        const std::string owned(statuses);
        bindStatusAndDates(st, 2, owned, dates);
        st.step();
        return st.integer(0);
    }

    void ping() override
    {
        auto st = m_db.prepare("SELECT COUNT(*) FROM IDIOMA");
        st.step();
    }

private:
    SqliteConnection m_db;
};

class SqliteWriter : public StorageWriter {
public:
    SqliteWriter(const std::string& path, bool durable) : m_db(path, durable), m_checkpointer(path, durable)
    {
        m_checkpointer.attach(m_db.handle());
    }
    ~SqliteWriter() override { m_checkpointer.detach(m_db.handle()); }

    void beginBatch() override { m_db.exec("BEGIN IMMEDIATE"); }
    void beginItem() override { m_db.exec("SAVEPOINT delta"); }
    void endItem(bool keep) override
    {
        if (!keep)
            m_db.exec("ROLLBACK TO delta");
        m_db.exec("RELEASE delta");
    }
    void commitBatch() override { m_db.exec("COMMIT"); }
    void rollbackBatch() override
    {
        if (!sqlite3_get_autocommit(m_db.handle()))
            m_db.exec("ROLLBACK");
    }

    void apply(const RowChange& change, double now) override
    {
        if (change.kind == RowChange::Kind::Insert) {
            write("INSERT INTO TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, "
                  "IDSITTRADUCAO, DTALTERACAO) VALUES (?, ?, ?, ?, ?, ?, ?)",
                  change.updated, now, std::nullopt);
            return;
        }
        const std::int64_t id = findUnchanged(change);
        if (change.kind == RowChange::Kind::Delete) {
            auto st = m_db.prepare("DELETE FROM TRADUCAO WHERE IDTRADUCAO = ?");
            st.bind(1, id);
            st.run();
            return;
        }
        if (sameKey(change.original, change.updated.key)) {
            // The usual save (a text or a status): SQLite rewrites only the
            // indexes of the columns a statement sets, so leaving the key out
            // spares the unique index and the language check on every save.
            auto st = m_db.prepare("UPDATE TRADUCAO SET STVALORPROP = ?, IDSITTRADUCAO = ?, DTALTERACAO = ? "
                                   "WHERE IDTRADUCAO = ?");
            st.bind(1, change.updated.destination).bind(2, change.updated.status).bind(3, now).bind(4, id);
            run(st, change.updated);
            return;
        }
        write("UPDATE TRADUCAO SET IDIDIOMA = ?, CDPROGTRAD = ?, NMCOMPONENTE = ?, STAGRVALPROP = ?, "
              "STVALORPROP = ?, IDSITTRADUCAO = ?, DTALTERACAO = ? WHERE IDTRADUCAO = ?",
              change.updated, now, id);
    }

    void putLanguage(const Language& language) override
    {
        auto st = m_db.prepare("INSERT INTO IDIOMA (IDIDIOMA, DSIDIOMA, IDIPROP) VALUES (?, ?, ?) "
                               "ON CONFLICT (IDIDIOMA) DO UPDATE SET DSIDIOMA = excluded.DSIDIOMA, "
                               "IDIPROP = excluded.IDIPROP");
        st.bind(1, language.code).bind(2, language.description).bind(3, language.prop);
        st.run();
    }

    void insertRow(const TranslationRow& row, double now) override
    {
        write("INSERT INTO TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, "
              "IDSITTRADUCAO, DTALTERACAO) VALUES (?, ?, ?, ?, ?, ?, ?) "
              "ON CONFLICT (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP) DO UPDATE SET "
              "STVALORPROP = excluded.STVALORPROP, IDSITTRADUCAO = excluded.IDSITTRADUCAO, "
              "DTALTERACAO = excluded.DTALTERACAO",
              row, row.changed.value_or(now), std::nullopt);
    }

    void beginBulkLoad() override
    {
        {
            auto st = m_db.prepare("SELECT NOT EXISTS (SELECT 1 FROM TRADUCAO)");
            st.step();
            m_bulk = st.integer(0) != 0;
        }
        if (m_bulk)
            m_db.exec("DROP INDEX IF EXISTS TRADUCAO_SITUACAO; DROP INDEX IF EXISTS TRADUCAO_DATA;");
    }

    void endBulkLoad() override
    {
        if (m_bulk)
            m_db.exec(SecondaryIndexSql);
        m_bulk = false;
    }

private:
    [[noreturn]] static void changedByOther(const RowChange& change)
    {
        throw RpcError(rpc::Refused,
                       "O registro foi alterado por outro usuário (Tela: " + change.original.program
                           + ", Componente: " + change.original.component
                           + "). Recarregue os registros e refaça a alteração.");
    }

    static bool sameKey(const RowKey& a, const RowKey& b)
    {
        return a.language == b.language && a.program == b.program && a.component == b.component
            && a.source == b.source;
    }

    // The row as the client last saw it: found by its original key, with its
    // original destination text and status still in place.
    std::int64_t findUnchanged(const RowChange& change)
    {
        auto st = m_db.prepare("SELECT IDTRADUCAO, STVALORPROP, IDSITTRADUCAO FROM TRADUCAO "
                               "WHERE IDIDIOMA = ? AND CDPROGTRAD = ? AND NMCOMPONENTE = ? AND STAGRVALPROP = ?");
        st.bind(1, change.original.language).bind(2, change.original.program);
        st.bind(3, change.original.component).bind(4, change.original.source);
        if (!st.step() || st.text(1) != change.originalDestination || st.text(2) != change.originalStatus)
            changedByOther(change);
        return st.integer(0);
    }

    void write(const char* sql, const TranslationRow& row, double now, std::optional<std::int64_t> id)
    {
        auto st = m_db.prepare(sql);
        st.bind(1, row.key.language).bind(2, row.key.program).bind(3, row.key.component);
        st.bind(4, row.key.source).bind(5, row.destination).bind(6, row.status).bind(7, now);
        if (id)
            st.bind(8, *id);
        run(st, row);
    }

    // Runs a write, telling the client in its terms why the database refused it.
    static void run(SqliteStatement& st, const TranslationRow& row)
    {
        try {
            st.run();
        } catch (const SqliteError& e) {
            if (e.code() == SQLITE_CONSTRAINT_FOREIGNKEY)
                throw RpcError(rpc::Refused, "Idioma não cadastrado: " + row.key.language + ".");
            if (e.code() == SQLITE_CONSTRAINT_UNIQUE)
                throw RpcError(rpc::Refused, "Já existe uma tradução para o idioma " + row.key.language
                                                 + ", tela " + row.key.program + ", componente "
                                                 + row.key.component + " com este texto de origem.");
            if (e.isConstraint())
                throw RpcError(rpc::InvalidParams, std::string("Registro inválido: ") + e.what() + ".");
            throw;
        }
    }

    SqliteConnection m_db;
    SqliteCheckpointer m_checkpointer;
    bool m_bulk = false;
};

} // namespace

SqliteStorage::SqliteStorage(std::string path) : m_path(std::move(path))
{
    SqliteConnection db(m_path);
    std::int64_t found = 0;
    {
        auto version = db.prepare("PRAGMA user_version");
        version.step();
        found = version.integer(0);
    }
    if (found > SchemaVersion)
        throw SqliteError(SQLITE_ERROR, "o banco " + m_path + " tem um esquema mais novo (versão "
                                            + std::to_string(found) + ") que este servidor");
    if (found < SchemaVersion) {
        db.exec("BEGIN IMMEDIATE");
        db.exec(SchemaSql);
        db.exec(SecondaryIndexSql);
        db.exec(("PRAGMA user_version=" + std::to_string(SchemaVersion)).c_str());
        db.exec("COMMIT");
    }
}

SqliteStorage::SqliteStorage(std::string path, NotDurable) : SqliteStorage(std::move(path))
{
    m_durable = false;
}

std::unique_ptr<StorageSession> SqliteStorage::openSession()
{
    return std::make_unique<SqliteSession>(m_path);
}

std::unique_ptr<StorageWriter> SqliteStorage::openWriter()
{
    return std::make_unique<SqliteWriter>(m_path, m_durable);
}

bool SqliteStorage::isEmpty()
{
    SqliteConnection db(m_path);
    auto st = db.prepare("SELECT EXISTS (SELECT 1 FROM IDIOMA) OR EXISTS (SELECT 1 FROM TRADUCAO)");
    st.step();
    return st.integer(0) == 0;
}

} // namespace trd::server
