#include "SqliteHistory.h"

#include "HistoryRowReading.h"

#include <utility>

namespace trd::server {

namespace sqlitehistory {

// The writer gives the ids (SqliteHistoryIds): never used twice, even after
// --prune-history removed the newest ones, so a version id always orders
// versions in time.
// A batch has no index on its language and date: listing walks its ids, which
// grow with the dates (SqliteHistoryReader::firstBatchFrom), and a single
// post costs one row less in an index. A version has no index on its row:
// each points to the row's version before it, and the row to its newest.
const char* const SchemaSql = R"SQL(
CREATE TABLE LOTE (
    IDLOTE         INTEGER PRIMARY KEY,
    IDIDIOMA       TEXT NOT NULL,
    TPLOTE         TEXT NOT NULL,
    NMUSUARIO      TEXT NOT NULL,
    NMMETODO       TEXT,
    DTLOTE         REAL NOT NULL,
    NRLINHAS       INTEGER NOT NULL DEFAULT 0,
    IDVERSAOINI    INTEGER,
    IDLOTEDESFEITO INTEGER
);
CREATE INDEX LOTE_DESFEITO ON LOTE (IDLOTEDESFEITO) WHERE IDLOTEDESFEITO IS NOT NULL;
CREATE TABLE VERSAO (
    IDVERSAO      INTEGER PRIMARY KEY,
    IDLOTE        INTEGER NOT NULL,
    IDTRADUCAO    INTEGER NOT NULL,
    IDVERSAOANT   INTEGER,
    TPALTERACAO   INTEGER NOT NULL,
    IDSITANT      TEXT,
    IDSITTRADUCAO TEXT,
    STVALORANT    TEXT,
    DTALTERACAO   REAL
);
CREATE TABLE VERSAO_EXCLUSAO (
    IDVERSAO     INTEGER PRIMARY KEY,
    IDIDIOMA     TEXT NOT NULL,
    CDPROGTRAD   TEXT NOT NULL,
    NMCOMPONENTE TEXT NOT NULL,
    STAGRVALPROP TEXT NOT NULL
);
ALTER TABLE TRADUCAO ADD COLUMN IDULTVERSAO INTEGER;
)SQL";

} // namespace sqlitehistory

using namespace historyrows;

// ---------------------------------------------------------------- reading

std::optional<CurrentRow> SqliteHistoryReader::rowByKey(const std::string& language, const std::string& program,
                                                        const std::string& component, const std::string& source)
{
    auto st = m_db.prepare(std::string(RowSelect)
                           + "WHERE IDIDIOMA = ? AND CDPROGTRAD = ? AND NMCOMPONENTE = ? AND STAGRVALPROP = ?");
    st.bind(1, language).bind(2, program).bind(3, component).bind(4, source);
    if (!st.step())
        return std::nullopt;
    return readRow(st);
}

std::optional<CurrentRow> SqliteHistoryReader::rowById(std::int64_t id)
{
    auto st = m_db.prepare(std::string(RowSelect) + "WHERE IDTRADUCAO = ?");
    st.bind(1, id);
    if (!st.step())
        return std::nullopt;
    return readRow(st);
}

