#include "PostgresConnection.h"

#include "Log.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace trd::server {

namespace {
struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}
// A database host that stops answering (a network cut, not a refusal) must
// not hold a worker forever: a connection attempt gives up after 5 s, and a
// silent peer is noticed by TCP keepalives within about 25 s. Settings the
// operator gave win; URIs are left as they are.
std::string withDefaults(const std::string& conninfo)
{
    if (conninfo.rfind("postgres", 0) == 0)
        return conninfo;
    std::string out = conninfo;
    for (const char* setting :
         {"connect_timeout=5", "keepalives_idle=10", "keepalives_interval=5", "keepalives_count=3"}) {
        const std::string key = std::string(setting).substr(0, std::string(setting).find('=') + 1);
        if (conninfo.find(key) == std::string::npos)
            out += std::string(" ") + setting;
    }
    return out;
}

} // namespace

std::string PostgresError::userMessageFor(const std::string& state)
{
    const std::string cls = state.substr(0, 2);
    if (cls == "08" || state == "57P01" || state == "57P02" || state == "57P03")
        return "Sem conexão com o banco de dados do servidor; a operação não foi feita. Tente novamente em instantes.";
    if (state == "57014")
        return "A operação excedeu o tempo limite do banco de dados e foi cancelada; nada foi gravado. Tente "
               "novamente.";
    if (state == "55P03")
        return "Os registros estão bloqueados por outra operação no banco de dados; a operação não foi feita. Tente "
               "novamente em instantes.";
    if (isRetryable(state))
        return "O banco de dados estava ocupado com gravações simultâneas e esta não pôde ser concluída; nada foi "
               "gravado. Tente salvar novamente.";
    if (cls == "53")
        return "O banco de dados do servidor está sem recursos (espaço em disco ou memória); a operação não foi "
               "feita. Avise o administrador do sistema.";
    if (cls == "XX")
        return "O banco de dados do servidor está danificado; a operação não foi feita. Avise o administrador do "
               "sistema.";
    return {};
}

ErrorKind PostgresError::kindFor(const std::string& state)
{
    const std::string cls = state.substr(0, 2);
    if (cls == "08" || cls == "53" || state == "57P01" || state == "57P02" || state == "57P03" || state == "57014"
        || state == "55P03" || isRetryable(state))
        return ErrorKind::Unavailable;
    return ErrorKind::Internal;
}

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

PostgresConnection::PostgresConnection(const std::string& conninfo, PostgresTimeouts timeouts, PostgresLink* link)
    : m_conninfo(withDefaults(conninfo)), m_timeouts(timeouts), m_link(link)
{
    if (m_link && !m_link->mayAttempt())
        throw PostgresError("08006", "PostgreSQL fora do ar; nova tentativa de conexão em instantes");
    if (m_link)
        m_epoch = m_link->epoch();
    m_conn = PQconnectdb(m_conninfo.c_str());
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const std::string message = trimmed(PQerrorMessage(m_conn));
        PQfinish(m_conn);
        m_conn = nullptr;
        if (m_link)
            m_link->attemptFailed();
        throw PostgresError("08000", "não foi possível conectar ao PostgreSQL: " + message);
    }
    open();
    if (m_link)
        m_link->attemptSucceeded();
}

PostgresConnection::~PostgresConnection()
{
    PQfinish(m_conn);
}

void PostgresConnection::open()
{
    // Every client write must be durable before it is acknowledged; texts are
    // UTF-8. No call may hang on the database: statements and lock waits are
    // bounded, and fail with a message of their own.
    execOnce("SET synchronous_commit = on; SET client_encoding = 'UTF8'; SET standard_conforming_strings = on; "
             "SET client_min_messages = warning; "
             "SET statement_timeout = "
             + std::to_string(m_timeouts.statementMs) + "; SET lock_timeout = " + std::to_string(m_timeouts.lockMs));
}

