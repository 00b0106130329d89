#include "PostgresStorage.h"

#include "ListedRowsCollector.h"
#include "PostgresConnection.h"

#include <algorithm>
#include <charconv>

namespace trd::server {

namespace {

// Key columns compare bytewise (COLLATE "C"), as in SQLite, so equality and
// order agree on both back ends. A B-tree entry cannot hold a 4000-character
// source text, so uniqueness goes through its md5.
const char* const SchemaSql = R"SQL(
CREATE TABLE IF NOT EXISTS IDIOMA (
    IDIDIOMA VARCHAR(3) COLLATE "C" NOT NULL PRIMARY KEY,
    DSIDIOMA VARCHAR(30) NOT NULL DEFAULT '',
    IDIPROP  VARCHAR(3) NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS TRADUCAO (
    IDTRADUCAO    BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    IDIDIOMA      VARCHAR(3) COLLATE "C" NOT NULL REFERENCES IDIOMA (IDIDIOMA),
    CDPROGTRAD    VARCHAR(20) COLLATE "C" NOT NULL,
    NMCOMPONENTE  VARCHAR(50) COLLATE "C" NOT NULL,
    STAGRVALPROP  VARCHAR(4000) COLLATE "C" NOT NULL,
    STVALORPROP   VARCHAR(4000) COLLATE "C" NOT NULL DEFAULT '',
    IDSITTRADUCAO CHAR(1) NOT NULL CHECK (IDSITTRADUCAO IN ('T', 'D', 'N')),
    DTALTERACAO   DOUBLE PRECISION NOT NULL
);
CREATE UNIQUE INDEX IF NOT EXISTS TRADUCAO_CHAVE
    ON TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, md5(STAGRVALPROP));
CREATE INDEX IF NOT EXISTS TRADUCAO_SITUACAO ON TRADUCAO (IDIDIOMA, IDSITTRADUCAO, DTALTERACAO);
CREATE INDEX IF NOT EXISTS TRADUCAO_DATA ON TRADUCAO (IDIDIOMA, DTALTERACAO);
CREATE OR REPLACE FUNCTION trd_upper(text) RETURNS text
    LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE
    AS $$ SELECT translate($1,
        'abcdefghijklmnopqrstuvwxyzàáâãäåæçèéêëìíîïðñòóôõöøùúûüýþšœžÿ',
        'ABCDEFGHIJKLMNOPQRSTUVWXYZÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞŠŒŽŸ') $$;
CREATE OR REPLACE FUNCTION trd_like(text, text) RETURNS boolean
    LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE
    AS $$ SELECT $1 COLLATE "C" LIKE $2 ESCAPE '' $$;
CREATE OR REPLACE FUNCTION trd_ulike(text, text) RETURNS boolean
    LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE
    AS $$ SELECT trd_upper($1) COLLATE "C" LIKE $2 ESCAPE '' $$;
)SQL";

const char* const RowColumns =
    "STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, IDIDIOMA, NMCOMPONENTE, CDPROGTRAD, DTALTERACAO";

std::string number(double value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

// Appends "$n" placeholders and their values for the status and date bounds.
void appendStatusAndDates(std::string& sql, PostgresConnection::Params& params, std::string_view statuses,
                          const DateBounds& dates)
{
    if (statuses.size() < 3) {
        sql += " AND IDSITTRADUCAO IN (";
        for (std::size_t i = 0; i < statuses.size(); ++i) {
            params.emplace_back(statuses.substr(i, 1));
            sql += (i ? ",$" : "$") + std::to_string(params.size());
        }
        sql += ')';
    }
    if (dates.from) {
        params.push_back(number(*dates.from));
        sql += " AND DTALTERACAO >= $" + std::to_string(params.size());
    }
    if (dates.until) {
        params.push_back(number(*dates.until));
        sql += " AND DTALTERACAO < $" + std::to_string(params.size());
    }
}

// A text[] literal for one bound parameter: every element quoted, with
// backslashes and quotes escaped.
std::string textArray(const std::vector<const std::string*>& values)
{
    std::string out = "{";
    for (const std::string* v : values) {
        if (out.size() > 1)
            out += ',';
        out += '"';
        for (const char c : *v) {
            if (c == '"' || c == '\\')
                out += '\\';
            out += c;
        }
        out += '"';
    }
    out += '}';
    return out;
}

class PostgresSession : public StorageSession {
public:
    PostgresSession(const std::string& conninfo, PostgresTimeouts timeouts, PostgresLink& link)
        : m_db(conninfo, timeouts, &link) {}

    std::vector<Language> languages() override
    {
        std::vector<Language> result;
        m_db.run("SELECT IDIDIOMA, DSIDIOMA, IDIPROP FROM IDIOMA ORDER BY IDIDIOMA", {},
                 [&](const PostgresConnection::Row& r) {
                     result.push_back({std::string(r.text(0)), std::string(r.text(1)), std::string(r.text(2))});
                 });
        return result;
    }

    void selectRows(const RowSelection& sel, const RowVisitor& visit) override
    {
        if (sel.statuses.empty())
            return;
        PostgresConnection::Params params{sel.language};
        std::string sql = std::string("SELECT ") + RowColumns + " FROM TRADUCAO WHERE IDIDIOMA = $1";
        appendStatusAndDates(sql, params, sel.statuses, sel.dates);
        for (const auto& cond : sel.conditions) {
            params.push_back(cond.literal);
            const std::string col = columnName(cond.column);
            const std::string ph = "$" + std::to_string(params.size());
            if (cond.op == FilterOperator::Equal)
                sql += cond.upper ? " AND trd_upper(" + col + ") = " + ph : " AND " + col + " = " + ph;
            else
                sql += (cond.upper ? " AND trd_ulike(" : " AND trd_like(") + col + ", " + ph + ")";
        }
        sql += " ORDER BY CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP";
        m_db.run(sql, params, [&](const PostgresConnection::Row& r) { visit(readRowView(r, 0)); });
    }

    void selectListedRows(const std::string& language, const std::vector<ListedKey>& keys,
                          const RowVisitor& visit) override
    {
        ListedRowsCollector found;
        m_db.run(std::string("SELECT IDTRADUCAO, ") + RowColumns
                     + " FROM json_array_elements($2::json) AS L CROSS JOIN LATERAL ("
                       "SELECT * FROM TRADUCAO WHERE IDIDIOMA = $1 AND CDPROGTRAD = L.value->>0"
                       " AND NMCOMPONENTE = L.value->>1 AND (json_array_length(L.value) < 3"
                       " OR (md5(STAGRVALPROP) = md5(L.value->>2) AND STAGRVALPROP = L.value->>2))) AS T",
                 PostgresConnection::Params{language, listedKeysJson(keys)},
                 [&](const PostgresConnection::Row& r) { found.add(r.integer(0), readRowView(r, 1)); });
        found.visitSorted(language, visit);
    }

    void selectInfoRows(const std::string& language, const DateBounds& dates, const InfoVisitor& visit) override
    {
        PostgresConnection::Params params{language};
        std::string sql = "SELECT IDSITTRADUCAO, STVALORPROP FROM TRADUCAO WHERE IDIDIOMA = $1";
        appendStatusAndDates(sql, params, "TDN", dates);
        m_db.run(sql, params, [&](const PostgresConnection::Row& r) { visit(r.text(0), r.text(1)); });
    }

    std::int64_t countRows(const std::string& language, std::string_view statuses, const DateBounds& dates) override
    {
        if (statuses.empty())
            return 0;
        PostgresConnection::Params params{language};
        std::string sql = "SELECT COUNT(*) FROM TRADUCAO WHERE IDIDIOMA = $1";
        appendStatusAndDates(sql, params, statuses, dates);
        std::int64_t count = 0;
        m_db.run(sql, params, [&](const PostgresConnection::Row& r) { count = r.integer(0); });
        return count;
    }

    // Answers, and no one holds a lock on the tables that would make saves
    // wait (an outside LOCK TABLE, a CREATE INDEX): told at once rather than
    // after the lock timeout.
    void ping() override
    {
        bool blocked = false;
        m_db.run("SELECT EXISTS (SELECT 1 FROM pg_locks WHERE granted AND pid <> pg_backend_pid() AND relation IN "
                 "('traducao'::regclass, 'idioma'::regclass) AND mode IN ('ShareLock', 'ShareRowExclusiveLock', "
                 "'ExclusiveLock', 'AccessExclusiveLock'))",
                 {}, [&](const PostgresConnection::Row& r) { blocked = r.text(0) == "t"; });
        if (blocked)
            throw PostgresError("55P03", "tabela bloqueada por outra sessão");
    }

private:
    PostgresConnection m_db;
};

class PostgresWriter : public StorageWriter {
public:
    PostgresWriter(const std::string& conninfo, PostgresTimeouts timeouts, PostgresLink& link)
        : m_db(conninfo, timeouts, &link) {}

    void beginBatch() override { m_db.exec("BEGIN ISOLATION LEVEL READ COMMITTED"); }
    void beginItem() override { m_db.exec("SAVEPOINT delta"); }
    void endItem(bool keep) override
    {
        if (!keep)
            m_db.exec("ROLLBACK TO SAVEPOINT delta");
        m_db.exec("RELEASE SAVEPOINT delta");
    }
    void commitBatch() override
    {
        try {
            m_db.exec("COMMIT");
        } catch (const PostgresError& e) {
            // The connection went while COMMIT was on its way or its answer
            // was: the database may have committed. Anything else it answered
            // is a refusal, and nothing was committed.
            const std::string& state = e.sqlState();
            if (state.rfind("08", 0) == 0 || state == "57P01" || state == "57P02" || state == "57P03")
                throw outcomeUnknown(std::string("COMMIT: ") + e.what());
            throw;
        }
    }
    void rollbackBatch() override { m_db.exec("ROLLBACK"); }

    // Takes the row locks of a whole batch in one statement, in the order of
    // the surrogate key, before any delta is applied: two servers saving the
    // same rows then queue behind each other instead of each holding one row
    // the other wants.
    void lockRows(const std::vector<const RowKey*>& keys) override
    {
        if (keys.empty())
            return;
        std::vector<const std::string*> languages, programs, components, sources;
        for (const RowKey* k : keys) {
            languages.push_back(&k->language);
            programs.push_back(&k->program);
            components.push_back(&k->component);
            sources.push_back(&k->source);
        }
        m_db.run("SELECT t.IDTRADUCAO FROM TRADUCAO t JOIN unnest($1::text[], $2::text[], $3::text[], $4::text[]) "
                 "AS k(l, p, c, s) ON t.IDIDIOMA = k.l AND t.CDPROGTRAD = k.p AND t.NMCOMPONENTE = k.c "
                 "AND md5(t.STAGRVALPROP) = md5(k.s) AND t.STAGRVALPROP = k.s ORDER BY t.IDTRADUCAO FOR UPDATE OF t",
                 {textArray(languages), textArray(programs), textArray(components), textArray(sources)});
    }

    void apply(const RowChange& change, double now) override
    {
        if (change.kind == RowChange::Kind::Insert) {
            write("INSERT INTO TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, "
                  "IDSITTRADUCAO, DTALTERACAO) VALUES ($1, $2, $3, $4, $5, $6, $7)",
                  change.updated, now, {});
            return;
        }
        // FOR UPDATE: another server sharing the database waits here, then
        // sees this delta's result, so the check and the write stay one step.
        long long id = -1;
        std::string destination, status;
        m_db.run("SELECT IDTRADUCAO, STVALORPROP, IDSITTRADUCAO FROM TRADUCAO WHERE IDIDIOMA = $1 AND "
                 "CDPROGTRAD = $2 AND NMCOMPONENTE = $3 AND md5(STAGRVALPROP) = md5($4) AND STAGRVALPROP = $4 "
                 "FOR UPDATE",
                 {change.original.language, change.original.program, change.original.component,
                  change.original.source},
                 [&](const PostgresConnection::Row& r) {
                     id = r.integer(0);
                     destination = r.text(1);
                     status = r.text(2);
                 });
        if (id < 0 || destination != change.originalDestination || status != change.originalStatus)
            throw ServerError(ErrorKind::Conflict,
                              "O registro foi alterado por outro usuário (Tela: " + change.original.program
                                  + ", Componente: " + change.original.component
                                  + "). Recarregue os registros e refaça a alteração.");
        if (change.kind == RowChange::Kind::Delete) {
            m_db.run("DELETE FROM TRADUCAO WHERE IDTRADUCAO = $1", {std::to_string(id)});
            return;
        }
        write("UPDATE TRADUCAO SET IDIDIOMA = $1, CDPROGTRAD = $2, NMCOMPONENTE = $3, STAGRVALPROP = $4, "
              "STVALORPROP = $5, IDSITTRADUCAO = $6, DTALTERACAO = $7 WHERE IDTRADUCAO = $8",
              change.updated, now, std::to_string(id));
    }

    void putLanguage(const Language& language) override
    {
        m_db.run("INSERT INTO IDIOMA (IDIDIOMA, DSIDIOMA, IDIPROP) VALUES ($1, $2, $3) ON CONFLICT (IDIDIOMA) "
                 "DO UPDATE SET DSIDIOMA = excluded.DSIDIOMA, IDIPROP = excluded.IDIPROP",
                 {language.code, language.description, language.prop});
    }

    void insertRow(const TranslationRow& row, double now) override
    {
        write("INSERT INTO TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, "
              "IDSITTRADUCAO, DTALTERACAO) VALUES ($1, $2, $3, $4, $5, $6, $7) "
              "ON CONFLICT (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, md5(STAGRVALPROP)) DO UPDATE SET "
              "STVALORPROP = excluded.STVALORPROP, IDSITTRADUCAO = excluded.IDSITTRADUCAO, "
              "DTALTERACAO = excluded.DTALTERACAO",
              row, row.changed.value_or(now), {});
    }

private:
    void write(const char* sql, const TranslationRow& row, double now, std::string id)
    {
        PostgresConnection::Params params{row.key.language, row.key.program, row.key.component, row.key.source,
                                          row.destination,  row.status,      number(now)};
        if (!id.empty())
            params.push_back(std::move(id));
        try {
            m_db.run(sql, params);
        } catch (const PostgresError& e) {
            if (e.sqlState() == "23503")
                throw ServerError(ErrorKind::Conflict, "Idioma não cadastrado: " + row.key.language + ".");
            if (e.sqlState() == "23505")
                throw ServerError(ErrorKind::Conflict, "Já existe uma tradução para o idioma " + row.key.language
                                                           + ", tela " + row.key.program + ", componente "
                                                           + row.key.component + " com este texto de origem.");
            if (e.sqlState().rfind("23", 0) == 0)
                badArgument("Registro inválido (Tela: " + row.key.program + ", Componente: "
                            + row.key.component + "): o banco de dados recusou os valores.");
            throw;
        }
    }

    PostgresConnection m_db;
};

} // namespace

PostgresStorage::PostgresStorage(std::string conninfo, PostgresTimeouts timeouts)
    : m_conninfo(std::move(conninfo)), m_timeouts(timeouts)
{
    PostgresConnection db(m_conninfo, m_timeouts);
    // Several servers may start at once against one database.
    db.exec("BEGIN; SELECT pg_advisory_xact_lock(930093);");
    db.exec(SchemaSql);
    db.exec("COMMIT");
}

std::unique_ptr<StorageSession> PostgresStorage::openSession()
{
    return std::make_unique<PostgresSession>(m_conninfo, m_timeouts, m_link);
}

std::unique_ptr<StorageWriter> PostgresStorage::openWriter()
{
    return std::make_unique<PostgresWriter>(m_conninfo, m_timeouts, m_link);
}

bool PostgresStorage::isEmpty()
{
    PostgresConnection db(m_conninfo, m_timeouts);
    bool empty = true;
    db.run("SELECT NOT (EXISTS (SELECT 1 FROM IDIOMA) OR EXISTS (SELECT 1 FROM TRADUCAO))", {},
           [&](const PostgresConnection::Row& r) { empty = r.text(0) == "t"; });
    return empty;
}

} // namespace trd::server