std::vector<VersionRecord> SqliteHistoryReader::chain(std::int64_t newest, std::size_t limit, std::int64_t downTo)
{
    // Each version names the one before it; the walk ends at the first
    // version no longer kept (pruned), at `downTo`, or after `limit`. The
    // walk carries each version's columns, so no row is looked up twice.
    auto st = m_db.prepare(
        "WITH RECURSIVE c(n, id, lote, linha, ant, tp, sa, sd, txt, dt) AS ("
        "SELECT 1, IDVERSAO, IDLOTE, IDTRADUCAO, IDVERSAOANT, TPALTERACAO, IDSITANT, IDSITTRADUCAO, STVALORANT, "
        "DTALTERACAO FROM VERSAO WHERE IDVERSAO = ?1 UNION ALL "
        "SELECT c.n + 1, v.IDVERSAO, v.IDLOTE, v.IDTRADUCAO, v.IDVERSAOANT, v.TPALTERACAO, v.IDSITANT, "
        "v.IDSITTRADUCAO, v.STVALORANT, v.DTALTERACAO FROM c JOIN VERSAO v ON v.IDVERSAO = c.ant "
        "WHERE c.id <> ?3 AND c.n < ?2) "
        "SELECT c.id, c.lote, c.linha, c.ant, c.tp, c.sa, c.sd, c.txt, COALESCE(c.dt, l.DTLOTE), l.TPLOTE, "
        "l.NMUSUARIO, l.NMMETODO, l.IDLOTEDESFEITO FROM c JOIN LOTE l ON l.IDLOTE = c.lote ORDER BY c.n");
    st.bind(1, newest).bind(2, static_cast<std::int64_t>(limit == 0 ? INT64_MAX : limit)).bind(3, downTo);
    std::vector<VersionRecord> out;
    while (st.step())
        out.push_back(readVersion(st));
    return out;
}

std::optional<VersionRecord> SqliteHistoryReader::version(std::int64_t id)
{
    auto st = m_db.prepare(std::string("SELECT ") + VersionColumns
                           + " FROM VERSAO v JOIN LOTE l ON l.IDLOTE = v.IDLOTE WHERE v.IDVERSAO = ?");
    st.bind(1, id);
    if (!st.step())
        return std::nullopt;
    return readVersion(st);
}

std::optional<BatchRecord> SqliteHistoryReader::batch(std::int64_t id)
{
    auto st = m_db.prepare(std::string(BatchSelect) + "WHERE IDLOTE = ?");
    st.bind(1, id);
    if (!st.step())
        return std::nullopt;
    return readBatch(st);
}

std::int64_t SqliteHistoryReader::firstBatchFrom(double day)
{
    std::int64_t lo = 0;
    std::int64_t hi = 0;
    {
        auto st = m_db.prepare("SELECT COALESCE(MAX(IDLOTE), 0) + 1 FROM LOTE");
        st.step();
        hi = st.integer(0);
    }
    while (lo < hi) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        auto probe = m_db.prepare("SELECT IDLOTE, DTLOTE FROM LOTE WHERE IDLOTE >= ? ORDER BY IDLOTE LIMIT 1");
        probe.bind(1, mid);
        if (!probe.step() || probe.real(1) >= day)
            hi = mid;
        else
            lo = probe.integer(0) + 1;
    }
    return lo;
}

std::vector<BatchRecord> SqliteHistoryReader::batches(const std::string& language, const DateBounds& dates)
{
    // A day of slack on each side covers a clock set back by less than that.
    const std::int64_t from = dates.from ? firstBatchFrom(*dates.from - 1) : 0;
    const std::int64_t until = dates.until ? firstBatchFrom(*dates.until + 1) : INT64_MAX;
    auto st = m_db.prepare(std::string(BatchSelect)
                           + "WHERE IDLOTE >= ? AND IDLOTE < ? AND IDIDIOMA = ? AND NRLINHAS > 0 "
                             "AND DTLOTE >= ? AND DTLOTE < ? ORDER BY IDLOTE DESC");
    st.bind(1, from).bind(2, until).bind(3, language);
    st.bind(4, dates.from.value_or(-1e300)).bind(5, dates.until.value_or(1e300));
    std::vector<BatchRecord> out;
    while (st.step())
        out.push_back(readBatch(st));
    return out;
}

