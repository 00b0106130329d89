#include "PostgresBatchWrite.h"

#include "PostgresRelease.h"
#include "ReviewRules.h"

#include <charconv>
#include <map>
#include <optional>
#include <unordered_set>

namespace trd::server::pgbatch {

namespace {

// Per connection, emptied at every commit and before every use; analysed
// once filled, so that no statement over them is planned for an empty table.
const char* const StagingSql = R"SQL(
CREATE TEMP TABLE IF NOT EXISTS trd_lote_chaves (
    NRORDEM INT, IDIDIOMA TEXT, CDPROGTRAD TEXT, NMCOMPONENTE TEXT, STAGRVALPROP TEXT, IDTRADUCAO BIGINT
) ON COMMIT DELETE ROWS;
CREATE TEMP TABLE IF NOT EXISTS trd_lote_linhas (
    NRORDEM INT, TPALTERACAO SMALLINT, IDTRADUCAO BIGINT, STVALORPROP TEXT, IDSITTRADUCAO TEXT, IDULTVERSAO BIGINT,
    IDVERSAO BIGINT, IDLOTE BIGINT, IDVERSAOANT BIGINT, IDSITANT TEXT, STVALORANT TEXT, DTALTERACAO DOUBLE PRECISION
) ON COMMIT DELETE ROWS;
TRUNCATE trd_lote_chaves, trd_lote_linhas;
)SQL";

using pgrelease::appendCopyField;
using pgrelease::copyNumber;

template <class Text>
void nullable(std::string& out, const std::optional<Text>& value, bool last = false)
{
    if (value)
        appendCopyField(out, *value, last);
    else
        out += last ? "\\N\n" : "\\N\t";
}

bool sameKey(const RowKey& a, const RowKey& b)
{
    return a.language == b.language && a.program == b.program && a.component == b.component && a.source == b.source;
}

bool validStatus(const std::string& status)
{
    return status.size() == 1 && std::string_view("TDN").find(status[0]) != std::string_view::npos;
}

// What the table's own checks would refuse, and the row-by-row path words.
bool writable(const RowChange& change)
{
    if (change.kind == RowChange::Kind::Delete)
        return true;
    return change.kind == RowChange::Kind::Modify && sameKey(change.original, change.updated.key)
        && validStatus(change.updated.status);
}

std::optional<std::string> idText(const std::optional<std::int64_t>& id)
{
    return id ? std::optional<std::string>(std::to_string(*id)) : std::nullopt;
}

// The keys of the changes, each after its place among them, and the id a
// row brought back asks for.
std::string keysCopy(const RowChange* changes, std::size_t count, bool updated)
{
    std::string keys;
    for (std::size_t i = 0; i < count; ++i) {
        const RowChange& c = changes[i];
        const RowKey& key = updated ? c.updated.key : c.original;
        keys += std::to_string(i) + '\t';
        appendCopyField(keys, key.language);
        appendCopyField(keys, key.program);
        appendCopyField(keys, key.component);
        appendCopyField(keys, key.source);
        nullable(keys, updated ? idText(c.reviveId) : std::nullopt, true);
    }
    return keys;
}

const char* const KeysCopySql =
    "COPY trd_lote_chaves (NRORDEM, IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, IDTRADUCAO) FROM STDIN";

struct Counted {
    std::int64_t rows = 0;
    std::int64_t first = 0;
};

void countBatches(PostgresConnection& db, const std::map<std::int64_t, Counted>& perBatch)
{
    for (const auto& [batch, counted] : perBatch)
        db.run("UPDATE LOTE SET NRLINHAS = NRLINHAS + $2, IDVERSAOINI = COALESCE(IDVERSAOINI, $3) WHERE IDLOTE = $1",
               {std::to_string(batch), std::to_string(counted.rows), std::to_string(counted.first)});
}

std::vector<std::int64_t> draw(PostgresConnection& db, const char* table, const char* column, std::size_t count)
{
    std::vector<std::int64_t> drawn;
    drawn.reserve(count);
    if (count > 0)
        db.run(std::string("SELECT nextval(pg_get_serial_sequence('") + table + "', '" + column
                   + "')) FROM generate_series(1, $1::bigint)",
               {std::to_string(count)}, [&](const PostgresConnection::Row& r) { drawn.push_back(r.integer(0)); });
    return drawn;
}

bool answersTrue(PostgresConnection& db, const char* sql)
{
    bool yes = false;
    db.run(sql, {}, [&](const PostgresConnection::Row& r) { yes = r.text(0) == "t"; });
    return yes;
}

struct Found {
    std::int64_t id = -1;
    std::string destination;
    std::string status;
    std::optional<std::int64_t> last;
    bool requiredMark = false; // marked as reviewed, in a language that requires review
};

} // namespace

