#include "SqliteStorage.h"

#include "ChangeReading.h"
#include "IdList.h"
#include "ListedRowsCollector.h"
#include "Log.h"
#include "SqliteCheckpointer.h"
#include "SqliteConnection.h"
#include "SqliteFileGuard.h"
#include "SqliteHistory.h"
#include "ReviewRules.h"
#include "ReviewStore.h"
#include "SqliteReview.h"
#include "SqliteGlossary.h"
#include "SqliteIntegrityWatch.h"
#include "SqliteRelease.h"
#include "SqliteWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace trd::server {

namespace {

// 1: languages and rows. 2: the history (batches and versions, docs/history.md).
// 3: the history's ids given by the writer, not by AUTOINCREMENT (SqliteHistoryIds.h).
constexpr int SchemaVersion = 3;

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

[[noreturn]] void historyNotKept()
{
    throw ServerError(ErrorKind::Unavailable,
                      "Este banco ainda não guarda o histórico de alterações: o servidor o atende somente para "
                      "consulta e não pôde atualizá-lo. Inicie o servidor uma vez sem --read-only.");
}

class SqliteSession : public StorageSession {
public:
    SqliteSession(const std::string& path, SqliteConnection::Mode mode, std::atomic<bool>* damaged, int timeLimitMs,
                  bool history, bool review, bool releases, bool glossary)
        : m_db(path, true, mode), m_history(m_db), m_hasHistory(history), m_hasReview(review), m_releases(releases),
          m_hasGlossary(glossary), m_live(sqliterelease::liveCondition(releases))
    {
        m_db.setDamageFlag(damaged);
        m_db.setStatementTimeLimit(timeLimitMs);
        // A reader walks a language's rows in key order, which visits the
        // table's pages out of order. Measured here on 200,000 rows, that walk
        // was a quarter slower through a 64 MB cache or a memory map than
        // through SQLite's own 2 MB cache reading from the system's file
        // cache: the small cache stays in the processor's cache. It also keeps
        // a pool of many readers from holding 64 MB each. (No connection maps
        // the file: see SqliteConnection.)
        m_db.exec("PRAGMA cache_size=-2000");
    }

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
        if (sel.statuses.empty() || (sel.obsolete && !m_releases))
            return; // every status argument was "X", or a database without obsolete rows
        std::string sql = std::string("SELECT ") + RowColumns + markColumns() + " FROM TRADUCAO" + markJoin()
            + " WHERE IDIDIOMA = ?" + (sel.obsolete ? " AND FLOBSOLETA <> 0" : m_live);
        appendStatusAndDates(sql, sel.statuses, sel.dates);
        if (sel.reviewed)
            sql += *sel.reviewed && m_hasReview ? " AND r.IDTRADUCAO IS NOT NULL"
                : *sel.reviewed                 ? " AND 0"
                : m_hasReview                   ? " AND r.IDTRADUCAO IS NULL"
                                                : "";
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
            visit(sqlitereview::withMark(readRowView(st, 0), st, 7));
    }

    void selectListedRows(const std::string& language, const std::vector<ListedKey>& keys,
                          const RowVisitor& visit) override
    {
        ListedRowsCollector found;
        // The key list drives the join (CROSS JOIN keeps it outside), each
        // element probing the unique key index once.
        auto st = m_db.prepare(std::string("SELECT TRADUCAO.IDTRADUCAO, ") + RowColumns + markColumns()
                               + " FROM json_each(?2) AS L CROSS JOIN TRADUCAO" + markJoin()
                               + " WHERE IDIDIOMA = ?1 AND CDPROGTRAD = json_extract(L.value, '$[0]')"
                                 " AND NMCOMPONENTE = json_extract(L.value, '$[1]')"
                                 " AND (json_array_length(L.value) < 3"
                                 " OR STAGRVALPROP = json_extract(L.value, '$[2]'))"
                               + m_live);
        const std::string list = listedKeysJson(keys); // bound without a copy: must outlive the steps
        st.bind(1, language).bind(2, list);
        while (st.step())
            found.add(st.integer(0), sqlitereview::withMark(readRowView(st, 1), st, 8));
        found.visitSorted(language, visit);
    }

