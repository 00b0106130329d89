#pragma once
// The floors a server benchmark prints its round trips beside, measured in
// the same run: a loopback HTTP round trip to a server that does nothing, and
// a bare durable PostgreSQL commit of one row. Each returns the times in ms.
#include "BenchStats.h"

#include <httplib.h>
#include <libpq-fe.h>

#include <string>
#include <thread>
#include <vector>

namespace trd::bench {

// 2,000 POSTs on one kept-alive connection, Nagle off on both ends.
inline std::vector<double> loopbackHttpRoundTrips()
{
    httplib::Server srv;
    srv.set_tcp_nodelay(true);
    srv.Post("/x", [](const httplib::Request&, httplib::Response& res) { res.set_content("{}", "application/json"); });
    const int port = srv.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { srv.listen_after_bind(); });
    httplib::Client client("127.0.0.1", port);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    std::vector<double> times;
    for (int i = 0; i < 2000; ++i) {
        const auto t = Clock::now();
        if (!client.Post("/x", "{}", "application/json"))
            break;
        times.push_back(msSince(t));
    }
    srv.stop();
    serving.join();
    return times;
}

// 300 one-row updates of the language ENG's description on one connection,
// each committed alone; the description is put back after.
inline std::vector<double> postgresCommits(const std::string& conninfo)
{
    PGconn* db = PQconnectdb(conninfo.c_str());
    std::vector<double> times;
    for (int i = 0; i < 300 && PQstatus(db) == CONNECTION_OK; ++i) {
        const auto t = Clock::now();
        PQclear(PQexec(
            db, ("UPDATE idioma SET dsidioma = 'floor " + std::to_string(i) + "' WHERE ididioma = 'ENG'").c_str()));
        times.push_back(msSince(t));
    }
    PQclear(PQexec(db, "UPDATE idioma SET dsidioma = 'Inglês' WHERE ididioma = 'ENG'"));
    PQfinish(db);
    return times;
}

} // namespace trd::bench
