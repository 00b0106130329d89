#pragma once
// What every connection of the HTTP server shares: the options, the handler
// of calls and the health probe, the limits' accounting (connections, memory
// for bodies, the feed's waiting places, workers waiting on slow readers),
// the event loop and the workers. HttpServer owns it; each HttpSession holds
// a reference.
//
// The order of the members is their order of destruction, reversed: the
// accounting outlives the event loop, whose teardown destroys the
// connections still queued in it, and they count themselves out.
#include "AnswerPieces.h"
#include "ChangeFeed.h"
#include "ConnectionTable.h"
#include "FeedWaiting.h"
#include "HealthProbe.h"
#include "HostPolicy.h"
#include "HttpServer.h"
#include "Log.h"
#include "MemoryBudget.h"
#include "RequestFraming.h"
#include "RpcHandler.h"
#include "ServerMetrics.h"

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>

#include <atomic>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace trd::server {

struct ServerShared {
    ServerShared(RpcHandler& handler, HealthProbe& health, HttpOptions options);

    // One line of the request log (unless --quiet): client address, user,
    // method, time taken, what came of it.
    void log(std::string_view peer, std::string_view user, std::string_view method, double ms, std::string_view what,
             LogLevel level = LogLevel::Info) const;
    FramingLimits framing() const;

    RpcHandler& handler;
    HealthProbe& health;
    feed::ChangeFeed* feed = nullptr;
    const HttpOptions options;
    const HostPolicy hosts;
    MemoryBudget bodies;
    WaitingPlaces waiting; // the change feed's waiting requests, per address
    ReaderWaits readerWaits; // workers waiting on slow readers of streamed answers: half of them at most
    std::atomic<int> inFlight{0};
    std::atomic<bool> stopping{false}; // the loop is gone: no queued piece will be sent
    ConnectionTable connections;
    std::unique_ptr<boost::asio::ssl::context> tls; // set: HTTPS only
    // Contexts replaced by a reload, kept for the connections made with them.
    std::vector<std::unique_ptr<boost::asio::ssl::context>> retiredTls;
    ServerMetrics metrics;
    std::function<std::string()> metricsSource;
    std::atomic<bool> serving{false}; // accepting connections (GET /readyz)
    boost::asio::io_context ioc;
    boost::asio::thread_pool workers;
};

} // namespace trd::server
