#include "SqliteWriter.h"

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
#include "SqliteStorage.h"

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

const char* const SqliteSecondaryIndexSql = R"SQL(
CREATE INDEX IF NOT EXISTS TRADUCAO_SITUACAO
    ON TRADUCAO (IDIDIOMA, IDSITTRADUCAO, DTALTERACAO);
CREATE INDEX IF NOT EXISTS TRADUCAO_DATA
    ON TRADUCAO (IDIDIOMA, DTALTERACAO);
)SQL";

namespace {

class SqliteWriter : public VersionKeepingWriter {
public:
    SqliteWriter(const std::string& path, bool durable, bool keepVersions, bool besideServer, SqliteFileGuard& guard,
                 std::atomic<bool>* damaged, RowChangeRelay& changes)
        : VersionKeepingWriter(m_log, m_reader), m_db(path, durable, SqliteConnection::Mode::ReadWrite, notedVfsName()),
          m_guard(guard),
          m_changes(changes), m_reader(m_db), m_log(m_db, m_reader), m_keepVersions(keepVersions)
    {
        // Beside a serving server, that server alone copies the WAL into the
        // database file (bracketed as its own write for its file guard); a
        // checkpoint made here would change the file under it unannounced,
        // which is exactly what an outside program damaging it looks like.
        if (besideServer)
            sqlite3_wal_autocheckpoint(m_db.handle(), 0);
        else
            m_checkpointer.emplace(path, durable, guard);
        // Its own checkpoints (the log cut after a bulk load, a rescue)
        // write into the file as the checkpointer's do.
        m_guard.noteWritesOf(m_db.handle());
        m_db.setDamageFlag(damaged);
        // Every row this connection writes, whatever the statement, is told
        // to the watcher once its transaction commits.
        sqlite3_update_hook(m_db.handle(), &SqliteWriter::rowWritten, this);
        if (m_checkpointer)
            m_checkpointer->attach(m_db.handle());
        // The connections now hold the database, its WAL and shared memory
        // open: these are the files every later save must still find on disk.
        m_db.exec("SELECT 1 FROM sqlite_schema LIMIT 1");
        m_guard.record(true);
    }
    ~SqliteWriter() override
    {
        sqlite3_update_hook(m_db.handle(), nullptr, nullptr);
        if (m_checkpointer)
            m_checkpointer->detach(m_db.handle());
        m_guard.stopNotingWritesOf(m_db.handle());
    }