bool writeChanges(PostgresConnection& db, PostgresVersionLog& log, const RowChange* changes, std::size_t count,
                  double now)
{
    for (std::size_t i = 0; i < count; ++i)
        if (!writable(changes[i]))
            return false;
    db.exec(StagingSql);
    db.copyIn(KeysCopySql, keysCopy(changes, count, false));
    db.exec("ANALYZE trd_lote_chaves");

    // Locked in id order, as lockRows() locks them, and read as the row-by-row
    // path reads each before its check.
    std::vector<Found> found(count);
    std::unordered_set<std::int64_t> ids;
    bool twice = false;
    db.run("SELECT k.NRORDEM, t.IDTRADUCAO, t.STVALORPROP, t.IDSITTRADUCAO, t.IDULTVERSAO, "
           "(q.IDIDIOMA IS NOT NULL AND r.IDTRADUCAO IS NOT NULL) FROM trd_lote_chaves k JOIN TRADUCAO t "
           "ON t.IDIDIOMA = k.IDIDIOMA AND t.CDPROGTRAD = k.CDPROGTRAD AND t.NMCOMPONENTE = k.NMCOMPONENTE "
           "AND md5(t.STAGRVALPROP) = md5(k.STAGRVALPROP) AND t.STAGRVALPROP = k.STAGRVALPROP AND t.FLOBSOLETA = 0 "
           "LEFT JOIN IDIOMA_REVISAO q ON q.IDIDIOMA = t.IDIDIOMA AND q.FLREVOBRIG = 'S' "
           "LEFT JOIN REVISAO r ON r.IDTRADUCAO = t.IDTRADUCAO AND r.IDVERSAO IS NOT DISTINCT FROM t.IDULTVERSAO "
           "ORDER BY t.IDTRADUCAO FOR UPDATE OF t",
           {}, [&](const PostgresConnection::Row& r) {
               Found& f = found.at(static_cast<std::size_t>(r.integer(0)));
               if (f.id >= 0)
                   twice = true;
               f.id = r.integer(1);
               f.destination = r.text(2);
               f.status = r.text(3);
               if (!r.isNull(4))
                   f.last = r.integer(4);
               f.requiredMark = r.text(5) == "t";
               if (!ids.insert(f.id).second)
                   twice = true;
           });
    if (twice)
        return false;
    std::size_t versions = 0;
    bool deletes = false, modifications = false;
    for (std::size_t i = 0; i < count; ++i) {
        const RowChange& c = changes[i];
        const Found& f = found[i];
        if (f.id < 0 || f.destination != c.originalDestination || f.status != c.originalStatus)
            return false;
        if (c.guardReviewed && f.requiredMark && review::touchesRow(c))
            return false;
        const bool deleted = c.kind == RowChange::Kind::Delete;
        (deleted ? deletes : modifications) = true;
        if (deleted || f.destination != c.updated.destination || f.status != c.updated.status)
            ++versions;
    }

    // Nothing is refused from here on. The batches open as the first
    // version of each language asks for one, the version ids in the
    // changes' order.
    const std::vector<std::int64_t> drawn = draw(db, "versao", "idversao", versions);
    const std::string changeCode = std::to_string(changeTypeCode(ChangeType::Change));
    const std::string deleteCode = std::to_string(changeTypeCode(ChangeType::Delete));
    std::map<std::int64_t, Counted> perBatch;
    const std::string when = copyNumber(now);
    std::string lines;
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const RowChange& c = changes[i];
        const Found& f = found[i];
        const bool deleted = c.kind == RowChange::Kind::Delete;
        const TranslationRow& row = c.updated;
        // A delete keeps the text it took away; a change the text it changed.
        const bool textKept = deleted || f.destination != row.destination;
        const bool kept = deleted || textKept || f.status != row.status;
        std::optional<std::int64_t> version;
        std::pair<std::int64_t, double> batch;
        if (kept) {
            batch = log.batchWithDate(c.original.language, now);
            version = drawn.at(next++);
            Counted& counted = perBatch[batch.first];
            if (counted.rows++ == 0)
                counted.first = *version;
        }
        lines += std::to_string(i) + '\t' + (deleted ? deleteCode : changeCode) + '\t' + std::to_string(f.id) + '\t';
        if (deleted) {
            lines += "\\N\t\\N\t\\N\t";
        } else {
            appendCopyField(lines, row.destination);
            appendCopyField(lines, row.status);
            nullable(lines, idText(version ? version : f.last));
        }
        if (!kept) {
            lines += "\\N\t\\N\t\\N\t\\N\t\\N\t\\N\n";
            continue;
        }
        appendCopyField(lines, std::to_string(*version));
        appendCopyField(lines, std::to_string(batch.first));
        nullable(lines, idText(f.last));
        nullable(lines, f.status.empty() ? std::nullopt : std::optional<std::string_view>(f.status));
        nullable(lines, textKept ? std::optional<std::string_view>(f.destination) : std::nullopt);
        nullable(lines, now == batch.second ? std::nullopt : std::optional<std::string_view>(when), true);
    }
    db.copyIn("COPY trd_lote_linhas (NRORDEM, TPALTERACAO, IDTRADUCAO, STVALORPROP, IDSITTRADUCAO, IDULTVERSAO, "
              "IDVERSAO, IDLOTE, IDVERSAOANT, IDSITANT, STVALORANT, DTALTERACAO) FROM STDIN",
              lines);
    db.exec("ANALYZE trd_lote_linhas");
    if (versions > 0)
        db.exec("INSERT INTO VERSAO (IDVERSAO, IDLOTE, IDTRADUCAO, IDVERSAOANT, TPALTERACAO, IDSITANT, IDSITTRADUCAO, "
                "STVALORANT, DTALTERACAO) OVERRIDING SYSTEM VALUE SELECT IDVERSAO, IDLOTE, IDTRADUCAO, IDVERSAOANT, "
                "TPALTERACAO, IDSITANT, IDSITTRADUCAO, STVALORANT, DTALTERACAO FROM trd_lote_linhas "
                "WHERE IDVERSAO IS NOT NULL ORDER BY IDVERSAO");
    if (modifications)
        db.run("UPDATE TRADUCAO t SET STVALORPROP = s.STVALORPROP, IDSITTRADUCAO = s.IDSITTRADUCAO, "
               "DTALTERACAO = $1, IDULTVERSAO = s.IDULTVERSAO FROM trd_lote_linhas s "
               "WHERE t.IDTRADUCAO = s.IDTRADUCAO AND s.TPALTERACAO = $2",
               {when, changeCode});
    if (deletes) {
        db.run("INSERT INTO VERSAO_EXCLUSAO (IDVERSAO, IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP) "
               "SELECT s.IDVERSAO, k.IDIDIOMA, k.CDPROGTRAD, k.NMCOMPONENTE, k.STAGRVALPROP FROM trd_lote_linhas s "
               "JOIN trd_lote_chaves k ON k.NRORDEM = s.NRORDEM WHERE s.TPALTERACAO = $1 ORDER BY s.IDVERSAO",
               {deleteCode});
        db.run(
            "DELETE FROM TRADUCAO t USING trd_lote_linhas s WHERE t.IDTRADUCAO = s.IDTRADUCAO AND s.TPALTERACAO = $1",
            {deleteCode});
    }
    countBatches(db, perBatch);
    return true;
}

