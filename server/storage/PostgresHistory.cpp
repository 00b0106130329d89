#include "PostgresHistory.h"

#include "HistoryRowReading.h"
#include "IdList.h"

#include <charconv>

namespace trd::server {

namespace {

// The same tables as on SQLite. Ids come from identity sequences: unique and
// growing, though with several servers a smaller id can commit after a larger
// one (docs/history.md, "Order of versions").
const char* const HistorySql = R"SQL(
CREATE TABLE IF NOT EXISTS LOTE (
    IDLOTE         BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    IDIDIOMA       VARCHAR(3) COLLATE "C" NOT NULL,
    TPLOTE         CHAR(1) NOT NULL,
    NMUSUARIO      VARCHAR(64) NOT NULL,
    NMMETODO       VARCHAR(40),
    DTLOTE         DOUBLE PRECISION NOT NULL,
    NRLINHAS       BIGINT NOT NULL DEFAULT 0,
    IDVERSAOINI    BIGINT,
    IDLOTEDESFEITO BIGINT
);
CREATE INDEX IF NOT EXISTS LOTE_IDIOMA ON LOTE (IDIDIOMA, DTLOTE);
CREATE INDEX IF NOT EXISTS LOTE_DESFEITO ON LOTE (IDLOTEDESFEITO) WHERE IDLOTEDESFEITO IS NOT NULL;
CREATE TABLE IF NOT EXISTS VERSAO (
    IDVERSAO      BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    IDLOTE        BIGINT NOT NULL,
    IDTRADUCAO    BIGINT NOT NULL,
    IDVERSAOANT   BIGINT,
    TPALTERACAO   SMALLINT NOT NULL,
    IDSITANT      CHAR(1),
    IDSITTRADUCAO CHAR(1),
    STVALORANT    VARCHAR(4000) COLLATE "C",
    DTALTERACAO   DOUBLE PRECISION
);
CREATE TABLE IF NOT EXISTS VERSAO_EXCLUSAO (
    IDVERSAO     BIGINT PRIMARY KEY,
    IDIDIOMA     VARCHAR(3) COLLATE "C" NOT NULL,
    CDPROGTRAD   VARCHAR(20) COLLATE "C" NOT NULL,
    NMCOMPONENTE VARCHAR(50) COLLATE "C" NOT NULL,
    STAGRVALPROP VARCHAR(4000) COLLATE "C" NOT NULL
);
ALTER TABLE TRADUCAO ADD COLUMN IF NOT EXISTS IDULTVERSAO BIGINT;
)SQL";

std::string number(double value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

std::string text(std::int64_t value)
{
    return std::to_string(value);
}

} // namespace

using namespace historyrows;

int pghistory::checkVersion(PostgresConnection& db)
{
    db.exec("CREATE TABLE IF NOT EXISTS TRD_ESQUEMA (VERSAO INTEGER NOT NULL)");
    long long found = 0;
    db.run("SELECT COALESCE(MAX(VERSAO), 0) FROM TRD_ESQUEMA", PostgresConnection::Params{},
           [&](const PostgresConnection::Row& r) { found = r.integer(0); });
    if (found > SchemaVersion)
        throw StorageError("o banco PostgreSQL tem um esquema mais novo (versão " + std::to_string(found)
                           + ") que este servidor (versão " + std::to_string(SchemaVersion) + ")");
    return static_cast<int>(found);
}

void pghistory::upgrade(PostgresConnection& db, int from)
{
    if (from >= SchemaVersion)
        return;
    db.exec(HistorySql);
    db.exec("DELETE FROM TRD_ESQUEMA; INSERT INTO TRD_ESQUEMA (VERSAO) VALUES (" + std::to_string(SchemaVersion) + ")");
}

// ---------------------------------------------------------------- reading

std::optional<CurrentRow> PostgresHistoryReader::rowByKey(const std::string& language, const std::string& program,
                                                          const std::string& component, const std::string& source)
{
    std::optional<CurrentRow> out;
    m_db.run(std::string(RowSelect)
                 + "WHERE IDIDIOMA = $1 AND CDPROGTRAD = $2 AND NMCOMPONENTE = $3 AND md5(STAGRVALPROP) = md5($4) "
                   "AND STAGRVALPROP = $4",
             {language, program, component, source}, [&](const PostgresConnection::Row& r) { out = readRow(r); });
    return out;
}

std::optional<CurrentRow> PostgresHistoryReader::rowById(std::int64_t id)
{
    std::optional<CurrentRow> out;
    m_db.run(std::string(RowSelect) + "WHERE IDTRADUCAO = $1", {text(id)},
             [&](const PostgresConnection::Row& r) { out = readRow(r); });
    return out;
}

std::vector<VersionRecord> PostgresHistoryReader::chain(std::int64_t newest, std::size_t limit, std::int64_t downTo)
{
    std::vector<VersionRecord> out;
    m_db.run(std::string("WITH RECURSIVE c(id, n) AS (SELECT $1::bigint, 1 UNION ALL "
                         "SELECT v.IDVERSAOANT, c.n + 1 FROM c JOIN VERSAO v ON v.IDVERSAO = c.id "
                         "WHERE v.IDVERSAOANT IS NOT NULL AND c.id <> $3::bigint AND c.n < $2::bigint) SELECT ")
                 + VersionColumns
                 + " FROM c JOIN VERSAO v ON v.IDVERSAO = c.id JOIN LOTE l ON l.IDLOTE = v.IDLOTE ORDER BY c.n",
             {text(newest), text(limit == 0 ? INT64_MAX : static_cast<std::int64_t>(limit)), text(downTo)},
             [&](const PostgresConnection::Row& r) { out.push_back(readVersion(r)); });
    return out;
}

std::vector<CurrentRow> PostgresHistoryReader::rowsById(const std::vector<std::int64_t>& ids)
{
    std::vector<CurrentRow> out;
    if (ids.empty())
        return out;
    out.reserve(ids.size());
    m_db.run(std::string(RowSelect) + "WHERE IDTRADUCAO = ANY($1::bigint[])", {idList(ids, '{', '}')},
             [&](const PostgresConnection::Row& r) { out.push_back(readRow(r)); });
    return out;
}

// Every chain in one statement, each walked by the versions' key as one
// chain() walks it.
std::vector<std::vector<VersionRecord>> PostgresHistoryReader::chains(
    const std::vector<std::pair<std::int64_t, std::int64_t>>& asked)
{
    std::vector<std::vector<VersionRecord>> out(asked.size());
    if (asked.empty())
        return out;
    std::vector<std::int64_t> newest, downTo;
    newest.reserve(asked.size());
    downTo.reserve(asked.size());
    for (const auto& [from, to] : asked) {
        newest.push_back(from);
        downTo.push_back(to);
    }
    m_db.run(std::string("WITH RECURSIVE c(k, id, n, stop) AS (SELECT u.k, u.id, 1, u.stop FROM "
                         "unnest($1::bigint[], $2::bigint[]) WITH ORDINALITY AS u(id, stop, k) UNION ALL "
                         "SELECT c.k, v.IDVERSAOANT, c.n + 1, c.stop FROM c JOIN VERSAO v ON v.IDVERSAO = c.id "
                         "WHERE v.IDVERSAOANT IS NOT NULL AND c.id <> c.stop) SELECT ")
                 + VersionColumns
                 + ", c.k FROM c JOIN VERSAO v ON v.IDVERSAO = c.id JOIN LOTE l ON l.IDLOTE = v.IDLOTE "
                   "ORDER BY c.k, c.n",
             {idList(newest, '{', '}'), idList(downTo, '{', '}')}, [&](const PostgresConnection::Row& r) {
                 out.at(static_cast<std::size_t>(r.integer(13) - 1)).push_back(readVersion(r));
             });
    return out;
}

std::optional<VersionRecord> PostgresHistoryReader::version(std::int64_t id)
{
    std::optional<VersionRecord> out;
    m_db.run(std::string("SELECT ") + VersionColumns
                 + " FROM VERSAO v JOIN LOTE l ON l.IDLOTE = v.IDLOTE WHERE v.IDVERSAO = $1",
             {text(id)}, [&](const PostgresConnection::Row& r) { out = readVersion(r); });
    return out;
}

std::optional<BatchRecord> PostgresHistoryReader::batch(std::int64_t id)
{
    std::optional<BatchRecord> out;
    m_db.run(std::string(BatchSelect) + "WHERE IDLOTE = $1", {text(id)},
             [&](const PostgresConnection::Row& r) { out = readBatch(r); });
    return out;
}

std::vector<BatchRecord> PostgresHistoryReader::batches(const std::string& language, const DateBounds& dates)
{
    std::vector<BatchRecord> out;
    m_db.run(std::string(BatchSelect)
                 + "WHERE IDIDIOMA = $1 AND NRLINHAS > 0 AND DTLOTE >= $2 AND DTLOTE < $3 ORDER BY IDLOTE DESC",
             {language, number(dates.from.value_or(-1e300)), number(dates.until.value_or(1e300))},
             [&](const PostgresConnection::Row& r) { out.push_back(readBatch(r)); });
    return out;
}

std::vector<VersionRecord> PostgresHistoryReader::batchVersions(const BatchRecord& batch)
{
    std::vector<VersionRecord> out;
    if (batch.firstVersion == 0 || batch.rows == 0)
        return out;
    out.reserve(static_cast<std::size_t>(batch.rows));
    m_db.run(std::string("SELECT ") + VersionColumns
                 + " FROM VERSAO v JOIN LOTE l ON l.IDLOTE = v.IDLOTE WHERE v.IDVERSAO >= $1 AND v.IDLOTE = $2 "
                   "ORDER BY v.IDVERSAO LIMIT $3",
             {text(batch.firstVersion), text(batch.id), text(batch.rows)},
             [&](const PostgresConnection::Row& r) { out.push_back(readVersion(r)); });
    return out;
}

std::optional<std::pair<std::int64_t, RowKey>> PostgresHistoryReader::lastDeletion(std::int64_t row)
{
    std::optional<std::pair<std::int64_t, RowKey>> out;
    m_db.run(std::string("SELECT ") + DeletionColumns
                 + " FROM VERSAO_EXCLUSAO e JOIN VERSAO v ON v.IDVERSAO = e.IDVERSAO WHERE v.IDTRADUCAO = $1 "
                   "ORDER BY e.IDVERSAO DESC LIMIT 1",
             {text(row)}, [&](const PostgresConnection::Row& r) { out = readDeletion(r); });
    return out;
}

std::optional<std::int64_t> PostgresHistoryReader::undoneBy(std::int64_t batch)
{
    std::optional<std::int64_t> out;
    m_db.run("SELECT MAX(IDLOTE) FROM LOTE WHERE IDLOTEDESFEITO = $1", {text(batch)},
             [&](const PostgresConnection::Row& r) {
                 if (!r.isNull(0))
                     out = r.integer(0);
             });
    return out;
}

std::vector<std::pair<std::int64_t, std::int64_t>> PostgresHistoryReader::undos(const std::string& language)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> out;
    m_db.run("SELECT IDLOTEDESFEITO, MAX(IDLOTE) FROM LOTE WHERE IDLOTEDESFEITO IS NOT NULL AND IDIDIOMA = $1 "
             "GROUP BY IDLOTEDESFEITO",
             {language}, [&](const PostgresConnection::Row& r) { out.emplace_back(r.integer(0), r.integer(1)); });
    return out;
}