    void beginBatch() override
    {
        checkFiles();
        m_db.exec("BEGIN IMMEDIATE");
        m_log.setOrigin(defaultOrigin());
    }
    void commitBatch() override
    {
        try {
            m_db.exec("COMMIT");
        } catch (const SqliteError& e) {
            // A full disk or a busy file stops the commit before its last
            // frame is written: nothing of it is stored. Any other failure
            // (an fsync that failed, an I/O error) may come after the frames
            // reached the disk, and a restart would find them.
            const int primary = e.code() & 0xFF;
            if (primary == SQLITE_FULL || primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
                throw;
            throw outcomeUnknown(std::string("COMMIT: ") + e.what());
        }
        m_changes.publish({std::move(m_written), false});
        m_written.clear();
        // Checked after the commit too: if the files went meanwhile, this
        // commit is in a WAL that may or may not be found again. It stands
        // only when it could be copied into the database file, which is still
        // in place; otherwise nobody can say, and the client is told so.
        const std::string lost = m_guard.check();
        if (lost.empty()) {
            if (std::exchange(m_loaded, false))
                shrinkLog();
            return;
        }
        const bool rescued =
            !m_rescued && m_guard.databaseIntact() && SqliteCheckpointer::rescue(m_db.handle(), m_guard);
        m_rescued = true;
        if (!rescued)
            throw outcomeUnknown("committed after the files changed: " + lost);
    }
    void rollbackBatch() override
    {
        m_written.clear();
        m_log.forgetBatches();
        m_loaded = false;
        if (!sqlite3_get_autocommit(m_db.handle()))
            m_db.exec("ROLLBACK");
    }

    void apply(const RowChange& change, double now) override
    {
        if (change.kind == RowChange::Kind::Insert) {
            insertNew(change.updated, now, now, change.reviveId, change.reviveAfterVersion);
            return;
        }
        if (change.kind == RowChange::Kind::Review) {
            reviewstore::markRow(m_statements, m_reader, m_keepVersions ? &m_log : nullptr, change, now);
            return;
        }
        const Found found = findUnchanged(change);
        if (change.guardReviewed && review::touchesRow(change))
            if (const auto mark =
                    reviewstore::requiredMarkOf(m_statements, change.original.language, found.id, found.lastVersion))
                review::refuseReviewedRow(change.original, *mark);
        if (change.kind == RowChange::Kind::Delete) {
            if (m_keepVersions) {
                const std::int64_t version =
                    m_log.record(change.original.language, found.id, found.lastVersion, ChangeType::Delete,
                                 change.originalStatus, {}, std::string_view(change.originalDestination), now, now);
                m_log.recordDeletedKey(version, change.original);
            }
            auto st = m_db.prepare("DELETE FROM TRADUCAO WHERE IDTRADUCAO = ?");
            st.bind(1, found.id);
            st.run();
            return;
        }
        const auto last =
            keepChange(found, change.originalDestination, change.originalStatus, change.updated, now, now);
        if (sameKey(change.original, change.updated.key)) {
            // The usual save (a text or a status): SQLite rewrites only the
            // indexes of the columns a statement sets, so leaving the key out
            // spares the unique index and the language check on every save.
            updateValues(found.id, change.updated, now, last);
            return;
        }
        write("UPDATE TRADUCAO SET IDIDIOMA = ?, CDPROGTRAD = ?, NMCOMPONENTE = ?, STAGRVALPROP = ?, "
              "STVALORPROP = ?, IDSITTRADUCAO = ?, DTALTERACAO = ?, IDULTVERSAO = ? WHERE IDTRADUCAO = ?",
              change.updated, now, last, found.id);
    }

    void putLanguage(const Language& language) override
    {
        auto st = m_db.prepare("INSERT INTO IDIOMA (IDIDIOMA, DSIDIOMA, IDIPROP) VALUES (?, ?, ?) "
                               "ON CONFLICT (IDIDIOMA) DO UPDATE SET DSIDIOMA = excluded.DSIDIOMA, "
                               "IDIPROP = excluded.IDIPROP");
        st.bind(1, language.code).bind(2, language.description).bind(3, language.prop);
        st.run();
    }

    void insertRow(const TranslationRow& row, double now) override
    {
        // A row that is already there takes the new values.
        const double changed = row.changed.value_or(now);
        const auto existing = m_reader.rowByKey(row.key.language, row.key.program, row.key.component, row.key.source);
        if (!existing) {
            insertNew(row, changed, now, std::nullopt, std::nullopt);
            return;
        }
        const Found found{existing->id, existing->lastVersion};
        updateValues(existing->id, row, changed,
                     keepChange(found, existing->destination, existing->status, row, changed, now));
    }

    void setReviewSettings(const std::string& language, const ReviewSettings& settings) override
    {
        reviewstore::putSettings(m_statements, language, settings);
    }

    void readReleaseRows(const std::string& language, const ReleaseRowVisitor& visit) override
    {
        sqliterelease::readRows(m_db, language, visit);
    }
    void writeRelease(const ReleaseWrite& write, double now) override
    {
        sqliterelease::write(m_db, m_reader, m_log, write, now, m_keepVersions);
    }

    void beginBulkLoad() override
    {
        m_loaded = true;
        {
            auto st = m_db.prepare("SELECT NOT EXISTS (SELECT 1 FROM TRADUCAO)");
            st.step();
            m_bulk = st.integer(0) != 0;
        }
        if (m_bulk)
            m_db.exec("DROP INDEX IF EXISTS TRADUCAO_SITUACAO; DROP INDEX IF EXISTS TRADUCAO_DATA;");
    }

    void endBulkLoad() override
    {
        if (m_bulk)
            m_db.exec(SqliteSecondaryIndexSql);
        m_bulk = false;
    }

private:
    static void rowWritten(void* self, int, const char*, const char* table, sqlite3_int64 rowid)
    {
        auto* writer = static_cast<SqliteWriter*>(self);
        // A delta rolled back to its savepoint is still listed: the watcher
        // reads the rows again, and finds them as they are.
        if (std::strcmp(table, "TRADUCAO") == 0 && writer->m_changes.watched()
            && writer->m_written.size() <= RowChangeRelay::MostListed)
            writer->m_written.push_back(rowid);
    }

    // A bulk load leaves a log as large as what it loaded; copied into the
    // database at once and cut to nothing, it does not double the disk the
    // database needs for as long as the server runs. (Later logs are cut back
    // to the journal size limit whenever SQLite starts one afresh.)
    void shrinkLog()
    {
        if (!m_checkpointer)
            return;
        int logPages = 0, copied = 0;
        SqliteFileGuard::OwnWrite writing(m_guard);
        const int rc =
            SqliteCheckpointer::checkpointWaiting(m_db.handle(), SQLITE_CHECKPOINT_TRUNCATE, &logPages, &copied);
        if (rc != SQLITE_OK)
            logFormat(LogLevel::Warning,
                      "trd-server: o registro de transações não pôde ser reduzido após a carga (%s); será "
                      "copiado para o banco aos poucos",
                      sqlite3_errstr(rc));
    }

    void checkFiles()
    {
        const std::string lost = m_guard.check();
        if (lost.empty()) {
            if (std::exchange(m_loaded, false))
                shrinkLog();
            return;
        }
        if (!m_rescued) {
            // What was acknowledged still sits in the WAL this connection has
            // open: put it in the database before anything else can go wrong.
            m_rescued = true;
            if (sqlite3_get_autocommit(m_db.handle()) && m_guard.databaseIntact())
                SqliteCheckpointer::rescue(m_db.handle(), m_guard);
        }
        throw StorageError("database files lost", lost);
    }

    static bool sameKey(const RowKey& a, const RowKey& b)
    {
        return a.language == b.language && a.program == b.program && a.component == b.component && a.source == b.source;
    }

    static WriteOrigin defaultOrigin()
    {
        WriteOrigin origin;
        origin.method = "trd-server";
        origin.kind = BatchKind::Import;
        return origin;
    }

    struct Found {
        std::int64_t id = 0;
        std::optional<std::int64_t> lastVersion;
    };

    // The row as the client last saw it: found by its original key, with its
    // original destination text and status still in place.
    Found findUnchanged(const RowChange& change)
    {
        // An obsolete row is not there for a client: no read hands it out.
        auto st = m_db.prepare("SELECT IDTRADUCAO, STVALORPROP, IDSITTRADUCAO, IDULTVERSAO FROM TRADUCAO "
                               "WHERE IDIDIOMA = ? AND CDPROGTRAD = ? AND NMCOMPONENTE = ? AND STAGRVALPROP = ?"
                               " AND FLOBSOLETA = 0");
        st.bind(1, change.original.language).bind(2, change.original.program);
        st.bind(3, change.original.component).bind(4, change.original.source);
        if (!st.step())
            changedByOther(change.original, std::nullopt);
        if (st.text(1) != change.originalDestination || st.text(2) != change.originalStatus)
            changedByOther(change.original, st.isNull(3) ? std::nullopt : m_reader.version(st.integer(3)));
        Found found{st.integer(0), std::nullopt};
        if (!st.isNull(3))
            found.lastVersion = st.integer(3);
        return found;
    }

    // Keeps the version of a row going from (destination, status) to `row`
    // and answers the row's newest version afterwards. A write that changes
    // neither the text nor the status keeps none.
    std::optional<std::int64_t> keepChange(const Found& found, const std::string& destination,
                                           const std::string& status, const TranslationRow& row, double changed,
                                           double now)
    {
        const bool textChanged = destination != row.destination;
        if (!m_keepVersions || (!textChanged && status == row.status))
            return found.lastVersion;
        return m_log.record(row.key.language, found.id, found.lastVersion, ChangeType::Change, status, row.status,
                            textChanged ? std::optional<std::string_view>(destination) : std::nullopt, changed, now);
    }

    void updateValues(std::int64_t id, const TranslationRow& row, double changed, std::optional<std::int64_t> last)
    {
        auto st = m_db.prepare("UPDATE TRADUCAO SET STVALORPROP = ?, IDSITTRADUCAO = ?, DTALTERACAO = ?, "
                               "IDULTVERSAO = ? WHERE IDTRADUCAO = ?");
        st.bind(1, row.destination).bind(2, row.status).bind(3, changed).bind(4, last).bind(5, id);
        run(st, row);
    }

    // A new row, with its first version; an undo of a delete brings the row
    // back under its old id when that is still free.
    void insertNew(const TranslationRow& row, double changed, double now, std::optional<std::int64_t> reviveId,
                   std::optional<std::int64_t> reviveAfter)
    {
        if (reviveId && !m_reader.rowById(*reviveId)) {
            auto st =
                m_db.prepare("INSERT INTO TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, "
                             "STVALORPROP, IDSITTRADUCAO, DTALTERACAO, IDTRADUCAO) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
            bindRow(st, row, changed);
            st.bind(8, *reviveId);
            run(st, row);
        } else {
            auto st = m_db.prepare("INSERT INTO TRADUCAO (IDIDIOMA, CDPROGTRAD, NMCOMPONENTE, STAGRVALPROP, "
                                   "STVALORPROP, IDSITTRADUCAO, DTALTERACAO) VALUES (?, ?, ?, ?, ?, ?, ?)");
            bindRow(st, row, changed);
            run(st, row);
        }
        if (!m_keepVersions)
            return;
        const std::int64_t id = sqlite3_last_insert_rowid(m_db.handle());
        const std::int64_t version = m_log.record(row.key.language, id, reviveAfter, ChangeType::Insert, {}, row.status,
                                                  std::nullopt, changed, now);
        auto st = m_db.prepare("UPDATE TRADUCAO SET IDULTVERSAO = ? WHERE IDTRADUCAO = ?");
        st.bind(1, version).bind(2, id);
        st.run();
    }

    static void bindRow(SqliteStatement& st, const TranslationRow& row, double changed)
    {
        st.bind(1, row.key.language).bind(2, row.key.program).bind(3, row.key.component);
        st.bind(4, row.key.source).bind(5, row.destination).bind(6, row.status).bind(7, changed);
    }

    void write(const char* sql, const TranslationRow& row, double now, std::optional<std::int64_t> last,
               std::int64_t id)
    {
        auto st = m_db.prepare(sql);
        bindRow(st, row, now);
        st.bind(8, last).bind(9, id);
        run(st, row);
    }

    // Runs a write, telling the client in its terms why the database refused it.
    static void run(SqliteStatement& st, const TranslationRow& row)
    {
        try {
            st.run();
        } catch (const SqliteError& e) {
            if (e.code() == SQLITE_CONSTRAINT_FOREIGNKEY)
                throw ServerError(ErrorKind::Conflict, "Idioma não cadastrado: " + row.key.language + ".");
            if (e.code() == SQLITE_CONSTRAINT_UNIQUE)
                throw ServerError(ErrorKind::Conflict,
                                  "Já existe uma tradução para o idioma " + row.key.language + ", tela "
                                      + row.key.program + ", componente " + row.key.component
                                      + " com este texto de origem.");
            if (e.isConstraint())
                badArgument(std::string("Registro inválido: ") + e.what() + ".");
            throw;
        }
    }

    void execute(const char* sql) override { m_db.exec(sql); }

    StatementDb* glossary() override { return &m_statements; }

    SqliteConnection m_db;
    std::optional<SqliteCheckpointer> m_checkpointer; // none beside a serving server
    SqliteFileGuard& m_guard;
    RowChangeRelay& m_changes;
    std::vector<std::int64_t> m_written; // rows of the open transaction
    SqliteHistoryReader m_reader;
    SqliteVersionLog m_log;
    bool m_keepVersions;
    bool m_rescued = false;
    bool m_bulk = false;
    bool m_loaded = false; // a bulk load is in the batch being committed
    SqliteStatementDb m_statements{m_db};
};

} // namespace

std::unique_ptr<StorageWriter> openSqliteWriter(const std::string& path, bool durable, bool keepVersions,
                                                bool besideServer, SqliteFileGuard& guard, std::atomic<bool>* damaged,
                                                RowChangeRelay& changes)
{
    return std::make_unique<SqliteWriter>(path, durable, keepVersions, besideServer, guard, damaged, changes);
}

} // namespace trd::server
