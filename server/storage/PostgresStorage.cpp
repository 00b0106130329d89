#include "PostgresStorage.h"

#include "ChangeReading.h"
#include "IdList.h"
#include "PostgresBatchWrite.h"
#include "PostgresBulkLoad.h"
#include "ListedRowsCollector.h"
#include "PostgresConnection.h"
#include "PostgresHistory.h"
#include "PostgresReview.h"
#include "PostgresGlossary.h"
#include "ReviewRules.h"
#include "ReviewStore.h"
#include "PostgresRelease.h"
#include "PostgresRowWatcher.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <optional>
#include <utility>

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
CREATE OR REPLACE FUNCTION trd_aviso_alteracao() RETURNS trigger
    LANGUAGE plpgsql AS $$
BEGIN
    IF current_setting('trd.carga_em_massa', true) = 'on' THEN
        RETURN NULL;
    END IF;
    IF TG_OP = 'DELETE' THEN
        PERFORM pg_notify('trd_alteracao', OLD.IDTRADUCAO::text);
    ELSE
        PERFORM pg_notify('trd_alteracao', NEW.IDTRADUCAO::text);
    END IF;
    RETURN NULL;
END $$;
CREATE OR REPLACE TRIGGER TRADUCAO_AVISO AFTER INSERT OR UPDATE OR DELETE ON TRADUCAO
    FOR EACH ROW WHEN (current_setting('trd.carga_em_massa', true) IS DISTINCT FROM 'on')
    EXECUTE FUNCTION trd_aviso_alteracao();
)SQL";

// The indexes of TRADUCAO, built once at the end of a load into an empty
// table rather than entry by entry (as on SQLite); the key's first when a row
// of the load has to be looked up by its key.
const char* const KeyIndexSql = R"SQL(
CREATE UNIQUE INDEX IF NOT EXISTS TRADUCAO_CHAVE
    ON TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, md5(STAGRVALPROP));
)SQL";
const char* const SecondaryIndexSql = R"SQL(
CREATE INDEX IF NOT EXISTS TRADUCAO_SITUACAO ON TRADUCAO (IDIDIOMA, IDSITTRADUCAO, DTALTERACAO);
CREATE INDEX IF NOT EXISTS TRADUCAO_DATA ON TRADUCAO (IDIDIOMA, DTALTERACAO);
)SQL";

// Into an empty table a load checks its rows' language once, as a set, when
// the constraint is added back, instead of with one look-up a row; each
// chunk makes sure of its languages first (PostgresBulkLoad.h).
const char* const DropLanguageKeySql = "ALTER TABLE TRADUCAO DROP CONSTRAINT IF EXISTS traducao_ididioma_fkey";
const char* const LanguageKeySql =
    "ALTER TABLE TRADUCAO ADD CONSTRAINT traducao_ididioma_fkey FOREIGN KEY (IDIDIOMA) REFERENCES IDIOMA (IDIDIOMA)";

const char* const RowColumns =
    "STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, IDIDIOMA, NMCOMPONENTE, CDPROGTRAD, DTALTERACAO";

