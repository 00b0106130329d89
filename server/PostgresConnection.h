#pragma once
// One libpq connection with its prepared statements. Values travel as bound
// parameters (text form); rows can be streamed one at a time.
#include "Storage.h"

#include <libpq-fe.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace trd::server {

// A failed statement, with its SQLSTATE ("23505" unique violation, ...).
class PostgresError : public StorageError {
public:
    PostgresError(std::string sqlState, const std::string& message)
        : StorageError(message), m_sqlState(std::move(sqlState)) {}
    const std::string& sqlState() const { return m_sqlState; }

private:
    std::string m_sqlState;
};

class PostgresConnection {
public:
    explicit PostgresConnection(const std::string& conninfo);
    ~PostgresConnection();
    PostgresConnection(const PostgresConnection&) = delete;
    PostgresConnection& operator=(const PostgresConnection&) = delete;

    using Params = std::vector<std::string>;
    struct Row {
        PGresult* result;
        int row;
        std::string_view text(int column) const
        {
            return {PQgetvalue(result, row, column), static_cast<std::size_t>(PQgetlength(result, row, column))};
        }
        double real(int column) const;
        long long integer(int column) const;
    };

    // Runs a statement (prepared once per connection) and visits its rows,
    // streamed one at a time; returns the number of rows affected or visited.
    long long run(const std::string& sql, const Params& params, const std::function<void(const Row&)>& visit = {});
    // Runs plain SQL without parameters (DDL, transaction control).
    void exec(const std::string& sql);

private:
    const std::string& prepared(const std::string& sql, int paramCount);
    [[noreturn]] void fail(PGresult* result);

    PGconn* m_conn = nullptr;
    std::unordered_map<std::string, std::string> m_statements;
};

} // namespace trd::server
