#include "PostgresBulkLoad.h"

#include "PostgresRelease.h"

#include <algorithm>
#include <functional>
#include <map>

namespace trd::server::pgbulk {

namespace {

// Per connection: the keys of a chunk, when some of them may already be in
// the table. A chunk empties it before it fills it, and a commit or a
// rollback leaves nothing in it.
const char* const StagingSql = R"SQL(
CREATE TEMP TABLE IF NOT EXISTS trd_carga_chaves (
    NRLINHA BIGINT, IDIDIOMA TEXT, CDPROGTRAD TEXT, NMCOMPONENTE TEXT, STAGRVALPROP TEXT
) ON COMMIT DELETE ROWS;
TRUNCATE trd_carga_chaves;
)SQL";

// Obsolete rows count, as they do for a row-by-row import.
const char* const ExistingSql =
    "SELECT s.NRLINHA FROM trd_carga_chaves s JOIN TRADUCAO t ON t.IDIDIOMA = s.IDIDIOMA "
    "AND t.CDPROGTRAD = s.CDPROGTRAD AND t.NMCOMPONENTE = s.NMCOMPONENTE AND md5(t.STAGRVALPROP) = md5(s.STAGRVALPROP) "
    "AND t.STAGRVALPROP = s.STAGRVALPROP ORDER BY s.NRLINHA";

// The ids of the rows and of their versions, drawn before either is written,
// so that each row names its version as it is written: every row is written
// once, and both go in by COPY (which keeps the ids it is given).
const char* const IdsSql = "SELECT nextval(pg_get_serial_sequence('traducao', 'idtraducao')), "
                           "nextval(pg_get_serial_sequence('versao', 'idversao')) FROM generate_series(1, $1)";

std::uint64_t keyHash(const RowKey& key)
{
    std::string joined;
    joined.reserve(key.language.size() + key.program.size() + key.component.size() + key.source.size() + 3);
    joined.append(key.language).append(1, '\0').append(key.program).append(1, '\0');
    joined.append(key.component).append(1, '\0').append(key.source);
    return std::hash<std::string>{}(joined);
}

// One quoted element of a text[] literal.
void arrayItem(std::string& out, std::string_view value)
{
    out += '"';
    for (const char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    out += '"';
}

} // namespace

bool PendingRows::add(const TranslationRow& row, double changed)
{
    const std::uint64_t hash = keyHash(row.key);
    if (m_pending.count(hash))
        return false;
    // Written by an earlier chunk of this load (or a hash met by chance):
    // the next chunk looks for its keys in the table.
    if (!m_seen.insert(hash).second)
        m_checkTable = true;
    m_pending.insert(hash);
    m_rows.push_back(row);
    m_rows.back().changed = changed;
    return true;
}

void PendingRows::clear()
{
    m_rows.clear();
    m_pending.clear();
    m_seen.clear();
}

std::string copyText(const std::vector<TranslationRow>& rows)
{
    std::string out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TranslationRow& r = rows[i];
        out += std::to_string(i);
        out += '\t';
        pgrelease::appendCopyField(out, r.key.language);
        pgrelease::appendCopyField(out, r.key.program);
        pgrelease::appendCopyField(out, r.key.component);
        pgrelease::appendCopyField(out, r.key.source, true);
    }
    return out;
}

std::vector<std::size_t> PendingRows::inTable(PostgresConnection& db) const
{
    std::vector<std::size_t> found;
    if (!m_checkTable)
        return found;
    db.exec(StagingSql);
    db.copyIn("COPY trd_carga_chaves (NRLINHA, IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP) FROM STDIN",
              copyText(m_rows));
    // Planned now, with what the staging table holds now.
    db.exec("ANALYZE trd_carga_chaves");
    db.run(ExistingSql, {},
           [&](const PostgresConnection::Row& r) { found.push_back(static_cast<std::size_t>(r.integer(0))); });
    return found;
}

