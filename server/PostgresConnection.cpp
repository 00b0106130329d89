#include "PostgresConnection.h"

#include <charconv>
#include <cstdlib>
#include <exception>

namespace trd::server {

namespace {
struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;
} // namespace

double PostgresConnection::Row::real(int column) const
{
    const std::string_view t = text(column);
    double v = 0;
    std::from_chars(t.data(), t.data() + t.size(), v);
    return v;
}

long long PostgresConnection::Row::integer(int column) const
{
    const std::string_view t = text(column);
    long long v = 0;
    std::from_chars(t.data(), t.data() + t.size(), v);
    return v;
}

PostgresConnection::PostgresConnection(const std::string& conninfo)
{
    m_conn = PQconnectdb(conninfo.c_str());
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const std::string message = PQerrorMessage(m_conn);
        PQfinish(m_conn);
        m_conn = nullptr;
        throw PostgresError("08000", "não foi possível conectar ao PostgreSQL: " + message);
    }
    // Every client write must be durable before it is acknowledged; texts are UTF-8.
    exec("SET synchronous_commit = on; SET client_encoding = 'UTF8'; SET standard_conforming_strings = on");
}

PostgresConnection::~PostgresConnection()
{
    PQfinish(m_conn);
}

void PostgresConnection::fail(PGresult* result)
{
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    std::string message = result ? PQresultErrorMessage(result) : PQerrorMessage(m_conn);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    throw PostgresError(state ? state : "", message);
}

void PostgresConnection::exec(const std::string& sql)
{
    Result r(PQexec(m_conn, sql.c_str()));
    const ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(r.get());
}

const std::string& PostgresConnection::prepared(const std::string& sql, int paramCount)
{
    auto it = m_statements.find(sql);
    if (it != m_statements.end())
        return it->second;
    std::string name = "trd" + std::to_string(m_statements.size() + 1);
    Result r(PQprepare(m_conn, name.c_str(), sql.c_str(), paramCount, nullptr));
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
        fail(r.get());
    return m_statements.emplace(sql, std::move(name)).first->second;
}

long long PostgresConnection::run(const std::string& sql, const Params& params,
                                  const std::function<void(const Row&)>& visit)
{
    const std::string& name = prepared(sql, static_cast<int>(params.size()));
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params)
        values.push_back(p.c_str());
    if (!PQsendQueryPrepared(m_conn, name.c_str(), static_cast<int>(values.size()), values.data(), nullptr,
                             nullptr, 0))
        fail(nullptr);
    PQsetSingleRowMode(m_conn);
    long long count = 0;
    Result failure;
    std::exception_ptr visitError;
    while (PGresult* raw = PQgetResult(m_conn)) {
        Result r(raw);
        switch (PQresultStatus(r.get())) {
        case PGRES_SINGLE_TUPLE:
            ++count;
            if (visit && !failure && !visitError) {
                try {
                    visit(Row{r.get(), 0});
                } catch (...) {
                    visitError = std::current_exception();   // the connection must still be drained
                }
            }
            break;
        case PGRES_TUPLES_OK:
            break;
        case PGRES_COMMAND_OK:
            if (const char* affected = PQcmdTuples(r.get()); affected && *affected)
                count = std::atoll(affected);
            break;
        default:
            if (!failure)
                failure = std::move(r);   // drain the rest before raising
        }
    }
    if (failure)
        fail(failure.get());
    if (visitError)
        std::rethrow_exception(visitError);
    return count;
}

} // namespace trd::server