    void selectInfoRows(const std::string& language, const DateBounds& dates, const InfoVisitor& visit) override
    {
        std::string sql = std::string("SELECT IDSITTRADUCAO, STVALORPROP FROM TRADUCAO WHERE IDIDIOMA = ?") + m_live;
        appendStatusAndDates(sql, "TDN", dates);
        auto st = m_db.prepare(sql);
        st.bind(1, language);
        bindStatusAndDates(st, 2, "TDN", dates);
        while (st.step())
            visit(st.text(0), st.text(1));
    }

    std::int64_t countRows(const std::string& language, std::string_view statuses, const DateBounds& dates) override
    {
        if (statuses.empty())
            return 0;
        std::string conditions;
        appendStatusAndDates(conditions, statuses, dates);
        const std::string owned(statuses);
        const auto bind = [&](SqliteStatement& st) {
            st.bind(1, language);
            bindStatusAndDates(st, 2, owned, dates);
        };
        // The whole count is an index-only scan; a row filter on the flag
        // would visit every row. Obsolete rows are few and have an index of
        // their own.
        auto st = m_db.prepare("SELECT COUNT(*) FROM TRADUCAO WHERE IDIDIOMA = ?" + conditions);
        bind(st);
        st.step();
        const std::int64_t all = st.integer(0);
        return m_releases ? all - sqliterelease::countObsolete(m_db, conditions, bind) : all;
    }

    void ping() override
    {
        auto st = m_db.prepare("SELECT COUNT(*) FROM IDIOMA");
        st.step();
    }

    std::vector<std::pair<std::string, ReviewSettings>> reviewSettings() override
    {
        return m_hasReview ? reviewstore::settings(m_statements)
                           : std::vector<std::pair<std::string, ReviewSettings>>{};
    }

    std::vector<ReviewCount> countReviewed(const std::string& language, const DateBounds& dates) override
    {
        std::vector<ReviewCount> counts = {{'T', 0, 0}, {'D', 0, 0}, {'N', 0, 0}};
        std::string sql = std::string("SELECT IDSITTRADUCAO, COUNT(*), ") + (m_hasReview ? "COUNT(r.IDTRADUCAO)" : "0")
            + " FROM TRADUCAO" + markJoin() + " WHERE IDIDIOMA = ?" + m_live;
        appendStatusAndDates(sql, "TDN", dates);
        sql += " GROUP BY IDSITTRADUCAO";
        auto st = m_db.prepare(sql);
        st.bind(1, language);
        bindStatusAndDates(st, 2, "TDN", dates);
        while (st.step())
            for (ReviewCount& c : counts)
                if (st.text(0) == std::string_view(&c.status, 1)) {
                    c.rows = st.integer(1);
                    c.reviewed = st.integer(2);
                }
        return counts;
    }

    StatementDb* glossary() override
    {
        if (m_hasGlossary)
            return &m_statements;
        return &m_noTerms;
    }

    std::optional<ReviewMark> reviewMark(const RowKey& row) override
    {
        return m_hasReview ? sqlitereview::markByKey(m_db, row) : std::nullopt;
    }

    HistoryReader& history() override
    {
        if (!m_hasHistory)
            historyNotKept();
        return m_history;
    }

    ChangeWindow readChanges(const ChangeQuery& query) override
    {
        if (!m_hasHistory)
            historyNotKept();
        return changereading::readSqlite(m_db, query);
    }

    void scanRows(const KeyedRowVisitor& visit) override
    {
        auto st =
            m_db.prepare(std::string("SELECT IDTRADUCAO, ") + RowColumns + ", " + obsoleteColumn() + " FROM TRADUCAO");
        while (st.step())
            visit(st.integer(0), withFlag(st));
    }

