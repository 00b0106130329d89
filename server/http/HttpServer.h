#pragma once
// The HTTP face of the server: POST /Trd09300.rdmTraducao carries the
// JSON-RPC calls, GET /health tells what a save would meet, GET
// /Trd09300.rdmTraducao/alteracoes waits for colleagues' saves. One line per
// request goes to the log (Log.h): client address, user, method, time taken,
// answer size or error.
//
// Connections are served by an event loop (Boost.Beast on Asio), so an idle or
// slow connection costs a socket and a few kilobytes, never a thread; the calls
// themselves run on a pool of workers because they block on the database.
// Everything a client can make the server hold is bounded: header bytes and
// count, the time to send a whole request, the body, the connections of one
// address and of all, and the part of a streamed answer it has not read yet.
#include "ChangeFeed.h"
#include "HealthProbe.h"
#include "RpcHandler.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

struct HttpOptions {
    std::string host = "127.0.0.1";
    int port = 8211; // 0: any free port
    int threads = 32; // workers running calls
    std::size_t maxBody = 256u << 20;
    std::size_t bodyMemory = 1024u << 20; // for all request bodies in flight together (each costs about 3 x its size)
    std::size_t maxHeaderBytes = 16u << 10; // request line and header fields together
    int maxHeaderCount = 64;
    int requestTimeoutMs = 30000; // from the first byte of a request to its last
    int idleTimeoutMs = 300000; // a kept-alive connection waiting for its next request
    int writeTimeoutMs = 120000; // to hand a whole answer to a client that reads slowly
    std::size_t maxQueuedAnswer = 4u << 20; // of a streamed answer not yet sent; its worker then waits
    int maxConnections = 20000;
    int maxPerAddress = 64;
    std::vector<std::string> serverNames; // names clients may use besides the address (Host, Origin)
    std::string tlsCertFile; // both set: HTTPS only
    std::string tlsKeyFile;
    bool log = true;
    bool countCalls = true; // the counters of /metrics (off only to measure what they cost)
    std::string metricsToken; // set: GET /metrics also from beyond loopback with "Authorization: Bearer" it
};

class HttpServer {
public:
    HttpServer(RpcHandler& handler, HealthProbe& health, HttpOptions options);
    ~HttpServer();

    // Binds exclusively; returns the port bound (the chosen one when port 0),
    // or -1 with the reason in error().
    int bind();
    const std::string& error() const;
    // Serves until stop(); returns false when serving failed. serving, when
    // set, runs on the event loop once connections are being accepted.
    bool serve(std::function<void()> serving = {});
    // Stops accepting, lets the calls in flight finish and answer, then ends serve().
    // Requests waiting for changes are answered at once (the feed stops).
    void stop();

    // Serves the change feed (GET /Trd09300.rdmTraducao/alteracoes,
    // docs/protocol.md): a request waits for its language's next change
    // holding a connection and no thread, so it counts against the limits of
    // connections like any other. Set before serve().
    void setFeed(feed::ChangeFeed& feed);

    // What GET /metrics adds to the counters of calls (HttpServer's own
    // gauges come first): the families the rest of the server knows of, in
    // the text format. Runs on a worker. Set before serve().
    void setMetricsSource(std::function<std::string()> source);

    // The path of a request without a client: onto the event loop, to a
    // worker, back to the loop. True when it came back within timeout: the
    // service's watchdog (ServiceWatchdog.h) is fed only then.
    bool roundTrip(std::chrono::milliseconds timeout);

    // Reads the certificate and key again from their files (renewed in
    // place): connections made from now on use them, those open keep theirs.
    // False with the reason in error when they do not load; the old ones stay.
    bool reloadTls(std::string& error);

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace trd::server
