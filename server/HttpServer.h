#pragma once
// The HTTP face of the server: POST /Trd09300.rdmTraducao carries the
// JSON-RPC calls, GET /health tells what a save would meet. One line per
// request goes to stderr: method, time taken, answer size or error.
#include "HealthProbe.h"
#include "RpcHandler.h"

#include <cstddef>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace trd::server {

struct HttpOptions {
    std::string host = "127.0.0.1";
    int port = 8211;                         // 0: any free port
    int threads = 32;                        // each keep-alive client holds one while connected
    std::size_t maxBody = 256u << 20;
    bool log = true;
};

class HttpServer {
public:
    HttpServer(RpcHandler& handler, HealthProbe& health, HttpOptions options);
    ~HttpServer();

    // Binds; returns the port bound (the chosen one when port 0), or -1.
    int bind();
    // Serves until stop(); returns false when serving failed.
    bool serve();
    void stop();

private:
    void log(const char* method, double ms, const std::string& what) const;

    RpcHandler& m_handler;
    HealthProbe& m_health;
    HttpOptions m_options;
    std::unique_ptr<httplib::Server> m_server;
};

} // namespace trd::server