    void selectRowsById(const std::vector<std::int64_t>& ids, const KeyedRowVisitor& visit) override
    {
        if (ids.empty())
            return;
        auto st = m_db.prepare(std::string("SELECT IDTRADUCAO, ") + RowColumns + ", " + obsoleteColumn()
                               + " FROM json_each(?) AS L CROSS JOIN TRADUCAO WHERE IDTRADUCAO = L.value");
        const std::string list = idList(ids, '[', ']'); // bound, not copied: it lives while the statement runs
        st.bind(1, list);
        while (st.step())
            visit(st.integer(0), withFlag(st));
    }

    void readReleaseRows(const std::string& language, const ReleaseRowVisitor& visit) override
    {
        releasesKept();
        sqliterelease::readRows(m_db, language, visit);
    }
    void selectPreviousSources(const std::string& language, std::int64_t batch,
                               const PreviousSourceVisitor& visit) override
    {
        if (m_releases)
            sqliterelease::selectPreviousSources(m_db, language, batch, visit);
    }
    void selectObsoleteRows(const std::string& language, const ObsoleteRowVisitor& visit) override
    {
        if (m_releases)
            sqliterelease::selectObsoleteRows(m_db, language, visit);
    }

private:
    const char* markColumns() const { return m_hasReview ? sqlitereview::MarkColumns : sqlitereview::NoMarkColumns; }
    const char* markJoin() const { return m_hasReview ? sqlitereview::MarkJoin : ""; }

    const char* obsoleteColumn() const { return m_releases ? "FLOBSOLETA" : "0"; }
    static TranslationRowView withFlag(const SqliteStatement& st)
    {
        TranslationRowView row = readRowView(st, 1);
        row.obsolete = st.integer(8) != 0;
        return row;
    }
    void releasesKept() const
    {
        if (!m_releases)
            throw ServerError(ErrorKind::Unavailable,
                              "Este banco ainda não guarda linhas obsoletas: o servidor o atende somente para consulta "
                              "e não pôde atualizá-lo. Inicie o servidor uma vez sem --read-only.");
    }

    SqliteConnection m_db;
    SqliteHistoryReader m_history;
    bool m_hasHistory;
    bool m_hasReview;
    bool m_releases;
    bool m_hasGlossary;
    const char* m_live;
    SqliteStatementDb m_statements{m_db};
    NoTermDb m_noTerms;
};

// Served with --read-only: every write is refused before it starts.
class ReadOnlyWriter : public StorageWriter {
public:
    void beginBatch() override { refuse(); }
    void beginItem() override { refuse(); }
    void endItem(bool) override { refuse(); }
    void commitBatch() override { refuse(); }
    void rollbackBatch() override { }
    void apply(const RowChange&, double) override { refuse(); }
    void putLanguage(const Language&) override { refuse(); }
    void insertRow(const TranslationRow&, double) override { refuse(); }

private:
    [[noreturn]] static void refuse()
    {
        throw StorageError("read-only",
                           "O servidor está atendendo este banco somente para consulta; alterações não "
                           "são aceitas. Nada foi gravado.");
    }
};

std::string mib(std::uint64_t bytes)
{
    return std::to_string(bytes >> 20) + " MiB";
}

} // namespace

