#include "SqliteConnection.h"

#include "LikePattern.h"
#include "Utf8Text.h"

#include <memory>

namespace trd::server {

namespace {

// Filter conditions are evaluated as per-row functions; these are the same
// rules the PostgreSQL back end implements in SQL, so both answer alike.
std::string_view argText(sqlite3_value* value)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return {text ? text : "", static_cast<std::size_t>(sqlite3_value_bytes(value))};
}

void upperFunction(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const std::string folded = utf8::toUpper(argText(argv[0]));
    sqlite3_result_text(ctx, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

struct LikeAux {
    explicit LikeAux(std::string_view pattern) : pattern(pattern) { }
    LikePattern pattern;
    std::string scratch;
};

template <bool Fold>
void likeFunction(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    // The compiled pattern lives as long as the statement's bound value.
    auto* aux = static_cast<LikeAux*>(sqlite3_get_auxdata(ctx, 1));
    std::unique_ptr<LikeAux> fresh;
    if (!aux) {
        fresh = std::make_unique<LikeAux>(argText(argv[1]));
        aux = fresh.get();
    }
    const bool match = aux->pattern.matches(argText(argv[0]), Fold, aux->scratch);
    sqlite3_result_int(ctx, match ? 1 : 0);
    if (fresh)
        sqlite3_set_auxdata(ctx, 1, fresh.release(), [](void* p) { delete static_cast<LikeAux*>(p); });
}

} // namespace

SqliteStatement::~SqliteStatement()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    if (m_started)
        m_conn->endStatement();
}

SqliteStatement& SqliteStatement::bind(int index, std::string_view text)
{
    const int rc = sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    if (rc != SQLITE_OK)
        m_conn->fail(rc);
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, double value)
{
    const int rc = sqlite3_bind_double(m_stmt, index, value);
    if (rc != SQLITE_OK)
        m_conn->fail(rc);
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value)
{
    const int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK)
        m_conn->fail(rc);
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::optional<std::int64_t> value)
{
    return value ? bind(index, *value) : bindNull(index);
}

SqliteStatement& SqliteStatement::bindNull(int index)
{
    const int rc = sqlite3_bind_null(m_stmt, index);
    if (rc != SQLITE_OK)
        m_conn->fail(rc);
    return *this;
}

bool SqliteStatement::step()
{
    if (!m_started) {
        m_started = true;
        m_conn->startStatement();
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    m_conn->fail(rc);
}

void SqliteStatement::run()
{
    while (step()) { }
}

std::string_view SqliteStatement::text(int column) const
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return {p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column))};
}

std::string SqliteError::userMessageFor(int code)
{
    switch (code & 0xFF) {
    case SQLITE_FULL:
        return "Não há espaço em disco no servidor para gravar; nada foi gravado. Avise o administrador do sistema.";
    case SQLITE_READONLY:
        return "O banco de dados do servidor não aceita gravações (somente leitura); nada foi gravado. Avise o "
               "administrador do sistema.";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return "O banco de dados do servidor está danificado; a operação não foi feita. Avise o administrador do "
               "sistema.";
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        return "Erro de leitura ou gravação no disco do servidor; a operação não foi feita. Avise o administrador do "
               "sistema.";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "O banco de dados do servidor está ocupado; tente novamente em instantes.";
    default:
        return {};
    }
}

ErrorKind SqliteError::kindFor(int code)
{
    switch (code & 0xFF) {
    case SQLITE_FULL:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ErrorKind::Unavailable;
    default:
        return ErrorKind::Internal;
    }
}

SqliteConnection::SqliteConnection(const std::string& path, bool durable, Mode mode, const char* vfs)
{
    const int flags = mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY
        : mode == Mode::Create               ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                             : SQLITE_OPEN_READWRITE;
    const int rc = sqlite3_open_v2(path.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX, vfs);
    if (rc != SQLITE_OK) {
        std::string message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw SqliteError(rc, "não foi possível abrir o banco " + path + ": " + message);
    }
    sqlite3_extended_result_codes(m_db, 1);
    try {
        configure(durable, mode);
    } catch (...) {
        // A file that opens but is no database (or is damaged) fails its
        // first statement here; no destructor runs for a constructor that
        // throws, so the handle and its file would stay open.
        sqlite3_close(m_db);
        m_db = nullptr;
        throw;
    }
}