// Every read of the module's rows leaves obsolete ones out (docs/releases.md).
const char* const LiveOnly = " AND FLOBSOLETA = 0";

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
        : m_db(conninfo, timeouts, &link), m_history(m_db)
    {
    }

    HistoryReader& history() override { return m_history; }

    ChangeWindow readChanges(const ChangeQuery& query) override { return changereading::readPostgres(m_db, query); }

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
        std::string sql = std::string("SELECT ") + RowColumns + pgreview::MarkColumns + " FROM TRADUCAO t"
            + pgreview::MarkJoin + " WHERE IDIDIOMA = $1" + (sel.obsolete ? " AND FLOBSOLETA <> 0" : LiveOnly);
        appendStatusAndDates(sql, params, sel.statuses, sel.dates);
        if (sel.reviewed)
            sql += *sel.reviewed ? " AND r.IDTRADUCAO IS NOT NULL" : " AND r.IDTRADUCAO IS NULL";
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
        m_db.run(sql, params, [&](const PostgresConnection::Row& r) { visit(withMark(readRowView(r, 0), r, 7)); });
    }

    void selectListedRows(const std::string& language, const std::vector<ListedKey>& keys,
                          const RowVisitor& visit) override
    {
        ListedRowsCollector found;
        m_db.run(std::string("SELECT t.IDTRADUCAO, ") + RowColumns + pgreview::MarkColumns
                     + " FROM json_array_elements($2::json) AS L CROSS JOIN LATERAL ("
                       "SELECT * FROM TRADUCAO WHERE IDIDIOMA = $1 AND FLOBSOLETA = 0 AND CDPROGTRAD = L.value->>0"
                       " AND NMCOMPONENTE = L.value->>1 AND (json_array_length(L.value) < 3"
                       " OR (md5(STAGRVALPROP) = md5(L.value->>2) AND STAGRVALPROP = L.value->>2))) AS t"
                     + pgreview::MarkJoin,
                 PostgresConnection::Params{language, listedKeysJson(keys)},
                 [&](const PostgresConnection::Row& r) { found.add(r.integer(0), withMark(readRowView(r, 1), r, 8)); });
        found.visitSorted(language, visit);
    }

    void selectInfoRows(const std::string& language, const DateBounds& dates, const InfoVisitor& visit) override
    {
        PostgresConnection::Params params{language};
        std::string sql = std::string("SELECT IDSITTRADUCAO, STVALORPROP FROM TRADUCAO WHERE IDIDIOMA = $1") + LiveOnly;
        appendStatusAndDates(sql, params, "TDN", dates);
        m_db.run(sql, params, [&](const PostgresConnection::Row& r) { visit(r.text(0), r.text(1)); });
    }

    std::int64_t countRows(const std::string& language, std::string_view statuses, const DateBounds& dates) override
    {
        if (statuses.empty())
            return 0;
        PostgresConnection::Params params{language};
        std::string conditions;
        appendStatusAndDates(conditions, params, statuses, dates);
        // The whole count less the obsolete rows' (a partial index of their
        // own): a filter on the flag would read every row of the table.
        std::int64_t count = 0;
        m_db.run("SELECT (SELECT COUNT(*) FROM TRADUCAO WHERE IDIDIOMA = $1" + conditions
                     + ") - (SELECT COUNT(*) FROM TRADUCAO WHERE IDIDIOMA = $1" + conditions + " AND FLOBSOLETA <> 0)",
                 params, [&](const PostgresConnection::Row& r) { count = r.integer(0); });
        return count;
    }

    std::vector<std::pair<std::string, ReviewSettings>> reviewSettings() override
    {
        return reviewstore::settings(m_statements);
    }

    StatementDb* glossary() override { return &m_statements; }

    std::vector<ReviewCount> countReviewed(const std::string& language, const DateBounds& dates) override
    {
        std::vector<ReviewCount> counts = {{'T', 0, 0}, {'D', 0, 0}, {'N', 0, 0}};
        PostgresConnection::Params params{language};
        std::string sql = std::string("SELECT IDSITTRADUCAO, COUNT(*), COUNT(r.IDTRADUCAO) FROM TRADUCAO t")
            + pgreview::MarkJoin + " WHERE IDIDIOMA = $1" + LiveOnly;
        appendStatusAndDates(sql, params, "TDN", dates);
        sql += " GROUP BY IDSITTRADUCAO";
        m_db.run(sql, params, [&](const PostgresConnection::Row& r) {
            for (ReviewCount& c : counts)
                if (r.text(0) == std::string_view(&c.status, 1)) {
                    c.rows = r.integer(1);
                    c.reviewed = r.integer(2);
                }
        });
        return counts;
    }

    std::optional<ReviewMark> reviewMark(const RowKey& row) override
    {
        std::optional<ReviewMark> mark;
        m_db.run(std::string("SELECT r.NMREVISOR, r.DTREVISAO FROM TRADUCAO t") + pgreview::MarkJoin
                     + " WHERE IDIDIOMA = $1 AND CDPROGTRAD = $2 AND NMCOMPONENTE = $3 AND md5(STAGRVALPROP) = md5($4)"
                       " AND STAGRVALPROP = $4 AND r.IDTRADUCAO IS NOT NULL",
                 {row.language, row.program, row.component, row.source}, [&](const PostgresConnection::Row& r) {
                     mark = ReviewMark{std::string(r.text(0)), r.real(1)};
                 });
        return mark;
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

    void scanRows(const KeyedRowVisitor& visit) override
    {
        m_db.run(std::string("SELECT IDTRADUCAO, ") + RowColumns + ", FLOBSOLETA FROM TRADUCAO", {},
                 [&](const PostgresConnection::Row& r) { visit(r.integer(0), withFlag(r)); });
    }

    void selectRowsById(const std::vector<std::int64_t>& ids, const KeyedRowVisitor& visit) override
    {
        if (ids.empty())
            return;
        m_db.run(std::string("SELECT IDTRADUCAO, ") + RowColumns
                     + ", FLOBSOLETA FROM TRADUCAO WHERE IDTRADUCAO = ANY($1::bigint[])",
                 {idList(ids, '{', '}')}, [&](const PostgresConnection::Row& r) { visit(r.integer(0), withFlag(r)); });
    }

    void readReleaseRows(const std::string& language, const ReleaseRowVisitor& visit) override
    {
        pgrelease::readRows(m_db, language, visit);
    }
    void selectPreviousSources(const std::string& language, std::int64_t batch,
                               const PreviousSourceVisitor& visit) override
    {
        pgrelease::selectPreviousSources(m_db, language, batch, visit);
    }
    void selectObsoleteRows(const std::string& language, const ObsoleteRowVisitor& visit) override
    {
        pgrelease::selectObsoleteRows(m_db, language, visit);
    }

private:
    static TranslationRowView withMark(TranslationRowView row, const PostgresConnection::Row& r, int first)
    {
        if (!r.isNull(first)) {
            row.reviewer = r.text(first);
            row.reviewed = r.real(first + 1);
        }
        return row;
    }

    static TranslationRowView withFlag(const PostgresConnection::Row& r)
    {
        TranslationRowView row = readRowView(r, 1);
        row.obsolete = r.integer(8) != 0;
        return row;
    }

    PostgresConnection m_db;
    PostgresHistoryReader m_history;
    PostgresStatementDb m_statements{m_db};
};

