#include "TermStore.h"

#include "ColumnCursor.h"
#include "SchemaDialect.h"
#include "ServerError.h"
#include "TermRules.h"

namespace trd::server::termstore {

namespace {

// IDTERMO has no foreign key in the history: versions outlive their term.
constexpr const char* Columns =
    "IDTERMO, IDIDIOMA, DSTERMO, DSPREFERIDAS, DSPROIBIDAS, FLNAOTRADUZIR, DSNOTA, CDPROGTRAD, DTALTERACAO, NMUSUARIO";

TermRecord readTerm(const StatementDb::Row& r, int first)
{
    TermRecord t;
    ColumnCursor c(r, first);
    c.read(t.id, t.language, t.source, t.preferred, t.forbidden);
    t.doNotTranslate = c.text() == "S";
    c.read(t.note, t.program, t.changed, t.changedBy);
    return t;
}

void keepVersion(StatementDb& db, TermChange change, const TermRecord& t)
{
    db.run(std::string("INSERT INTO GLOSSARIO_HISTORICO (TPALTERACAO, ") + Columns
               + ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
           {std::string(1, static_cast<char>(change)), t.id, t.language, t.source, t.preferred, t.forbidden,
            std::string(t.doNotTranslate ? "S" : "N"), t.note, t.program, t.changed, t.changedBy});
}

void refuseDuplicateOf(StatementDb& db, const TermRecord& t, const std::string& key)
{
    bool taken = false;
    db.run("SELECT IDTERMO FROM GLOSSARIO WHERE IDIDIOMA = ? AND DSCHAVE = ? AND CDPROGTRAD = ? AND IDTERMO <> ?",
           {t.language, key, t.program, t.id}, [&](const StatementDb::Row&) { taken = true; });
    if (taken)
        terms::refuseDuplicate(t);
}

} // namespace

namespace {

// The glossary's tables for both back ends (SchemaDialect.h).
constexpr std::string_view SchemaTemplate = R"SQL(
CREATE TABLE IF NOT EXISTS GLOSSARIO (
    IDTERMO       {KEY},
    IDIDIOMA      TEXT NOT NULL REFERENCES IDIOMA(IDIDIOMA) ON DELETE CASCADE,
    DSTERMO       TEXT NOT NULL,
    DSCHAVE       TEXT NOT NULL,
    DSPREFERIDAS  TEXT NOT NULL DEFAULT '',
    DSPROIBIDAS   TEXT NOT NULL DEFAULT '',
    FLNAOTRADUZIR TEXT NOT NULL DEFAULT 'N' CHECK (FLNAOTRADUZIR IN ('S', 'N')),
    DSNOTA        TEXT NOT NULL DEFAULT '',
    CDPROGTRAD    TEXT NOT NULL DEFAULT '',
    DTALTERACAO   {REAL} NOT NULL,
    NMUSUARIO     TEXT NOT NULL,
    UNIQUE (IDIDIOMA, DSCHAVE, CDPROGTRAD)
);
CREATE TABLE IF NOT EXISTS GLOSSARIO_HISTORICO (
    IDVERSAOTERMO {KEY},
    TPALTERACAO   TEXT NOT NULL CHECK (TPALTERACAO IN ('I', 'A', 'E')),
    IDTERMO       {ID} NOT NULL,
    IDIDIOMA      TEXT NOT NULL,
    DSTERMO       TEXT NOT NULL,
    DSPREFERIDAS  TEXT NOT NULL,
    DSPROIBIDAS   TEXT NOT NULL,
    FLNAOTRADUZIR TEXT NOT NULL,
    DSNOTA        TEXT NOT NULL,
    CDPROGTRAD    TEXT NOT NULL,
    DTALTERACAO   {REAL} NOT NULL,
    NMUSUARIO     TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS GLOSSARIO_HISTORICO_TERMO ON GLOSSARIO_HISTORICO (IDIDIOMA, IDTERMO);
)SQL";

// Rendered before either pointer below is set (one translation unit
// initialises in order); nothing reads them before main.
const std::string SqliteText = schema::render(SchemaTemplate, schema::Sqlite);
const std::string PostgresText = schema::render(SchemaTemplate, schema::Postgres);

} // namespace

const char* const SqliteSchema = SqliteText.c_str();
const char* const PostgresSchema = PostgresText.c_str();

std::vector<TermRecord> terms(StatementDb& db, const std::string& language)
{
    std::vector<TermRecord> out;
    db.run(std::string("SELECT ") + Columns + " FROM GLOSSARIO WHERE IDIDIOMA = ? ORDER BY DSCHAVE, CDPROGTRAD",
           {language}, [&](const StatementDb::Row& r) { out.push_back(readTerm(r, 0)); });
    return out;
}

std::optional<TermRecord> term(StatementDb& db, const std::string& language, std::int64_t id)
{
    std::optional<TermRecord> out;
    db.run(std::string("SELECT ") + Columns + " FROM GLOSSARIO WHERE IDIDIOMA = ? AND IDTERMO = ?", {language, id},
           [&](const StatementDb::Row& r) { out = readTerm(r, 0); });
    return out;
}

std::vector<TermVersion> history(StatementDb& db, const std::string& language, std::int64_t id)
{
    std::vector<TermVersion> out;
    const auto visit = [&](const StatementDb::Row& r) {
        TermVersion v;
        v.version = r.integer(0);
        v.change = static_cast<TermChange>(r.text(1).empty() ? 'I' : r.text(1)[0]);
        v.term = readTerm(r, 2);
        out.push_back(std::move(v));
    };
    const std::string select =
        std::string("SELECT IDVERSAOTERMO, TPALTERACAO, ") + Columns + " FROM GLOSSARIO_HISTORICO WHERE IDIDIOMA = ?";
    if (id == 0)
        db.run(select + " ORDER BY IDVERSAOTERMO", {language}, visit);
    else
        db.run(select + " AND IDTERMO = ? ORDER BY IDVERSAOTERMO", {language, id}, visit);
    return out;
}

TermRecord write(StatementDb& db, const TermWrite& w, double now)
{
    TermRecord t = w.term;
    t.preferred = terms::normalisedList(t.preferred);
    t.forbidden = terms::normalisedList(t.forbidden);
    t.changed = now;
    const std::string key = terms::termKey(t.source);
    const std::string flag = t.doNotTranslate ? "S" : "N";
    if (w.change == TermChange::Insert) {
        t.id = 0;
        std::int64_t count = 0;
        db.run("SELECT COUNT(*) FROM GLOSSARIO WHERE IDIDIOMA = ?", {t.language},
               [&](const StatementDb::Row& r) { count = r.integer(0); });
        if (count >= static_cast<std::int64_t>(termsize::TermsPerLanguage))
            throw ServerError(ErrorKind::Conflict,
                              "O glossário do idioma " + t.language + " já tem " + std::to_string(count)
                                  + " termos, o máximo.");
        refuseDuplicateOf(db, t, key);
        db.run("INSERT INTO GLOSSARIO (IDIDIOMA, DSTERMO, DSCHAVE, DSPREFERIDAS, DSPROIBIDAS, FLNAOTRADUZIR, DSNOTA, "
               "CDPROGTRAD, DTALTERACAO, NMUSUARIO) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING IDTERMO",
               {t.language, t.source, key, t.preferred, t.forbidden, flag, t.note, t.program, now, t.changedBy},
               [&](const StatementDb::Row& r) { t.id = r.integer(0); });
        keepVersion(db, TermChange::Insert, t);
        return t;
    }
    const std::optional<TermRecord> current = term(db, t.language, t.id);
    if (!current)
        terms::refuseUnknown(t.language, t.id);
    terms::checkSeen(w, *current);
    if (w.change == TermChange::Delete) {
        db.run("DELETE FROM GLOSSARIO WHERE IDTERMO = ?", {t.id});
        TermRecord gone = *current;
        gone.changed = now;
        gone.changedBy = t.changedBy;
        keepVersion(db, TermChange::Delete, gone);
        return gone;
    }
    refuseDuplicateOf(db, t, key);
    db.run("UPDATE GLOSSARIO SET DSTERMO = ?, DSCHAVE = ?, DSPREFERIDAS = ?, DSPROIBIDAS = ?, FLNAOTRADUZIR = ?, "
           "DSNOTA = ?, CDPROGTRAD = ?, DTALTERACAO = ?, NMUSUARIO = ? WHERE IDTERMO = ?",
           {t.source, key, t.preferred, t.forbidden, flag, t.note, t.program, now, t.changedBy, t.id});
    keepVersion(db, TermChange::Alter, t);
    return t;
}

} // namespace trd::server::termstore