void SqliteConnection::configure(bool durable, Mode mode)
{
    sqlite3_busy_timeout(m_db, 10000);
    // WAL lets readers run beside the writer; FULL makes every commit durable.
    // A read-only connection takes the journal mode the file already has.
    if (mode != Mode::ReadOnly)
        exec("PRAGMA journal_mode=WAL");
    exec(durable ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
    exec("PRAGMA foreign_keys=ON");
    exec("PRAGMA cache_size=-65536");
    exec("PRAGMA temp_store=MEMORY");
    // No memory map: a database file cut short under the server (an outside
    // truncate, a copy over it) would turn the next read of a mapped page
    // into SIGBUS and end the process; read() answers an error instead.
    exec("PRAGMA mmap_size=0");
    // Whenever SQLite starts the log afresh (every page of it copied into the
    // database, no reader left on it), it cuts the file back to this size:
    // a burst of large saves does not leave a log that size for good.
    exec("PRAGMA journal_size_limit=67108864");
    const int functionFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    sqlite3_progress_handler(m_db, 1000, &SqliteConnection::onProgress, this);
    sqlite3_create_function(m_db, "trd_upper", 1, functionFlags, nullptr, upperFunction, nullptr, nullptr);
    sqlite3_create_function(m_db, "trd_like", 2, functionFlags, nullptr, likeFunction<false>, nullptr, nullptr);
    sqlite3_create_function(m_db, "trd_ulike", 2, functionFlags, nullptr, likeFunction<true>, nullptr, nullptr);
}

void SqliteConnection::startStatement()
{
    m_timedOut = false;
    m_deadline = m_timeLimitMs > 0 ? std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeLimitMs)
                                   : std::chrono::steady_clock::time_point::max();
}

int SqliteConnection::onProgress(void* self)
{
    auto* conn = static_cast<SqliteConnection*>(self);
    if (std::chrono::steady_clock::now() < conn->m_deadline)
        return 0;
    conn->m_timedOut = true;
    return 1;
}

SqliteConnection::~SqliteConnection()
{
    for (auto& [sql, stmt] : m_statements)
        sqlite3_finalize(stmt);
    sqlite3_close(m_db);
}

SqliteStatement SqliteConnection::prepare(const std::string& sql)
{
    auto it = m_statements.find(sql);
    if (it == m_statements.end()) {
        // Statement shapes are few, but filter chains can combine; keep the
        // cache bounded.
        if (m_statements.size() >= 128) {
            for (auto& [text, stmt] : m_statements)
                sqlite3_finalize(stmt);
            m_statements.clear();
        }
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v3(m_db, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                          &stmt, nullptr);
        if (rc != SQLITE_OK)
            fail(rc);
        it = m_statements.emplace(sql, stmt).first;
    }
    return SqliteStatement(*this, it->second);
}

void SqliteConnection::exec(const char* sql)
{
    char* error = nullptr;
    startStatement();
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &error);
    endStatement();
    if (rc != SQLITE_OK) {
        std::string message = error ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
        raise(sqlite3_extended_errcode(m_db), message);
    }
}

void SqliteConnection::fail(int code) const
{
    if (m_timedOut && (code & 0xFF) == SQLITE_INTERRUPT)
        throw StorageError("statement interrupted after " + std::to_string(m_timeLimitMs) + " ms",
                           "A consulta passou do limite de " + std::to_string(m_timeLimitMs / 1000)
                               + " s e foi interrompida; restrinja o filtro e tente de novo.",
                           false, ErrorKind::Unavailable);
    raise(sqlite3_extended_errcode(m_db) ? sqlite3_extended_errcode(m_db) : code, sqlite3_errmsg(m_db));
}

void SqliteConnection::raise(int code, const std::string& message) const
{
    SqliteError error(code, message);
    if (m_damaged && error.isDamage())
        m_damaged->store(true);
    throw error;
}

} // namespace trd::server