class PostgresWriter : public VersionKeepingWriter {
public:
    PostgresWriter(const std::string& conninfo, PostgresTimeouts timeouts, PostgresLink& link)
        : VersionKeepingWriter(m_log, m_reader), m_db(conninfo, timeouts, &link), m_reader(m_db), m_log(m_db, m_reader)
    {
    }

    void beginBatch() override
    {
        // The transaction takes its id before it draws any version id: a
        // reader that sees it in progress then knows that it may still
        // commit versions below ids already committed (docs/live.md).
        m_db.exec("BEGIN ISOLATION LEVEL READ COMMITTED; SELECT pg_current_xact_id()");
        m_appliedInBatch = 0;
        WriteOrigin origin;
        origin.method = "trd-server";
        origin.kind = BatchKind::Import;
        m_log.setOrigin(origin);
    }
    void commitBatch() override
    {
        endBulkLoad(); // a load left open is finished, its indexes built, before its rows commit
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
    void rollbackBatch() override
    {
        m_bulk.reset();
        m_rebuildIndexes = false;
        m_languageKeyDropped = false; // the rollback puts it back
        m_log.forgetBatches();
        m_db.exec("ROLLBACK");
    }

    void readReleaseRows(const std::string& language, const ReleaseRowVisitor& visit) override
    {
        pgrelease::readRows(m_db, language, visit);
    }
    // In bulk; the servers' memories hear one "read everything" at the end
    // instead of one notice a row.
    void writeRelease(const ReleaseWrite& write, double now) override
    {
        const std::int64_t batch = m_log.batchId(write.language, now);
        m_db.exec("SELECT set_config('trd.carga_em_massa', 'on', true)");
        pgrelease::write(m_db, write, batch, now);
        m_db.exec("SELECT set_config('trd.carga_em_massa', 'off', true); SELECT pg_notify('trd_alteracao', '*')");
    }

    void lockRowIds(const std::vector<std::int64_t>& ids) override
    {
        if (ids.empty())
            return;
        m_db.run("SELECT IDTRADUCAO FROM TRADUCAO WHERE IDTRADUCAO = ANY($1::bigint[]) ORDER BY IDTRADUCAO "
                 "FOR UPDATE",
                 {idList(ids, '{', '}')});
    }

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

    StatementDb* glossary() override { return &m_statements; }

    void setReviewSettings(const std::string& language, const ReviewSettings& settings) override
    {
        reviewstore::putSettings(m_statements, language, settings);
    }

    void apply(const RowChange& change, double now) override
    {
        flushBulk();
        renewStatistics();
        if (change.kind == RowChange::Kind::Insert) {
            insertNew(change.updated, now, now, change.reviveId, change.reviveAfterVersion);
            return;
        }
        if (change.kind == RowChange::Kind::Review) {
            // The row's lock (lockRows) keeps a save from slipping in between.
            reviewstore::markRow(m_statements, m_reader, &m_log, change, now);
            return;
        }
        // FOR UPDATE: another server sharing the database waits here, then
        // sees this delta's result, so the check and the write stay one step.
        long long id = -1;
        std::optional<std::int64_t> last;
        std::string destination, status;
        m_db.run("SELECT IDTRADUCAO, STVALORPROP, IDSITTRADUCAO, IDULTVERSAO FROM TRADUCAO WHERE IDIDIOMA = $1 AND "
                 "CDPROGTRAD = $2 AND NMCOMPONENTE = $3 AND md5(STAGRVALPROP) = md5($4) AND STAGRVALPROP = $4 "
                 "AND FLOBSOLETA = 0 FOR UPDATE",
                 {change.original.language, change.original.program, change.original.component, change.original.source},
                 [&](const PostgresConnection::Row& r) {
                     id = r.integer(0);
                     destination = r.text(1);
                     status = r.text(2);
                     if (!r.isNull(3))
                         last = r.integer(3);
                 });
        if (id < 0 || destination != change.originalDestination || status != change.originalStatus)
            changedByOther(change.original, id < 0 || !last ? std::nullopt : m_reader.version(*last));
        if (change.guardReviewed && review::touchesRow(change))
            if (const auto mark = reviewstore::requiredMarkOf(m_statements, change.original.language, id, last))
                review::refuseReviewedRow(change.original, *mark);
        if (change.kind == RowChange::Kind::Delete) {
            const std::int64_t version =
                m_log.record(change.original.language, id, last, ChangeType::Delete, change.originalStatus, {},
                             std::string_view(change.originalDestination), now, now);
            m_log.recordDeletedKey(version, change.original);
            m_db.run("DELETE FROM TRADUCAO WHERE IDTRADUCAO = $1", {std::to_string(id)});
            return;
        }
        const auto newest = keepChange(id, last, destination, status, change.updated, now, now);
        write("UPDATE TRADUCAO SET IDIDIOMA = $1, CDPROGTRAD = $2, NMCOMPONENTE = $3, STAGRVALPROP = $4, "
              "STVALORPROP = $5, IDSITTRADUCAO = $6, DTALTERACAO = $7, IDULTVERSAO = $8 WHERE IDTRADUCAO = $9",
              change.updated, now,
              {newest ? std::optional<std::string>(std::to_string(*newest)) : std::nullopt, std::to_string(id)});
    }

    // Runs of many changes of text or status or deletes (a propagation, a
    // piece of a pre-translation, an undo), and runs of many new rows (a file
    // brought in, an undo of an undo), go as one set (PostgresBatchWrite.h);
    // the rest, and a run that needs the row-by-row path's refusals, row by row.
    void applyAll(const std::vector<RowChange>& changes, double now) override
    {
        const auto setOf = [](RowChange::Kind kind) {
            return kind == RowChange::Kind::Modify || kind == RowChange::Kind::Delete ? 1
                : kind == RowChange::Kind::Insert                                     ? 2
                                                                                      : 0;
        };
        for (std::size_t i = 0; i < changes.size();) {
            const int set = setOf(changes[i].kind);
            std::size_t end = i;
            while (end < changes.size() && set != 0 && setOf(changes[end].kind) == set)
                ++end;
            if (end - i >= pgbatch::SetFrom) {
                flushBulk();
                // A set larger than a watcher is told row by row (RowChangeRelay)
                // queues no notice a row: it tells "*" once, as a load does.
                const bool many = end - i > RowChangeRelay::MostListed;
                if (many)
                    m_db.exec("SELECT set_config('trd.carga_em_massa', 'on', true)");
                const bool written = set == 1 ? pgbatch::writeChanges(m_db, m_log, changes.data() + i, end - i, now)
                                              : pgbatch::writeInsertions(m_db, m_log, changes.data() + i, end - i, now);
                if (many)
                    m_db.exec(written ? "SELECT set_config('trd.carga_em_massa', 'off', true); "
                                        "SELECT pg_notify('trd_alteracao', '*')"
                                      : "SELECT set_config('trd.carga_em_massa', 'off', true)");
                if (written) {
                    m_appliedInBatch += end - i;
                    i = end;
                    continue;
                }
            }
            for (const std::size_t stop = std::max(end, i + 1); i < stop; ++i)
                apply(changes[i], now);
        }
    }

    void putLanguage(const Language& language) override
    {
        flushBulk();
        m_db.run("INSERT INTO IDIOMA (IDIDIOMA, DSIDIOMA, IDIPROP) VALUES ($1, $2, $3) ON CONFLICT (IDIDIOMA) "
                 "DO UPDATE SET DSIDIOMA = excluded.DSIDIOMA, IDIPROP = excluded.IDIPROP",
                 {language.code, language.description, language.prop});
    }

    // An import tells the servers once, at its end, to read every row again,
    // rather than one notification a row. Its rows are gathered and written
    // in bulk (PostgresBulkLoad.h).
    void beginBulkLoad() override
    {
        m_db.exec("SELECT set_config('trd.carga_em_massa', 'on', true)");
        bool empty = false;
        m_db.run("SELECT NOT EXISTS (SELECT 1 FROM TRADUCAO)", {},
                 [&](const PostgresConnection::Row& r) { empty = r.text(0) == "t"; });
        m_bulk.emplace(empty);
        m_bulkNow = 0;
        // Other servers' reads of the table wait for the commit meanwhile:
        // there is nothing in it for them yet.
        m_rebuildIndexes = empty;
        if (empty) {
            m_db.exec("SET LOCAL maintenance_work_mem = '128MB'; DROP INDEX IF EXISTS TRADUCAO_CHAVE; "
                      "DROP INDEX IF EXISTS TRADUCAO_SITUACAO; DROP INDEX IF EXISTS TRADUCAO_DATA");
            m_db.exec(DropLanguageKeySql);
            m_languageKeyDropped = true;
        }
    }
    void endBulkLoad() override
    {
        if (!m_bulk)
            return;
        flushBulk();
        m_bulk.reset();
        if (std::exchange(m_rebuildIndexes, false)) {
            m_db.exec(KeyIndexSql);
            m_db.exec(SecondaryIndexSql);
        }
        restoreLanguageKey();
        // The row-by-row statements that follow in this transaction (and
        // those prepared before it) are planned again with what the table
        // holds now, not with the empty table they may have been made on.
        m_db.exec("ANALYZE TRADUCAO, VERSAO, LOTE");
        m_db.exec("SELECT set_config('trd.carga_em_massa', 'off', true); SELECT pg_notify('trd_alteracao', '*')");
    }

    void insertRow(const TranslationRow& row, double now) override
    {
        if (!m_bulk) {
            insertRowNow(row, now);
            return;
        }
        const double changed = row.changed.value_or(now);
        if (m_bulkNow == 0)
            m_bulkNow = now;
        if (!m_bulk->add(row, changed)) {
            flushBulk();
            m_bulk->add(row, changed);
        }
        if (m_bulk->size() >= BulkChunkRows)
            flushBulk();
    }

private:
    static constexpr std::size_t BulkChunkRows = 100000;
    static constexpr std::size_t StatisticsEveryRows = 10000;

    // A batch of many rows (an undo, a propagation, a file brought in
    // through the exchange) runs its statements row by row in one
    // transaction, where the database's own statistics cannot follow what
    // it writes: they are taken again every 10,000 rows, which also makes
    // the prepared statements plan again, so none keeps a plan made for a
    // table that was empty or much smaller (a scan where the index serves).
    void renewStatistics()
    {
        if (++m_appliedInBatch % StatisticsEveryRows == 0)
            m_db.exec("ANALYZE TRADUCAO, VERSAO");
    }

    // A row that is already there takes the new values.
    void insertRowNow(const TranslationRow& row, double now)
    {
        const double changed = row.changed.value_or(now);
        const auto existing = m_reader.rowByKey(row.key.language, row.key.program, row.key.component, row.key.source);
        if (!existing) {
            insertNew(row, changed, now, std::nullopt, std::nullopt);
            return;
        }
        const auto newest =
            keepChange(existing->id, existing->lastVersion, existing->destination, existing->status, row, changed, now);
        m_db.runNullable("UPDATE TRADUCAO SET STVALORPROP = $1, IDSITTRADUCAO = $2, DTALTERACAO = $3, IDULTVERSAO = $4 "
                         "WHERE IDTRADUCAO = $5",
                         {row.destination, row.status, number(changed),
                          newest ? std::optional<std::string>(std::to_string(*newest)) : std::nullopt,
                          std::to_string(existing->id)});
    }

    void restoreLanguageKey()
    {
        if (std::exchange(m_languageKeyDropped, false))
            m_db.exec(LanguageKeySql);
    }

    // Writes the gathered rows; those the bulk path leaves go row by row,
    // after the table's statistics name the rows just written.
    void flushBulk()
    {
        if (!m_bulk || m_bulk->empty())
            return;
        const double now = m_bulkNow;
        const std::vector<TranslationRow> left = m_bulk->write(m_db, [&](const std::string& language) {
            const auto [id, when] = m_log.batchWithDate(language, now);
            return pgbulk::BatchOf{id, when};
        });
        if (left.empty())
            return;
        // Row by row, each row is looked up by its key and has its language checked.
        if (m_rebuildIndexes)
            m_db.exec(KeyIndexSql);
        restoreLanguageKey();
        m_db.exec("ANALYZE TRADUCAO");
        for (const TranslationRow& row : left)
            insertRowNow(row, now);
    }

    // Keeps the version of a row going from (destination, status) to `row`
    // and answers its newest version; a write that changes neither the text
    // nor the status keeps none.
    std::optional<std::int64_t> keepChange(std::int64_t id, std::optional<std::int64_t> last,
                                           const std::string& destination, const std::string& status,
                                           const TranslationRow& row, double changed, double now)
    {
        const bool textChanged = destination != row.destination;
        if (!textChanged && status == row.status)
            return last;
        return m_log.record(row.key.language, id, last, ChangeType::Change, status, row.status,
                            textChanged ? std::optional<std::string_view>(destination) : std::nullopt, changed, now);
    }

    // A new row with its first version (the version's id taken first, so
    // the row names it as it is written); an undo of a delete brings the row
    // back under its old id when that is still free.
    void insertNew(const TranslationRow& row, double changed, double now, std::optional<std::int64_t> reviveId,
                   std::optional<std::int64_t> reviveAfter)
    {
        long long id = -1;
        const auto take = [&](const PostgresConnection::Row& r) { id = r.integer(0); };
        if (reviveId && !m_reader.rowById(*reviveId))
            write("INSERT INTO TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, "
                  "DTALTERACAO, IDTRADUCAO) OVERRIDING SYSTEM VALUE VALUES ($1, $2, $3, $4, $5, $6, $7, $8) "
                  "RETURNING IDTRADUCAO",
                  row, changed, {std::to_string(*reviveId)}, take);
        else
            write("INSERT INTO TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, "
                  "DTALTERACAO) VALUES ($1, $2, $3, $4, $5, $6, $7) RETURNING IDTRADUCAO",
                  row, changed, {}, take);
        const std::int64_t version = m_log.record(row.key.language, id, reviveAfter, ChangeType::Insert, {}, row.status,
                                                  std::nullopt, changed, now);
        m_db.run("UPDATE TRADUCAO SET IDULTVERSAO = $1 WHERE IDTRADUCAO = $2",
                 {std::to_string(version), std::to_string(id)});
    }

    void write(const char* sql, const TranslationRow& row, double now, PostgresConnection::NullableParams extra,
               const std::function<void(const PostgresConnection::Row&)>& visit = {})
    {
        PostgresConnection::NullableParams params{row.key.language, row.key.program, row.key.component, row.key.source,
                                                  row.destination,  row.status,      number(now)};
        for (auto& p : extra)
            params.push_back(std::move(p));
        try {
            m_db.runNullable(sql, params, visit);
        } catch (const PostgresError& e) {
            if (e.sqlState() == "23503")
                throw ServerError(ErrorKind::Conflict, "Idioma não cadastrado: " + row.key.language + ".");
            if (e.sqlState() == "23505")
                throw ServerError(ErrorKind::Conflict,
                                  "Já existe uma tradução para o idioma " + row.key.language + ", tela "
                                      + row.key.program + ", componente " + row.key.component
                                      + " com este texto de origem.");
            if (e.sqlState().rfind("23", 0) == 0)
                badArgument("Registro inválido (Tela: " + row.key.program + ", Componente: " + row.key.component
                            + "): o banco de dados recusou os valores.");
            throw;
        }
    }

    void execute(const char* sql) override { m_db.exec(sql); }

    PostgresConnection m_db;
    PostgresHistoryReader m_reader;
    PostgresVersionLog m_log;
    std::optional<pgbulk::PendingRows> m_bulk; // between beginBulkLoad and endBulkLoad
    double m_bulkNow = 0;
    bool m_rebuildIndexes = false; // dropped by beginBulkLoad, built by endBulkLoad
    bool m_languageKeyDropped = false; // the rows' check of their language, off for a load into an empty table
    std::size_t m_appliedInBatch = 0;
    PostgresStatementDb m_statements{m_db};
};

} // namespace

