#include "HttpServer.h"

#include "RpcError.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace trd::server {

namespace {
constexpr const char* ObjectPath = "/Trd09300.rdmTraducao";
constexpr const char* JsonType = "application/json; charset=utf-8";
} // namespace

HttpServer::HttpServer(RpcHandler& handler, HealthProbe& health, HttpOptions options)
    : m_handler(handler), m_health(health), m_options(std::move(options)),
      m_server(std::make_unique<httplib::Server>())
{
    auto& srv = *m_server;
    const auto threads = static_cast<std::size_t>(std::max(1, m_options.threads));
    srv.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    srv.set_tcp_nodelay(true);
    // A kept-alive connection holds a worker while it idles; release it soon
    // so that idle editors do not keep new clients waiting (clients reconnect).
    srv.set_keep_alive_max_count(1u << 30);
    srv.set_keep_alive_timeout(5);
    srv.set_read_timeout(60, 0);
    srv.set_write_timeout(60, 0);
    srv.set_payload_max_length(m_options.maxBody);

    srv.Post(ObjectPath, [this](const httplib::Request& req, httplib::Response& res) {
        const auto start = std::chrono::steady_clock::now();
        RpcOutcome outcome = m_handler.handle(req.body);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        res.status = 200;
        res.body = std::move(outcome.body);
        res.set_header("Content-Type", JsonType);
        if (m_options.log) {
            const std::string method = outcome.method.empty() ? "-" : outcome.method;
            log(method.c_str(), ms,
                outcome.ok ? std::to_string(outcome.resultBytes) + " bytes"
                           : "erro " + std::to_string(outcome.errorCode) + ": " + outcome.errorMessage
                                 + (outcome.errorDetail.empty() ? std::string() : " [" + outcome.errorDetail + "]"));
        }
    });
    srv.Post(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
        res.status = 404;
        res.body = RpcHandler::errorBody(rpc::MethodNotFound, "Objeto remoto desconhecido: " + req.path.substr(1, 80) + ".");
        res.set_header("Content-Type", JsonType);
        if (m_options.log)
            log("-", 0, "objeto desconhecido " + req.path.substr(0, 80));
    });
    srv.Get("/health", [this](const httplib::Request&, httplib::Response& res) {
        const auto start = std::chrono::steady_clock::now();
        const HealthReport report = m_health.check();
        res.status = report.ok ? 200 : 503;
        res.set_content(report.body, "text/plain; charset=utf-8");
        if (m_options.log)
            log("health", std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
                report.ok ? std::string("OK") : report.body.substr(0, report.body.find('\n'))
                        + (report.detail.empty() ? std::string() : " [" + report.detail + "]"));
    });
    // The only error status with a body of ours: a body over the limit never
    // reaches a handler, yet the client deserves a JSON-RPC answer.
    srv.set_error_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (res.status == 413) {
            res.body = RpcHandler::errorBody(rpc::InvalidRequest,
                                             "Requisição grande demais: o limite é de "
                                                 + std::to_string(m_options.maxBody / (1024 * 1024)) + " MiB.");
            res.set_header("Content-Type", JsonType);
            if (m_options.log)
                log("-", 0, "erro: corpo acima do limite");
        }
    });
}

HttpServer::~HttpServer() = default;

int HttpServer::bind()
{
    if (m_options.port == 0)
        return m_server->bind_to_any_port(m_options.host);
    return m_server->bind_to_port(m_options.host, m_options.port) ? m_options.port : -1;
}

bool HttpServer::serve()
{
    return m_server->listen_after_bind();
}

void HttpServer::stop()
{
    m_server->stop();
}

void HttpServer::log(const char* method, double ms, const std::string& what) const
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto msPart = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    localtime_r(&t, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    // One write per line, so lines of concurrent requests never interleave.
    std::fprintf(stderr, "%s.%03d %s %.3f ms %s\n", stamp, static_cast<int>(msPart), method, ms, what.c_str());
}

} // namespace trd::server