SqliteStorage::SqliteStorage(std::string path, SqliteOpenOptions options) : m_path(std::move(path)), m_options(options)
{
    struct stat st { };
    const bool exists = ::stat(m_path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode))
        throw StorageError(m_path + " não é um arquivo de banco de dados");
    if (!exists || st.st_size == 0) {
        // A mistyped path or a truncated file must not quietly become an empty
        // database that clients then fill while the real one sits elsewhere.
        if (!m_options.create)
            throw StorageError(exists ? "o arquivo " + m_path
                                       + " está vazio: não é um banco do trd-server (para criar "
                                         "um banco novo nele, use --create)"
                                      : "o banco " + m_path + " não existe (para criar um banco novo, use --create)");
        if (m_options.readOnly)
            throw StorageError("--read-only não cria banco: " + m_path + " não existe ou está vazio");
        struct stat wal { };
        if (::stat((m_path + "-wal").c_str(), &wal) == 0 && wal.st_size > 0)
            throw StorageError("existe " + m_path + "-wal sem o banco " + m_path
                               + ": o banco foi removido; restaure-o antes de iniciar o servidor");
        createSchema();
        m_created = true;
    } else {
        if (!m_options.readOnly && ::access(m_path.c_str(), W_OK) != 0)
            throw StorageError("o banco " + m_path
                               + " não pode ser gravado por este usuário; para atendê-lo somente "
                                 "para consulta, use --read-only");
        const int version = checkIdentity();
        checkIntegrity();
        if (!m_options.readOnly)
            checkWritable();
        if (version < SchemaVersion) {
            // Served read-only, a database of schema 2 is read as it is: its
            // tables differ only in how their ids were given.
            if (!m_options.readOnly)
                upgrade(version);
            else if (version < 2)
                m_historyKept = false;
        }
        m_reviewKept = sqlitereview::addTables(m_path, m_options.durable, m_options.readOnly);
        ensureReleaseSchema();
        if (!m_options.readOnly)
            sqliteglossary::ensureSchema(m_path, m_options.durable);
        else
            m_glossaryKept = sqliteglossary::present(m_path);
    }
    m_guard = std::make_unique<SqliteFileGuard>(m_path, !m_options.besideServer);
    if (m_options.readOnly)
        m_guard->record(false);
    if (m_options.checkEverySeconds > 0)
        m_watch = std::make_unique<SqliteIntegrityWatch>(
            m_path, m_options.readOnly, std::chrono::seconds(m_options.checkEverySeconds), *m_guard, m_damaged);
}

SqliteStorage::~SqliteStorage() = default;

void SqliteStorage::createSchema()
{
    SqliteConnection db(m_path, m_options.durable, SqliteConnection::Mode::Create);
    db.exec("BEGIN IMMEDIATE");
    db.exec(SchemaSql);
    db.exec(SqliteSecondaryIndexSql);
    db.exec(sqlitehistory::SchemaSql);
    db.exec(sqlitehistory::HighestIdsSql);
    sqlitereview::ensureSchema(db);
    sqliterelease::ensureSchema(db);
    db.exec(termstore::SqliteSchema);
    db.exec(("PRAGMA application_id=" + std::to_string(ApplicationId)).c_str());
    db.exec(("PRAGMA user_version=" + std::to_string(SchemaVersion)).c_str());
    db.exec("COMMIT");
}