std::vector<TranslationRow> PendingRows::write(PostgresConnection& db, const BatchFor& batchFor)
{
    if (m_rows.empty())
        return {};
    // The batches are opened (or found) before any row is written.
    std::map<std::string, BatchOf, std::less<>> batches;
    for (const TranslationRow& r : m_rows)
        if (!batches.count(r.key.language))
            batches.emplace(r.key.language, batchFor(r.key.language));
    // Every language of the chunk must be there: the rows' own check of it
    // may be off for the load, and a row of an unknown one goes row by row,
    // where it is refused by name.
    std::string languages = "{";
    for (const auto& [language, batch] : batches) {
        if (languages.size() > 1)
            languages += ',';
        arrayItem(languages, language);
    }
    languages += '}';
    bool unknown = false;
    db.run("SELECT EXISTS (SELECT 1 FROM unnest($1::text[]) AS l(c) WHERE NOT EXISTS "
           "(SELECT 1 FROM IDIOMA WHERE IDIDIOMA = l.c))",
           {languages}, [&](const PostgresConnection::Row& r) { unknown = r.text(0) == "t"; });
    if (unknown) {
        std::vector<TranslationRow> left = std::move(m_rows);
        m_rows.clear();
        m_pending.clear();
        return left;
    }
    const std::vector<std::size_t> existing = inTable(db);
    std::vector<char> written(m_rows.size(), 1);
    for (const std::size_t i : existing)
        written[i] = 0;
    std::vector<std::pair<std::int64_t, std::int64_t>> ids;
    ids.reserve(m_rows.size() - existing.size());
    db.run(IdsSql, {std::to_string(m_rows.size() - existing.size())},
           [&](const PostgresConnection::Row& r) { ids.emplace_back(r.integer(0), r.integer(1)); });

    struct Count {
        std::int64_t rows = 0;
        std::int64_t first = 0;
    };
    std::map<std::int64_t, Count> counts; // by batch
    std::string rows, versions;
    std::size_t size = 0;
    for (const TranslationRow& r : m_rows)
        size += r.key.program.size() + r.key.component.size() + r.key.source.size() + r.destination.size() + 64;
    rows.reserve(size);
    versions.reserve(m_rows.size() * 48);
    std::size_t next = 0;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (!written[i])
            continue;
        const TranslationRow& r = m_rows[i];
        const auto [row, version] = ids.at(next++);
        const BatchOf& batch = batches.find(r.key.language)->second;
        const double changed = r.changed.value_or(batch.when);
        rows += std::to_string(row);
        rows += '\t';
        pgrelease::appendCopyRowTexts(rows, r);
        pgrelease::appendCopyNumber(rows, changed);
        rows += '\t';
        rows += std::to_string(version);
        rows += '\n';
        versions += std::to_string(version) + '\t' + std::to_string(batch.id) + '\t' + std::to_string(row) + "\t1\t";
        pgrelease::appendCopyField(versions, r.status);
        if (changed == batch.when)
            versions += "\\N";
        else
            pgrelease::appendCopyNumber(versions, changed);
        versions += '\n';
        Count& c = counts[batch.id];
        if (c.rows++ == 0)
            c.first = version;
    }

    std::vector<TranslationRow> left;
    db.exec("SAVEPOINT trd_carga");
    try {
        db.copyIn("COPY TRADUCAO (IDTRADUCAO, IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, "
                  "IDSITTRADUCAO, DTALTERACAO, IDULTVERSAO) FROM STDIN",
                  rows);
        db.copyIn("COPY VERSAO (IDVERSAO, IDLOTE, IDTRADUCAO, TPALTERACAO, IDSITTRADUCAO, DTALTERACAO) FROM STDIN",
                  versions);
        for (const auto& [batch, c] : counts)
            db.run(
                "UPDATE LOTE SET NRLINHAS = NRLINHAS + $2, IDVERSAOINI = COALESCE(IDVERSAOINI, $3) WHERE IDLOTE = $1",
                {std::to_string(batch), std::to_string(c.rows), std::to_string(c.first)});
        db.exec("RELEASE SAVEPOINT trd_carga");
        for (const std::size_t i : existing)
            left.push_back(std::move(m_rows[i]));
    } catch (const PostgresError& e) {
        // A refusal of the data: row by row, the row at fault is named.
        if (e.sqlState().rfind("23", 0) != 0)
            throw;
        db.exec("ROLLBACK TO SAVEPOINT trd_carga; RELEASE SAVEPOINT trd_carga");
        left = std::move(m_rows);
    }
    m_rows.clear();
    m_pending.clear();
    return left;
}

} // namespace trd::server::pgbulk