PostgresStorage::PostgresStorage(std::string conninfo, PostgresTimeouts timeouts)
    : m_conninfo(std::move(conninfo)), m_timeouts(timeouts)
{
    PostgresConnection db(m_conninfo, m_timeouts);
    // Several servers may start at once against one database.
    db.exec("BEGIN; SELECT pg_advisory_xact_lock(930093);");
    try {
        // The version is checked first: a newer server's database is left
        // as it is, its functions included.
        const int version = pghistory::checkVersion(db);
        db.exec(SchemaSql);
        db.exec(KeyIndexSql);
        db.exec(SecondaryIndexSql);
        pghistory::upgrade(db, version);
        pgreview::ensureSchema(db);
        pgrelease::ensureSchema(db);
        db.exec(termstore::PostgresSchema);
        db.exec("COMMIT");
    } catch (...) {
        db.exec("ROLLBACK");
        throw;
    }
}

std::unique_ptr<StorageSession> PostgresStorage::openSession()
{
    return std::make_unique<PostgresSession>(m_conninfo, m_timeouts, m_link);
}

std::unique_ptr<StorageWriter> PostgresStorage::openWriter()
{
    return std::make_unique<PostgresWriter>(m_conninfo, m_timeouts, m_link);
}

PostgresStorage::~PostgresStorage() = default;

std::uint64_t PostgresStorage::watchRowChanges(RowChangeWatcher watcher)
{
    const std::uint64_t id = m_changes.watch(std::move(watcher));
    std::lock_guard lock(m_watcherMutex);
    if (!m_watcher)
        m_watcher = std::make_unique<PostgresRowWatcher>(m_conninfo, m_changes);
    return id;
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