std::vector<VersionRecord> SqliteHistoryReader::batchVersions(const BatchRecord& batch)
{
    std::vector<VersionRecord> out;
    if (batch.firstVersion == 0 || batch.rows == 0)
        return out;
    // A batch's versions lie from its first one on, between other batches'
    // when several were written at once.
    auto st = m_db.prepare(std::string("SELECT ") + VersionColumns
                           + " FROM VERSAO v JOIN LOTE l ON l.IDLOTE = v.IDLOTE WHERE v.IDVERSAO >= ? "
                             "AND v.IDLOTE = ? ORDER BY v.IDVERSAO LIMIT ?");
    st.bind(1, batch.firstVersion).bind(2, batch.id).bind(3, batch.rows);
    out.reserve(static_cast<std::size_t>(batch.rows));
    while (st.step())
        out.push_back(readVersion(st));
    return out;
}

std::optional<std::pair<std::int64_t, RowKey>> SqliteHistoryReader::lastDeletion(std::int64_t row)
{
    // Deletes are rare: the table of their keys is small.
    auto st = m_db.prepare(std::string("SELECT ") + DeletionColumns
                           + " FROM VERSAO_EXCLUSAO e JOIN VERSAO v ON v.IDVERSAO = e.IDVERSAO "
                             "WHERE v.IDTRADUCAO = ? ORDER BY e.IDVERSAO DESC LIMIT 1");
    st.bind(1, row);
    if (!st.step())
        return std::nullopt;
    return readDeletion(st);
}

std::optional<std::int64_t> SqliteHistoryReader::undoneBy(std::int64_t batch)
{
    auto st = m_db.prepare("SELECT MAX(IDLOTE) FROM LOTE WHERE IDLOTEDESFEITO = ?");
    st.bind(1, batch);
    if (!st.step() || st.isNull(0))
        return std::nullopt;
    return st.integer(0);
}

std::vector<std::pair<std::int64_t, std::int64_t>> SqliteHistoryReader::undos(const std::string& language)
{
    auto st = m_db.prepare("SELECT IDLOTEDESFEITO, MAX(IDLOTE) FROM LOTE WHERE IDLOTEDESFEITO IS NOT NULL "
                           "AND IDIDIOMA = ? GROUP BY IDLOTEDESFEITO");
    st.bind(1, language);
    std::vector<std::pair<std::int64_t, std::int64_t>> out;
    while (st.step())
        out.emplace_back(st.integer(0), st.integer(1));
    return out;
}

// ---------------------------------------------------------------- writing

