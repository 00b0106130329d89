#pragma once
// The command line of trd-server.
#include <optional>
#include <string>
#include <vector>

namespace trd::server {

struct ServerOptions {
    std::string db;
    std::string pg;            // libpq connection string: PostgreSQL instead of a SQLite file
    std::string host = "127.0.0.1";
    int port = 8211;
    bool demo = false;
    int threads = 32;
    std::size_t maxBody = 256u << 20;
    std::string importTsv;
    bool quiet = false;
    bool help = false;
};

// Parses argv; returns the options, or sets error and returns nothing.
std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& args, std::string& error);

const char* serverUsage();

} // namespace trd::server