// Brings a database of an earlier schema up to this one, all in one
// transaction: a failure leaves it as it was. Servers of the earlier version
// then refuse it as newer.
void SqliteStorage::upgrade(int from)
{
    SqliteConnection db(m_path, m_options.durable, SqliteConnection::Mode::ReadWrite);
    const auto start = std::chrono::steady_clock::now();
    sqlitehistory::Converted converted;
    db.exec("BEGIN IMMEDIATE");
    try {
        if (from < 2) {
            db.exec(sqlitehistory::SchemaSql);
            db.exec(sqlitehistory::HighestIdsSql);
        } else if (from == 2) {
            converted = sqlitehistory::convertAutoincrement(db);
        }
        db.exec(("PRAGMA user_version=" + std::to_string(SchemaVersion)).c_str());
        db.exec("COMMIT");
    } catch (const std::exception& e) {
        db.exec("ROLLBACK");
        throw StorageError("não foi possível atualizar o esquema do banco " + m_path + " da versão "
                           + std::to_string(from) + " para a " + std::to_string(SchemaVersion) + ": " + e.what());
    }
    if (from < 2)
        logFormat(LogLevel::Info, "trd-server: banco %s atualizado do esquema %d para o %d (histórico de alterações)",
                  m_path.c_str(), from, SchemaVersion);
    else
        logFormat(LogLevel::Info,
                  "trd-server: banco %s atualizado do esquema %d para o %d (%lld lotes e %lld versões do histórico "
                  "copiados para tabelas cujos números o servidor dá, em %.1f s)",
                  m_path.c_str(), from, SchemaVersion, static_cast<long long>(converted.batches),
                  static_cast<long long>(converted.versions),
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

// The release's tables and flag are steps that look at what the file has,
// not a schema number: a file that has them is left as it is.
void SqliteStorage::ensureReleaseSchema()
{
    const auto mode = m_options.readOnly ? SqliteConnection::Mode::ReadOnly : SqliteConnection::Mode::ReadWrite;
    SqliteConnection db(m_path, m_options.durable, mode);
    if (m_options.readOnly) {
        m_releasesKept = sqliterelease::present(db);
        return;
    }
    // Opened beside a serving server (--prune-history), a file that has it
    // all gets no write at all.
    if (sqliterelease::complete(db))
        return;
    db.exec("BEGIN IMMEDIATE");
    try {
        const bool had = sqliterelease::present(db);
        sqliterelease::ensureSchema(db);
        db.exec("COMMIT");
        if (!had)
            logFormat(
                LogLevel::Info,
                "trd-server: banco %s agora guarda linhas obsoletas e origens anteriores (liberações do aplicativo)",
                m_path.c_str());
    } catch (const std::exception& e) {
        db.exec("ROLLBACK");
        throw StorageError("não foi possível preparar o banco " + m_path + " para liberações: " + e.what());
    }
}

int SqliteStorage::checkIdentity()
{
    const auto mode = m_options.readOnly ? SqliteConnection::Mode::ReadOnly : SqliteConnection::Mode::ReadWrite;
    std::int64_t application = 0, version = 0, tables = 0;
    try {
        SqliteConnection db(m_path, m_options.durable, mode);
        auto id = db.prepare("PRAGMA application_id");
        id.step();
        application = id.integer(0);
        auto uv = db.prepare("PRAGMA user_version");
        uv.step();
        version = uv.integer(0);
        auto names = db.prepare("SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name IN ('IDIOMA', "
                                "'TRADUCAO')");
        names.step();
        tables = names.integer(0);
    } catch (const SqliteError& e) {
        if (e.isDamage())
            throw StorageError("o arquivo " + m_path + " não é um banco SQLite (ou está danificado): " + e.what());
        throw StorageError("não foi possível ler o banco " + m_path + ": " + e.what());
    }
    // Files of the first version carry no application_id; they are known by
    // their schema version and tables.
    const bool ours = application == ApplicationId || (application == 0 && version == 1 && tables == 2);
    if (!ours)
        throw StorageError("o arquivo " + m_path + " não é um banco do trd-server"
                           + (application != 0
                                  ? " (é de outro aplicativo: application_id " + std::to_string(application) + ")"
                                  : std::string(" (não tem o esquema de traduções)")));
    if (version > SchemaVersion)
        throw StorageError("o banco " + m_path + " tem um esquema mais novo (versão " + std::to_string(version)
                           + ") que este servidor (versão " + std::to_string(SchemaVersion) + ")");
    if (version < 1 || tables != 2)
        throw StorageError("o banco " + m_path + " está incompleto (esquema versão " + std::to_string(version)
                           + "); restaure a cópia de segurança");
    if (application == 0 && !m_options.readOnly) {
        SqliteConnection db(m_path, m_options.durable, mode);
        db.exec(("PRAGMA application_id=" + std::to_string(ApplicationId)).c_str());
    }
    return static_cast<int>(version);
}

void SqliteStorage::checkIntegrity()
{
    const auto mode = m_options.readOnly ? SqliteConnection::Mode::ReadOnly : SqliteConnection::Mode::ReadWrite;
    std::string faults;
    int count = 0;
    try {
        SqliteConnection db(m_path, m_options.durable, mode);
        auto st = db.prepare(m_options.fullCheck ? "PRAGMA integrity_check(20)" : "PRAGMA quick_check(20)");
        while (st.step()) {
            const std::string_view line = st.text(0);
            if (line == "ok")
                continue;
            ++count;
            faults += "\n  ";
            faults += line;
        }
    } catch (const SqliteError& e) {
        faults = std::string("\n  ") + e.what();
        count = 1;
    }
    m_openCheckMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    if (count > 0)
        throw StorageError("o banco " + m_path + " está danificado (verificação de integridade):" + faults
                           + "\nrestaure a cópia de segurança (veja docs/server.md)");
}

void SqliteStorage::checkWritable()
{
    try {
        SqliteConnection db(m_path, m_options.durable, SqliteConnection::Mode::ReadWrite);
        if (sqlite3_db_readonly(db.handle(), "main") == 1)
            throw SqliteError(SQLITE_READONLY, "o arquivo só pode ser lido");
        // The WAL and shared-memory files must be creatable beside the database too.
        db.exec("BEGIN IMMEDIATE");
        db.exec("ROLLBACK");
    } catch (const SqliteError& e) {
        throw StorageError("o banco " + m_path + " não aceita gravação (" + e.what()
                           + "); para atendê-lo somente para consulta, use --read-only");
    }
}

std::unique_ptr<StorageSession> SqliteStorage::openSession()
{
    // A connection opened now would start a WAL of its own beside the one the
    // others still write through.
    if (std::string lost = m_guard->check(); !lost.empty())
        throw StorageError("database files lost", lost);
    return std::make_unique<SqliteSession>(
        m_path, m_options.readOnly ? SqliteConnection::Mode::ReadOnly : SqliteConnection::Mode::ReadWrite, &m_damaged,
        m_statementTimeLimitMs, m_historyKept, m_reviewKept, m_releasesKept, m_glossaryKept);
}

std::unique_ptr<StorageWriter> SqliteStorage::openWriter()
{
    if (m_options.readOnly)
        return std::make_unique<ReadOnlyWriter>();
    return openSqliteWriter(m_path, m_options.durable, m_options.keepVersions, m_options.besideServer, *m_guard,
                            &m_damaged, m_changes);
}

std::uint64_t SqliteStorage::watchRowChanges(RowChangeWatcher watcher)
{
    return m_changes.watch(std::move(watcher));
}

bool SqliteStorage::isEmpty()
{
    SqliteConnection db(m_path, true,
                        m_options.readOnly ? SqliteConnection::Mode::ReadOnly : SqliteConnection::Mode::ReadWrite);
    auto st = db.prepare("SELECT EXISTS (SELECT 1 FROM IDIOMA) OR EXISTS (SELECT 1 FROM TRADUCAO)");
    st.step();
    return st.integer(0) == 0;
}

StorageStatus SqliteStorage::status()
{
    StorageStatus s;
    s.writable = !m_options.readOnly;
    s.damaged = m_damaged.load();
    s.lastCheckMs = m_openCheckMs;
    if (m_watch && m_watch->lastCheckMs() > 0) {
        s.lastCheckMs = m_watch->lastCheckMs();
        s.lastCheckOk = m_watch->lastCheckOk();
    }
    std::uint64_t bytes = 0;
    for (const char* suffix : {"", "-wal"}) {
        struct stat file { };
        if (::stat((m_path + suffix).c_str(), &file) == 0)
            bytes += static_cast<std::uint64_t>(file.st_size);
    }
    s.databaseBytes = bytes;
    std::filesystem::path dir = std::filesystem::path(m_path).parent_path();
    struct statvfs fs { };
    if (::statvfs(dir.empty() ? "." : dir.c_str(), &fs) == 0)
        s.freeBytes = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
    if (std::string lost = m_guard->check(); !lost.empty()) {
        s.writable = false;
        s.problem = std::move(lost);
    } else if (s.damaged) {
        s.problem = "O banco de dados do servidor está danificado: uma leitura encontrou uma página com defeito. "
                    "Avise o administrador do sistema.";
    } else if (s.writable && s.freeBytes && *s.freeBytes < m_options.minFreeBytes) {
        s.problem = "Pouco espaço em disco no servidor: " + mib(*s.freeBytes)
            + " livres; as gravações podem falhar. "
              "Avise o administrador do sistema.";
    }
    return s;
}

} // namespace trd::server
