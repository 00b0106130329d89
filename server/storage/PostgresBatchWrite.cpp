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
    NRORDEM INT, IDIDIOMA TEXT, CDPROGTRAD TEXT, NMCOMPONENTE TEXT, STAGRVALPROP TEXT
) ON COMMIT DELETE ROWS;
CREATE TEMP TABLE IF NOT EXISTS trd_lote_linhas (
    IDTRADUCAO BIGINT, STVALORPROP TEXT, IDSITTRADUCAO TEXT, IDULTVERSAO BIGINT, IDVERSAO BIGINT, IDLOTE BIGINT,
    IDVERSAOANT BIGINT, IDSITANT TEXT, STVALORANT TEXT, DTALTERACAO DOUBLE PRECISION
) ON COMMIT DELETE ROWS;
TRUNCATE trd_lote_chaves, trd_lote_linhas;
)SQL";

std::string number(double value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

void field(std::string& out, std::string_view value, bool last = false)
{
    pgrelease::appendCopyText(out, value);
    out += last ? '\n' : '\t';
}

void nullable(std::string& out, const std::optional<std::string_view>& value, bool last = false)
{
    if (value)
        field(out, *value, last);
    else
        out += last ? "\\N\n" : "\\N\t";
}

bool sameKey(const RowKey& a, const RowKey& b)
{
    return a.language == b.language && a.program == b.program && a.component == b.component && a.source == b.source;
}

// What the table's own checks would refuse, and the row-by-row path words.
bool writable(const RowChange& change)
{
    const std::string& status = change.updated.status;
    return sameKey(change.original, change.updated.key) && status.size() == 1
        && std::string_view("TDN").find(status[0]) != std::string_view::npos;
}

struct Found {
    std::int64_t id = -1;
    std::string destination;
    std::string status;
    std::optional<std::int64_t> last;
    bool requiredMark = false; // marked as reviewed, in a language that requires review
};

} // namespace

bool writeModifications(PostgresConnection& db, PostgresVersionLog& log, const RowChange* changes, std::size_t count,
                        double now)
{
    std::string keys;
    for (std::size_t i = 0; i < count; ++i) {
        const RowChange& c = changes[i];
        if (c.kind != RowChange::Kind::Modify || !writable(c))
            return false;
        keys += std::to_string(i) + '\t';
        field(keys, c.original.language);
        field(keys, c.original.program);
        field(keys, c.original.component);
        field(keys, c.original.source, true);
    }
    db.exec(StagingSql);
    db.copyIn("COPY trd_lote_chaves (NRORDEM, IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP) FROM STDIN", keys);
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
    for (std::size_t i = 0; i < count; ++i) {
        const RowChange& c = changes[i];
        const Found& f = found[i];
        if (f.id < 0 || f.destination != c.originalDestination || f.status != c.originalStatus)
            return false;
        if (c.guardReviewed && f.requiredMark && review::touchesRow(c))
            return false;
        if (f.destination != c.updated.destination || f.status != c.updated.status)
            ++versions;
    }

    // Nothing is refused from here on. The batches open as the first
    // version of each language asks for one, the version ids in the
    // changes' order.
    std::vector<std::int64_t> drawn;
    drawn.reserve(versions);
    if (versions > 0)
        db.run("SELECT nextval(pg_get_serial_sequence('versao', 'idversao')) FROM generate_series(1, $1::bigint)",
               {std::to_string(versions)}, [&](const PostgresConnection::Row& r) { drawn.push_back(r.integer(0)); });
    struct Counted {
        std::int64_t rows = 0;
        std::int64_t first = 0;
    };
    std::map<std::int64_t, Counted> perBatch;
    const std::string when = number(now);
    std::string lines;
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const RowChange& c = changes[i];
        const Found& f = found[i];
        const TranslationRow& row = c.updated;
        lines += std::to_string(f.id) + '\t';
        field(lines, row.destination);
        field(lines, row.status);
        const bool textChanged = f.destination != row.destination;
        if (!textChanged && f.status == row.status) {
            nullable(lines, f.last ? std::optional<std::string>(std::to_string(*f.last)) : std::nullopt);
            lines += "\\N\t\\N\t\\N\t\\N\t\\N\t\\N\n";
            continue;
        }
        const auto [batch, opened] = log.batchWithDate(row.key.language, now);
        const std::string version = std::to_string(drawn.at(next++));
        Counted& counted = perBatch[batch];
        if (counted.rows++ == 0)
            counted.first = std::stoll(version);
        field(lines, version);
        field(lines, version);
        field(lines, std::to_string(batch));
        nullable(lines, f.last ? std::optional<std::string>(std::to_string(*f.last)) : std::nullopt);
        nullable(lines, f.status.empty() ? std::nullopt : std::optional<std::string_view>(f.status));
        nullable(lines, textChanged ? std::optional<std::string_view>(f.destination) : std::nullopt);
        nullable(lines, now == opened ? std::nullopt : std::optional<std::string_view>(when), true);
    }
    db.copyIn("COPY trd_lote_linhas (IDTRADUCAO, STVALORPROP, IDSITTRADUCAO, IDULTVERSAO, IDVERSAO, IDLOTE, "
              "IDVERSAOANT, IDSITANT, STVALORANT, DTALTERACAO) FROM STDIN",
              lines);
    db.exec("ANALYZE trd_lote_linhas");
    if (versions > 0)
        db.run("INSERT INTO VERSAO (IDVERSAO, IDLOTE, IDTRADUCAO, IDVERSAOANT, TPALTERACAO, IDSITANT, IDSITTRADUCAO, "
               "STVALORANT, DTALTERACAO) OVERRIDING SYSTEM VALUE SELECT IDVERSAO, IDLOTE, IDTRADUCAO, IDVERSAOANT, "
               "$1::smallint, IDSITANT, IDSITTRADUCAO, STVALORANT, DTALTERACAO FROM trd_lote_linhas "
               "WHERE IDVERSAO IS NOT NULL ORDER BY IDVERSAO",
               {std::to_string(changeTypeCode(ChangeType::Change))});
    db.run("UPDATE TRADUCAO t SET STVALORPROP = s.STVALORPROP, IDSITTRADUCAO = s.IDSITTRADUCAO, DTALTERACAO = $1, "
           "IDULTVERSAO = s.IDULTVERSAO FROM trd_lote_linhas s WHERE t.IDTRADUCAO = s.IDTRADUCAO",
           {when});
    for (const auto& [batch, counted] : perBatch)
        db.run("UPDATE LOTE SET NRLINHAS = NRLINHAS + $2, IDVERSAOINI = COALESCE(IDVERSAOINI, $3) WHERE IDLOTE = $1",
               {std::to_string(batch), std::to_string(counted.rows), std::to_string(counted.first)});
    return true;
}

} // namespace trd::server::pgbatch
