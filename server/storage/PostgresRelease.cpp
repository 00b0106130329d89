#include "PostgresRelease.h"

#include "BackslashEscapes.h"
#include "ReleaseRowReading.h"
#include "SchemaDialect.h"

#include <charconv>

namespace trd::server::pgrelease {

namespace {

// Per connection, emptied at every commit; a rolled-back apply leaves
// nothing in them either.
const char* const StagingSql = R"SQL(
CREATE TEMP TABLE IF NOT EXISTS trd_liberacao_novas (
    IDTRADUCAO BIGINT, IDVERSAO BIGINT, CDPROGTRAD TEXT, NMCOMPONENTE TEXT, STAGRVALPROP TEXT,
    STVALORPROP TEXT, IDSITTRADUCAO TEXT, TPLIBERACAO TEXT, IDTRADUCAOANT BIGINT, CDPROGANT TEXT,
    NMCOMPANT TEXT, STAGRVALANT TEXT, NRSIMILAR INT
) ON COMMIT DELETE ROWS;
CREATE TEMP TABLE IF NOT EXISTS trd_liberacao_marcas (
    IDTRADUCAO BIGINT, TPALTERACAO SMALLINT, IDVERSAO BIGINT
) ON COMMIT DELETE ROWS;
DELETE FROM trd_liberacao_novas;
DELETE FROM trd_liberacao_marcas;
)SQL";

std::string insertsCopy(const ReleaseWrite& w)
{
    std::string out;
    for (const ReleaseInsert& r : w.inserts) {
        appendCopyField(out, r.program);
        appendCopyField(out, r.component);
        appendCopyField(out, r.source);
        appendCopyField(out, r.destination);
        appendCopyField(out, r.status);
        if (r.hasOrigin) {
            const char kind = static_cast<char>(r.origin);
            appendCopyField(out, std::string_view(&kind, 1));
            appendCopyField(out, std::to_string(r.fromRow));
            appendCopyField(out, r.fromProgram);
            appendCopyField(out, r.fromComponent);
            appendCopyField(out, r.fromSource);
            appendCopyField(out, std::to_string(r.similarity), true);
        } else {
            out += "\\N\t\\N\t\\N\t\\N\t\\N\t\\N\n";
        }
    }
    return out;
}

std::string marksCopy(const ReleaseWrite& w)
{
    std::string out;
    const auto add = [&](const std::vector<std::int64_t>& ids, const char* type) {
        for (const std::int64_t id : ids)
            out += std::to_string(id) + '\t' + type + '\n';
    };
    add(w.obsolete, "3");
    add(w.revive, "4");
    add(w.remove, "2");
    return out;
}

} // namespace

void appendCopyText(std::string& out, std::string_view value)
{
    // COPY's text form escapes exactly the four that BackslashEscapes.h writes.
    escapes::appendEscaped(out, value);
}

void appendCopyField(std::string& out, std::string_view value, bool last)
{
    appendCopyText(out, value);
    out += last ? '\n' : '\t';
}

void appendCopyRowTexts(std::string& out, const TranslationRow& row)
{
    appendCopyField(out, row.key.language);
    appendCopyField(out, row.key.program);
    appendCopyField(out, row.key.component);
    appendCopyField(out, row.key.source);
    appendCopyField(out, row.destination);
    appendCopyField(out, row.status);
}