// ---------------------------------------------------------------- writing

std::int64_t PostgresVersionLog::openBatch(const WriteOrigin& origin, const std::string& language, double now)
{
    std::int64_t id = 0;
    m_db.runNullable("INSERT INTO LOTE (IDIDIOMA, TPLOTE, NMUSUARIO, NMMETODO, DTLOTE, IDLOTEDESFEITO) "
                     "VALUES ($1, $2, $3, $4, $5, $6) RETURNING IDLOTE",
                     {language, std::string(1, static_cast<char>(origin.kind)), origin.user,
                      origin.method == usualMethod(origin.kind, origin.undoes.has_value())
                          ? std::nullopt
                          : std::optional<std::string>(origin.method),
                      number(now), origin.undoes ? std::optional<std::string>(text(*origin.undoes)) : std::nullopt},
                     [&](const PostgresConnection::Row& r) { id = r.integer(0); });
    return id;
}

std::int64_t PostgresVersionLog::record(const std::string& language, std::int64_t row,
                                        std::optional<std::int64_t> previous, ChangeType type,
                                        std::string_view statusBefore, std::string_view statusAfter,
                                        const std::optional<std::string_view>& textBefore, double changed, double now)
{
    const Open& batch = batchFor(language, now);
    auto optional = [](std::string_view s) {
        return s.empty() ? std::nullopt : std::optional<std::string>(std::string(s));
    };
    std::int64_t version = 0;
    // One round trip: the version, and the count and first version of its batch.
    m_db.runNullable(
        "WITH v AS (INSERT INTO VERSAO (IDLOTE, IDTRADUCAO, IDVERSAOANT, TPALTERACAO, IDSITANT, IDSITTRADUCAO, "
        "STVALORANT, DTALTERACAO) VALUES ($1, $2, $3, $4, $5, $6, $7, $8) RETURNING IDVERSAO), "
        "l AS (UPDATE LOTE SET NRLINHAS = NRLINHAS + 1, IDVERSAOINI = COALESCE(IDVERSAOINI, (SELECT IDVERSAO FROM v)) "
        "WHERE IDLOTE = $1) SELECT IDVERSAO FROM v",
        {text(batch.id), text(row), previous ? std::optional<std::string>(text(*previous)) : std::nullopt,
         std::to_string(changeTypeCode(type)), optional(statusBefore), optional(statusAfter),
         textBefore ? std::optional<std::string>(std::string(*textBefore)) : std::nullopt,
         changed == batch.when ? std::nullopt : std::optional<std::string>(number(changed))},
        [&](const PostgresConnection::Row& r) { version = r.integer(0); });
    return version;
}

