#pragma once
// One SQLite connection with its prepared statements, its pragmas (WAL,
// synchronous=FULL, foreign keys) and the SQL functions the filter conditions
// use: trd_upper(x), trd_like(x, pattern), trd_ulike(x, pattern) (see
// LikePattern for the LIKE rules). A connection is used by one thread at a time.
#include "Storage.h"

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace trd::server {

class SqliteConnection;

// A prepared statement borrowed from the connection's cache; reset and
// unbound when the borrow ends, so the next user starts clean.
class SqliteStatement {
public:
    SqliteStatement(SqliteConnection& connection, sqlite3_stmt* stmt) : m_conn(&connection), m_stmt(stmt) { }
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    SqliteStatement& bind(int index, std::string_view text);
    SqliteStatement& bind(int index, double value);
    SqliteStatement& bind(int index, std::int64_t value);
    // The id, or NULL when there is none.
    SqliteStatement& bind(int index, std::optional<std::int64_t> value);
    SqliteStatement& bindNull(int index);

    // true while there is a row; throws SqliteError on failure.
    bool step();
    // Runs to completion (statements without rows).
    void run();

    std::string_view text(int column) const;
    double real(int column) const { return sqlite3_column_double(m_stmt, column); }
    std::int64_t integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
    bool isNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }

private:
    SqliteConnection* m_conn;
    sqlite3_stmt* m_stmt;
    bool m_started = false;
};

// A failed SQLite call, with its extended result code; the client is told
// what the code means for a save, in its terms.
class SqliteError : public StorageError {
public:
    SqliteError(int code, const std::string& message)
        : StorageError(message, userMessageFor(code), false, kindFor(code)), m_code(code)
    {
    }
    int code() const noexcept { return m_code; }
    bool isConstraint() const noexcept { return (m_code & 0xFF) == SQLITE_CONSTRAINT; }
    bool isDamage() const noexcept { return (m_code & 0xFF) == SQLITE_CORRUPT || (m_code & 0xFF) == SQLITE_NOTADB; }
    static std::string userMessageFor(int code);
    // Unavailable where waiting may mend it (disk full, busy), else internal.
    static ErrorKind kindFor(int code);

private:
    int m_code;
};

class SqliteConnection {
public:
    enum class Mode {
        Create, // the file is made when missing
        ReadWrite, // the file must exist: a connection never creates one behind the checks
        ReadOnly,
    };
    // durable=false (synchronous=NORMAL) exists only so that benchmarks can
    // tell the server's own cost from the disk's fsync; the server never uses it.
    // vfs: a SQLite VFS by name (SqlitePacedVfs), or the default one.
    explicit SqliteConnection(const std::string& path, bool durable = true, Mode mode = Mode::Create,
                              const char* vfs = nullptr);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // Prepares once per connection and text; later calls reuse the statement.
    SqliteStatement prepare(const std::string& sql);
    void exec(const char* sql);
    sqlite3* handle() const { return m_db; }
    [[noreturn]] void fail(int code) const;
    // Raised when a statement meets a damaged page or a file that is no
    // database, so that the server can report it beside the failed request.
    void setDamageFlag(std::atomic<bool>* flag) { m_damaged = flag; }

    // Each statement is interrupted once it has run this long (0: never), so
    // that no request can hold a connection and a core indefinitely.
    void setStatementTimeLimit(int ms) { m_timeLimitMs = ms; }
    void startStatement();
    void endStatement() { m_deadline = std::chrono::steady_clock::time_point::max(); }

private:
    [[noreturn]] void raise(int code, const std::string& message) const;
    // The connection's settings and functions, right after it opened.
    void configure(bool durable, Mode mode);

    sqlite3* m_db = nullptr;
    std::atomic<bool>* m_damaged = nullptr;
    static int onProgress(void* self);
    int m_timeLimitMs = 0;
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::time_point::max();
    bool m_timedOut = false;
    std::unordered_map<std::string, sqlite3_stmt*> m_statements;
};

} // namespace trd::server