void appendCopyNumber(std::string& out, double value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

std::string copyNumber(double value)
{
    std::string out;
    appendCopyNumber(out, value);
    return out;
}

void ensureSchema(PostgresConnection& db)
{
    bool present = false;
    db.run("SELECT EXISTS (SELECT 1 FROM information_schema.columns WHERE table_schema = current_schema() "
           "AND table_name = 'traducao' AND column_name = 'flobsoleta')",
           {}, [&](const PostgresConnection::Row& r) { present = r.text(0) == "t"; });
    // A constant default is kept in the catalog: no row is rewritten.
    if (!present)
        db.exec("ALTER TABLE TRADUCAO ADD COLUMN FLOBSOLETA SMALLINT NOT NULL DEFAULT 0");
    bool table = false;
    db.run("SELECT to_regclass('traducao_anterior') IS NOT NULL", {},
           [&](const PostgresConnection::Row& r) { table = r.text(0) == "t"; });
    if (!present || !table)
        db.exec(schema::render(releaserows::SchemaDefinition, schema::Postgres));
}

void readRows(PostgresConnection& db, const std::string& language, const ReleaseRowVisitor& visit)
{
    db.run(releaserows::rowsSelect("$1"), {language},
           [&](const PostgresConnection::Row& r) { visit(releaserows::readRow(r)); });
}

void selectPreviousSources(PostgresConnection& db, const std::string& language, std::int64_t batch,
                           const PreviousSourceVisitor& visit)
{
    PostgresConnection::Params params{language};
    if (batch != 0)
        params.push_back(std::to_string(batch));
    db.run(releaserows::previousSourcesSelect("$1", batch != 0 ? "$2" : nullptr), params,
           [&](const PostgresConnection::Row& r) { visit(releaserows::readPreviousSource(r)); });
}

void selectObsoleteRows(PostgresConnection& db, const std::string& language, const ObsoleteRowVisitor& visit)
{
    db.run(releaserows::obsoleteRowsSelect("$1"), {language},
           [&](const PostgresConnection::Row& r) { visit(releaserows::readObsoleteRow(r)); });
}

void write(PostgresConnection& db, const ReleaseWrite& w, std::int64_t batch, double now)
{
    const std::string lote = std::to_string(batch);
    db.exec(StagingSql);
    long long versions = 0;
    if (!w.inserts.empty()) {
        db.copyIn("COPY trd_liberacao_novas (CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, "
                  "TPLIBERACAO, IDTRADUCAOANT, CDPROGANT, NMCOMPANT, STAGRVALANT, NRSIMILAR) FROM STDIN",
                  insertsCopy(w));
        // Ids drawn first, so that each row names its version as it is
        // written and the version its row, in three statements.
        db.exec("UPDATE trd_liberacao_novas SET IDTRADUCAO = nextval(pg_get_serial_sequence('traducao', "
                "'idtraducao')), IDVERSAO = nextval(pg_get_serial_sequence('versao', 'idversao'))");
        try {
            versions += db.run(
                "INSERT INTO TRADUCAO (IDTRADUCAO, IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, STVALORPROP, "
                "IDSITTRADUCAO, DTALTERACAO, IDULTVERSAO) OVERRIDING SYSTEM VALUE SELECT IDTRADUCAO, $1, CDPROGTRAD, "
                "NMCOMPONENTE, STAGRVALPROP, STVALORPROP, IDSITTRADUCAO, $2, IDVERSAO FROM trd_liberacao_novas",
                {w.language, copyNumber(now)});
        } catch (const PostgresError& e) {
            if (e.sqlState() == "23505")
                throw ServerError(ErrorKind::Conflict,
                                  "Outra gravação criou, durante a aplicação da liberação, uma linha que ela também "
                                  "cria no idioma "
                                      + w.language + ". Nada foi aplicado; aplique a liberação de novo.");
            throw;
        }
        db.run("INSERT INTO VERSAO (IDVERSAO, IDLOTE, IDTRADUCAO, TPALTERACAO, IDSITTRADUCAO) OVERRIDING SYSTEM VALUE "
               "SELECT IDVERSAO, $1, IDTRADUCAO, 1, IDSITTRADUCAO FROM trd_liberacao_novas",
               {lote});
        db.run("INSERT INTO TRADUCAO_ANTERIOR (IDTRADUCAO, IDLOTE, TPLIBERACAO, IDTRADUCAOANT, CDPROGANT, NMCOMPANT, "
               "STAGRVALANT, NRSIMILAR) SELECT IDTRADUCAO, $1, TPLIBERACAO, IDTRADUCAOANT, CDPROGANT, NMCOMPANT, "
               "STAGRVALANT, NRSIMILAR FROM trd_liberacao_novas WHERE TPLIBERACAO IS NOT NULL",
               {lote});
    }
    if (!w.obsolete.empty() || !w.revive.empty() || !w.remove.empty()) {
        db.copyIn("COPY trd_liberacao_marcas (IDTRADUCAO, TPALTERACAO) FROM STDIN", marksCopy(w));
        // Locked in id order before their versions are read: another
        // server's save of one of them waits for the commit, which follows.
        db.run("SELECT t.IDTRADUCAO FROM TRADUCAO t JOIN trd_liberacao_marcas m ON t.IDTRADUCAO = m.IDTRADUCAO "
               "ORDER BY t.IDTRADUCAO FOR UPDATE OF t",
               {});
        db.exec("UPDATE trd_liberacao_marcas SET IDVERSAO = nextval(pg_get_serial_sequence('versao', 'idversao'))");
        versions += db.run(
            "INSERT INTO VERSAO (IDVERSAO, IDLOTE, IDTRADUCAO, IDVERSAOANT, TPALTERACAO, IDSITANT, IDSITTRADUCAO, "
            "STVALORANT) OVERRIDING SYSTEM VALUE SELECT m.IDVERSAO, $1, t.IDTRADUCAO, t.IDULTVERSAO, m.TPALTERACAO, "
            "t.IDSITTRADUCAO, CASE WHEN m.TPALTERACAO = 2 THEN NULL ELSE t.IDSITTRADUCAO END, "
            "CASE WHEN m.TPALTERACAO = 2 THEN t.STVALORPROP END "
            "FROM trd_liberacao_marcas m JOIN TRADUCAO t ON t.IDTRADUCAO = m.IDTRADUCAO",
            {lote});
        if (!w.remove.empty()) {
            db.run("INSERT INTO VERSAO_EXCLUSAO (IDVERSAO, IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP) "
                   "SELECT m.IDVERSAO, t.IDIDIOMA, t.CDPROGTRAD, t.NMCOMPONENTE, t.STAGRVALPROP "
                   "FROM trd_liberacao_marcas m JOIN TRADUCAO t ON t.IDTRADUCAO = m.IDTRADUCAO WHERE m.TPALTERACAO = 2",
                   {});
            db.run("DELETE FROM TRADUCAO t USING trd_liberacao_marcas m WHERE t.IDTRADUCAO = m.IDTRADUCAO "
                   "AND m.TPALTERACAO = 2",
                   {});
        }
        db.run("UPDATE TRADUCAO t SET FLOBSOLETA = CASE WHEN m.TPALTERACAO = 3 THEN 1 ELSE 0 END, "
               "IDULTVERSAO = m.IDVERSAO FROM trd_liberacao_marcas m WHERE t.IDTRADUCAO = m.IDTRADUCAO "
               "AND m.TPALTERACAO IN (3, 4)",
               {});
    }
    db.run("UPDATE LOTE SET NRLINHAS = NRLINHAS + $2, IDVERSAOINI = COALESCE(IDVERSAOINI, (SELECT MIN(v) FROM ("
           "SELECT MIN(IDVERSAO) AS v FROM trd_liberacao_novas UNION ALL SELECT MIN(IDVERSAO) FROM trd_liberacao_marcas"
           ") AS u)) WHERE IDLOTE = $1",
           {lote, std::to_string(versions)});
}

} // namespace trd::server::pgrelease