void PostgresVersionLog::recordDeletedKey(std::int64_t version, const RowKey& key)
{
    m_db.run("INSERT INTO VERSAO_EXCLUSAO (IDVERSAO, IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP) "
             "VALUES ($1, $2, $3, $4, $5)",
             {text(version), key.language, key.program, key.component, key.source});
}

PruneCount PostgresVersionLog::prune(double before, std::int64_t limit)
{
    std::vector<BatchRecord> old;
    m_db.run(std::string(BatchSelect) + "WHERE DTLOTE < $1 ORDER BY IDLOTE LIMIT $2", {number(before), text(limit)},
             [&](const PostgresConnection::Row& r) { old.push_back(readBatch(r)); });
    PruneCount count;
    for (const BatchRecord& b : old) {
        if (b.firstVersion != 0 && b.rows > 0) {
            const std::string inBatch = "SELECT IDVERSAO FROM VERSAO WHERE IDVERSAO >= $1 AND IDLOTE = $2 "
                                        "ORDER BY IDVERSAO LIMIT $3";
            const PostgresConnection::Params params{text(b.firstVersion), text(b.id), text(b.rows)};
            m_db.run("DELETE FROM VERSAO_EXCLUSAO WHERE IDVERSAO IN (" + inBatch + ")", params);
            count.versions += m_db.run("DELETE FROM VERSAO WHERE IDVERSAO IN (" + inBatch + ")", params);
        }
        m_db.run("DELETE FROM LOTE WHERE IDLOTE = $1", {text(b.id)});
        ++count.batches;
    }
    return count;
}

} // namespace trd::server