// Reconnects a connection that was lost (or that the others found stale),
// never inside a transaction: that one is gone with its connection and the
// caller must hear of it.
void PostgresConnection::ensureOpen()
{
    const bool stale = m_link && m_epoch != m_link->epoch();
    if (PQstatus(m_conn) == CONNECTION_OK && (!stale || PQtransactionStatus(m_conn) != PQTRANS_IDLE))
        return;
    if (m_link && !m_link->mayAttempt())
        throw PostgresError("08006", "PostgreSQL fora do ar; nova tentativa de conexão em instantes");
    if (m_link)
        m_epoch = m_link->epoch();
    m_statements.clear();
    PQreset(m_conn);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        if (m_link)
            m_link->attemptFailed();
        throw PostgresError("08006", "reconexão ao PostgreSQL falhou: " + trimmed(PQerrorMessage(m_conn)));
    }
    open();
    if (m_link)
        m_link->attemptSucceeded();
    logFormat(LogLevel::Info, "trd-server: conexão com o PostgreSQL restabelecida");
}

bool PostgresConnection::lostConnection()
{
    if (PQstatus(m_conn) != CONNECTION_BAD)
        return false;
    if (m_link)
        m_link->lost();
    return true;
}

void PostgresConnection::fail(PGresult* result)
{
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    std::string message = trimmed(result ? PQresultErrorMessage(result) : PQerrorMessage(m_conn));
    std::string sqlState = state ? state : "";
    if (sqlState.empty() && PQstatus(m_conn) == CONNECTION_BAD)
        sqlState = "08006";
    throw PostgresError(sqlState, message);
}

void PostgresConnection::exec(const std::string& sql)
{
    ensureOpen();
    const bool idle = PQtransactionStatus(m_conn) == PQTRANS_IDLE;
    try {
        execOnce(sql);
        return;
    } catch (const PostgresError&) {
        if (!lostConnection() || !idle)
            throw;
    }
    ensureOpen();
    execOnce(sql);
}

long long PostgresConnection::copyIn(const std::string& sql, std::string_view data)
{
    ensureOpen();
    {
        Result r(PQexec(m_conn, sql.c_str()));
        if (PQresultStatus(r.get()) != PGRES_COPY_IN)
            fail(r.get());
    }
    // In pieces: one call per megabyte keeps libpq's buffer small.
    constexpr std::size_t Piece = 1 << 20;
    const char* error = nullptr;
    for (std::size_t at = 0; at < data.size() && !error; at += Piece) {
        const std::size_t n = std::min(Piece, data.size() - at);
        if (PQputCopyData(m_conn, data.data() + at, static_cast<int>(n)) != 1)
            error = "o envio do COPY falhou";
    }
    if (PQputCopyEnd(m_conn, error) != 1)
        throw PostgresError("08006", "COPY: " + trimmed(PQerrorMessage(m_conn)));
    long long rows = 0;
    while (PGresult* raw = PQgetResult(m_conn)) {
        Result r(raw);
        if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
            fail(r.get());
        const char* tuples = PQcmdTuples(r.get());
        if (tuples && *tuples)
            rows = std::atoll(tuples);
    }
    return rows;
}

void PostgresConnection::execOnce(const std::string& sql)
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
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params)
        values.push_back(p.c_str());
    return runValues(sql, values, visit);
}

long long PostgresConnection::runNullable(const std::string& sql, const NullableParams& params,
                                          const std::function<void(const Row&)>& visit)
{
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params)
        values.push_back(p ? p->c_str() : nullptr);
    return runValues(sql, values, visit);
}

long long PostgresConnection::runValues(const std::string& sql, const std::vector<const char*>& values,
                                        const std::function<void(const Row&)>& visit)
{
    ensureOpen();
    const bool idle = PQtransactionStatus(m_conn) == PQTRANS_IDLE;
    bool visited = false;
    try {
        return runOnce(sql, values, visit, visited);
    } catch (const PostgresError&) {
        if (!lostConnection() || !idle || visited)
            throw;
    }
    ensureOpen();
    return runOnce(sql, values, visit, visited);
}

long long PostgresConnection::runOnce(const std::string& sql, const std::vector<const char*>& values,
                                      const std::function<void(const Row&)>& visit, bool& visited)
{
    const std::string& name = prepared(sql, static_cast<int>(values.size()));
    if (!PQsendQueryPrepared(m_conn, name.c_str(), static_cast<int>(values.size()), values.data(), nullptr, nullptr, 0))
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
                visited = true;
                try {
                    visit(Row{r.get(), 0});
                } catch (...) {
                    visitError = std::current_exception(); // the connection must still be drained
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
                failure = std::move(r); // drain the rest before raising
        }
    }
    if (failure)
        fail(failure.get());
    if (visitError)
        std::rethrow_exception(visitError);
    return count;
}

} // namespace trd::server
