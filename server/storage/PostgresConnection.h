#pragma once
// One libpq connection with its prepared statements. Values travel as bound
// parameters (text form); rows can be streamed one at a time. A connection
// lost while idle (the database restarted) is opened again: a statement that
// starts outside a transaction and has not delivered a row yet is run once
// more on the new connection, so the first call after a restart works.
#include "PostgresLink.h"
#include "Storage.h"

#include <libpq-fe.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace trd::server {

// A failed statement, with its SQLSTATE ("23505" unique violation, ...); the
// client is told what the state means, never the database's text.
class PostgresError : public StorageError {
public:
    PostgresError(std::string sqlState, const std::string& message)
        : StorageError(message, userMessageFor(sqlState), isRetryable(sqlState), kindFor(sqlState)),
          m_sqlState(std::move(sqlState))
    {
    }
    const std::string& sqlState() const { return m_sqlState; }

    static std::string userMessageFor(const std::string& sqlState);
    // Unavailable where waiting may mend it (connection, locks, time limit,
    // resources), else internal.
    static ErrorKind kindFor(const std::string& sqlState);
    // Serialization failure, deadlock: the database aborted us to let another go.
    static bool isRetryable(const std::string& sqlState) { return sqlState == "40001" || sqlState == "40P01"; }

private:
    std::string m_sqlState;
};

struct PostgresTimeouts {
    int statementMs = 30000; // statement_timeout: no call runs longer
    int lockMs = 5000; // lock_timeout: no call waits longer for a lock
};

class PostgresConnection {
public:
    explicit PostgresConnection(const std::string& conninfo, PostgresTimeouts timeouts = {},
                                PostgresLink* link = nullptr);
    ~PostgresConnection();
    PostgresConnection(const PostgresConnection&) = delete;
    PostgresConnection& operator=(const PostgresConnection&) = delete;

    using Params = std::vector<std::string>;
    // Parameters of which some may be NULL (nullopt).
    using NullableParams = std::vector<std::optional<std::string>>;
    struct Row {
        PGresult* result;
        int row;
        std::string_view text(int column) const
        {
            return {PQgetvalue(result, row, column), static_cast<std::size_t>(PQgetlength(result, row, column))};
        }
        double real(int column) const;
        long long integer(int column) const;
        bool isNull(int column) const { return PQgetisnull(result, row, column) != 0; }
    };

    // Runs a statement (prepared once per connection) and visits its rows,
    // streamed one at a time; returns the number of rows affected or visited.
    long long run(const std::string& sql, const Params& params, const std::function<void(const Row&)>& visit = {});
    long long runNullable(const std::string& sql, const NullableParams& params,
                          const std::function<void(const Row&)>& visit = {});
    // Runs plain SQL without parameters (DDL, transaction control).
    void exec(const std::string& sql);
    // COPY ... FROM STDIN of `data` (the text format: tab-separated columns,
    // one row a line, escaped by the caller); inside the caller's
    // transaction. Returns the rows copied.
    long long copyIn(const std::string& sql, std::string_view data);
    // The libpq connection, for waiting on its socket (notifications).
    PGconn* handle() const { return m_conn; }

private:
    void open();
    void ensureOpen();
    bool lostConnection();
    long long runValues(const std::string& sql, const std::vector<const char*>& values,
                        const std::function<void(const Row&)>& visit);
    long long runOnce(const std::string& sql, const std::vector<const char*>& values,
                      const std::function<void(const Row&)>& visit, bool& visited);
    void execOnce(const std::string& sql);
    const std::string& prepared(const std::string& sql, int paramCount);
    [[noreturn]] void fail(PGresult* result);

    std::string m_conninfo;
    PostgresTimeouts m_timeouts;
    PostgresLink* m_link;
    unsigned m_epoch = 0;
    PGconn* m_conn = nullptr;
    std::unordered_map<std::string, std::string> m_statements;
};

} // namespace trd::server