std::int64_t SqliteVersionLog::openBatch(const WriteOrigin& origin, const std::string& language, double now)
{
    auto st = m_db.prepare("INSERT INTO LOTE (IDIDIOMA, TPLOTE, NMUSUARIO, NMMETODO, DTLOTE, IDLOTEDESFEITO, IDLOTE, "
                           "NRLINHAS, IDVERSAOINI) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const std::int64_t id = m_ids.nextBatch();
    // Opened for the version record() is writing, the batch counts it now.
    const std::int64_t first = std::exchange(m_firstVersion, 0);
    const char code = static_cast<char>(origin.kind);
    st.bind(1, language).bind(2, std::string_view(&code, 1)).bind(3, origin.user).bind(5, now);
    if (origin.method == usualMethod(origin.kind, origin.undoes.has_value()))
        st.bindNull(4);
    else
        st.bind(4, origin.method);
    if (origin.undoes)
        st.bind(6, *origin.undoes);
    else
        st.bindNull(6);
    st.bind(7, id).bind(8, std::int64_t(first != 0 ? 1 : 0));
    if (first != 0)
        st.bind(9, first);
    else
        st.bindNull(9);
    st.run();
    return id;
}

std::int64_t SqliteVersionLog::record(const std::string& language, std::int64_t row,
                                      std::optional<std::int64_t> previous, ChangeType type,
                                      std::string_view statusBefore, std::string_view statusAfter,
                                      const std::optional<std::string_view>& textBefore, double changed, double now)
{
    // A batch this version opens (one post: the usual save) is written with
    // its count and first version, which spares updating it below.
    const std::int64_t version = m_ids.nextVersion();
    m_firstVersion = version;
    const Open* opened = nullptr;
    try {
        opened = &batchFor(language, now);
    } catch (...) {
        m_firstVersion = 0;
        throw;
    }
    const Open& batch = *opened;
    const bool counted = std::exchange(m_firstVersion, 0) == 0;
    auto st = m_db.prepare("INSERT INTO VERSAO (IDLOTE, IDTRADUCAO, IDVERSAOANT, TPALTERACAO, IDSITANT, IDSITTRADUCAO, "
                           "STVALORANT, DTALTERACAO, IDVERSAO) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    st.bind(1, batch.id).bind(2, row).bind(4, static_cast<std::int64_t>(changeTypeCode(type)));
    if (previous)
        st.bind(3, *previous);
    else
        st.bindNull(3);
    if (statusBefore.empty())
        st.bindNull(5);
    else
        st.bind(5, statusBefore);
    if (statusAfter.empty())
        st.bindNull(6);
    else
        st.bind(6, statusAfter);
    if (textBefore)
        st.bind(7, *textBefore);
    else
        st.bindNull(7);
    // Most versions are written when their batch opens (one post, one
    // batch): their date is the batch's and costs nothing.
    if (changed == batch.when)
        st.bindNull(8);
    else
        st.bind(8, changed);
    st.bind(9, version);
    st.run();
    if (counted)
        return version;
    auto count = m_db.prepare("UPDATE LOTE SET NRLINHAS = NRLINHAS + 1, IDVERSAOINI = COALESCE(IDVERSAOINI, ?) "
                              "WHERE IDLOTE = ?");
    count.bind(1, version).bind(2, batch.id);
    count.run();
    return version;
}

void SqliteVersionLog::recordDeletedKey(std::int64_t version, const RowKey& key)
{
    auto st = m_db.prepare("INSERT INTO VERSAO_EXCLUSAO (IDVERSAO, IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP) "
                           "VALUES (?, ?, ?, ?, ?)");
    st.bind(1, version).bind(2, key.language).bind(3, key.program).bind(4, key.component).bind(5, key.source);
    st.run();
}

PruneCount SqliteVersionLog::prune(double before, std::int64_t limit)
{
    const std::int64_t end = m_reader.firstBatchFrom(before);
    std::vector<BatchRecord> old;
    {
        auto st = m_db.prepare(std::string(BatchSelect) + "WHERE IDLOTE < ? AND DTLOTE < ? ORDER BY IDLOTE LIMIT ?");
        st.bind(1, end).bind(2, before).bind(3, limit);
        while (st.step())
            old.push_back(readBatch(st));
    }
    PruneCount count;
    // What goes may hold the newest ids: the writer must never give them again.
    if (!old.empty())
        sqlitehistory::keepHighestIds(m_db);
    for (const BatchRecord& b : old) {
        if (b.firstVersion != 0 && b.rows > 0) {
            const char* const inBatch = "SELECT IDVERSAO FROM VERSAO WHERE IDVERSAO >= ? AND IDLOTE = ? "
                                        "ORDER BY IDVERSAO LIMIT ?";
            auto keys = m_db.prepare(std::string("DELETE FROM VERSAO_EXCLUSAO WHERE IDVERSAO IN (") + inBatch + ")");
            keys.bind(1, b.firstVersion).bind(2, b.id).bind(3, b.rows);
            keys.run();
            auto versions = m_db.prepare(std::string("DELETE FROM VERSAO WHERE IDVERSAO IN (") + inBatch + ")");
            versions.bind(1, b.firstVersion).bind(2, b.id).bind(3, b.rows);
            versions.run();
            count.versions += sqlite3_changes(m_db.handle());
        }
        auto batch = m_db.prepare("DELETE FROM LOTE WHERE IDLOTE = ?");
        batch.bind(1, b.id);
        batch.run();
        ++count.batches;
    }
    return count;
}

} // namespace trd::server