bool writeInsertions(PostgresConnection& db, PostgresVersionLog& log, const RowChange* changes, std::size_t count,
                     double now)
{
    // Two rows of one key, or two brought back under one id: the second
    // sees the first, which only the row-by-row path does.
    std::unordered_set<std::string> keys;
    std::unordered_set<std::int64_t> revived;
    for (std::size_t i = 0; i < count; ++i) {
        const RowChange& c = changes[i];
        const RowKey& k = c.updated.key;
        if (c.kind != RowChange::Kind::Insert || !validStatus(c.updated.status)
            || !keys.insert(k.language + '\0' + k.program + '\0' + k.component + '\0' + k.source).second
            || (c.reviveId && !revived.insert(*c.reviveId).second))
            return false;
    }
    db.exec(StagingSql);
    db.copyIn(KeysCopySql, keysCopy(changes, count, true));
    db.exec("ANALYZE trd_lote_chaves");
    // Refusals of the row-by-row path, asked before any id is drawn: a
    // sequence gives back none of them.
    if (answersTrue(db,
                    "SELECT EXISTS (SELECT 1 FROM trd_lote_chaves k WHERE NOT EXISTS "
                    "(SELECT 1 FROM IDIOMA i WHERE i.IDIDIOMA = k.IDIDIOMA))")
        || answersTrue(db,
                       "SELECT EXISTS (SELECT 1 FROM trd_lote_chaves k JOIN TRADUCAO t ON t.IDIDIOMA = k.IDIDIOMA "
                       "AND t.CDPROGTRAD = k.CDPROGTRAD AND t.NMCOMPONENTE = k.NMCOMPONENTE "
                       "AND md5(t.STAGRVALPROP) = md5(k.STAGRVALPROP) AND t.STAGRVALPROP = k.STAGRVALPROP)"))
        return false;
    // An id asked back that another row holds now: the row takes a new one.
    std::vector<char> taken(count, 0);
    db.run("SELECT k.NRORDEM FROM trd_lote_chaves k JOIN TRADUCAO t ON t.IDTRADUCAO = k.IDTRADUCAO", {},
           [&](const PostgresConnection::Row& r) { taken.at(static_cast<std::size_t>(r.integer(0))) = 1; });
    std::size_t fresh = 0;
    for (std::size_t i = 0; i < count; ++i)
        fresh += !changes[i].reviveId || taken[i];

    const std::vector<std::int64_t> rowIds = draw(db, "traducao", "idtraducao", fresh);
    const std::vector<std::int64_t> versionIds = draw(db, "versao", "idversao", count);
    const std::string insertCode = std::to_string(changeTypeCode(ChangeType::Insert));
    const std::string when = copyNumber(now);
    std::map<std::int64_t, Counted> perBatch;
    std::string rows, versions;
    std::size_t nextRow = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const RowChange& c = changes[i];
        const TranslationRow& row = c.updated;
        const std::int64_t id = c.reviveId && !taken[i] ? *c.reviveId : rowIds.at(nextRow++);
        const std::int64_t version = versionIds.at(i);
        const auto [batch, opened] = log.batchWithDate(row.key.language, now);
        Counted& counted = perBatch[batch];
        if (counted.rows++ == 0)
            counted.first = version;
        rows += std::to_string(id) + '\t';
        pgrelease::appendCopyRowTexts(rows, row);
        appendCopyField(rows, when);
        appendCopyField(rows, std::to_string(version), true);
        versions += std::to_string(version) + '\t' + std::to_string(batch) + '\t' + std::to_string(id) + '\t';
        nullable(versions, idText(c.reviveAfterVersion));
        appendCopyField(versions, insertCode);
        appendCopyField(versions, row.status);
        nullable(versions, now == opened ? std::nullopt : std::optional<std::string_view>(when), true);
    }
    db.exec("SAVEPOINT trd_lote_novas");
    try {
        db.copyIn("COPY TRADUCAO (IDTRADUCAO, IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, "
                  "IDSITTRADUCAO, DTALTERACAO, IDULTVERSAO) FROM STDIN",
                  rows);
        db.copyIn("COPY VERSAO (IDVERSAO, IDLOTE, IDTRADUCAO, IDVERSAOANT, TPALTERACAO, IDSITTRADUCAO, DTALTERACAO) "
                  "FROM STDIN",
                  versions);
        countBatches(db, perBatch);
        db.exec("RELEASE SAVEPOINT trd_lote_novas");
    } catch (const PostgresError& e) {
        // A value the table refuses (too long, say): row by row, the row at
        // fault is named. The ids drawn stay unused, as a refused row's do.
        const std::string& state = e.sqlState();
        if (state.rfind("23", 0) != 0 && state.rfind("22", 0) != 0)
            throw;
        db.exec("ROLLBACK TO SAVEPOINT trd_lote_novas; RELEASE SAVEPOINT trd_lote_novas");
        return false;
    }
    return true;
}

} // namespace trd::server::pgbatch
