#pragma once
// The command line of trd-server.
#include "Roles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trd::server {

struct ServerOptions {
    std::string db;
    std::string pg; // libpq connection string: PostgreSQL instead of a SQLite file
    std::string host = "127.0.0.1";
    int port = 8211;
    bool demo = false; // implies create
    bool create = false; // a missing or zero-length --db file becomes a new database
    bool readOnly = false; // serve --db without writes
    bool fullCheck = false; // full integrity check at start instead of the quick one
    int checkEveryS = 600; // the quick integrity check while serving, every S seconds; 0: never
    std::uint64_t minFreeMib = 64; // /health fails below this much free disk
    std::string backup; // copy --db to this file and exit, instead of serving
    double pruneHistoryDays = -1; // >= 0: remove the history older than this many days and exit
    int pgStatementTimeoutMs = 30000;
    int pgLockTimeoutMs = 5000;
    int threads = 32;
    std::size_t maxBody = 256u << 20;
    std::size_t bodyMemory = 0; // for request bodies in flight together; 0: 1 GiB or 3 x maxBody, the larger
    int maxConnections = 20000;
    int maxPerAddress = 64;
    int requestTimeoutS = 30; // to receive a whole request
    int idleTimeoutS = 300; // a kept-alive connection between requests
    int writeTimeoutS = 120; // to hand a whole answer to the client
    int statementTimeoutS = 30; // one SQLite read statement
    std::string users; // the users file; empty: beside the --db file, when it exists
    int sessionS = 12 * 3600; // a login's lifetime
    std::vector<std::string> serverNames; // names clients use to reach the server (Host, Origin)
    std::string tlsCert; // PEM files; both or neither
    std::string tlsKey;
    std::string importTsv;
    bool quiet = false;
    bool help = false;
    std::string backupDir; // scheduled backups into this folder (BackupSchedule.h)
    int backupEveryS = 86400;
    int keepDaily = 14;
    int keepWeekly = 8;
    int keepMonthly = 6;
    std::string metricsToken; // GET /metrics from beyond loopback with "Authorization: Bearer TOKEN"
    std::string config; // the configuration file read before the command line (ConfigFile.h)
    bool checkConfig = false; // only say whether the options (file and command line) are good

    // Machine translation (docs/machine-translation.md): the engine's service,
    // the engine's code of the rows' source language, the server's language
    // codes the engine knows by other codes, one request's time limit, and
    // the file of its answers (empty: beside --db; with --pg, in memory).
    std::string mtUrl;
    std::string mtSource = "por";
    std::vector<std::pair<std::string, std::string>> mtLanguages;
    int mtTimeoutMs = 3000;
    std::string mtCache;
};

// trd-server user (add|remove|reset|list|roles|grant|revoke) [NAME ...] --users FILE | --db FILE
struct UserCommand {
    std::string action;
    std::string name;
    std::string usersFile;
    std::optional<Grants> grants; // add --papel PAPEL:IDIOMA...: the new user's roles
    Role role = Role::None; // grant
    std::string language; // grant, revoke
};
std::optional<UserCommand> parseUserCommand(const std::vector<std::string>& args, std::string& error);

// The users file a server uses: the one named, else the database's, "FILE.users".
std::string usersFileFor(const std::string& users, const std::string& db);

// Parses argv, and the configuration file --config names (or --check-config
// [FILE]) before it: an option of the command line replaces the file's.
// Returns the options, or sets error (with the file's line) and returns nothing.
std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& args, std::string& error);

// The checks across options, once all are read; fills the defaults that
// depend on others.
bool finishServerOptions(ServerOptions& options, bool checkEveryGiven, std::string& error);

const char* serverUsage();

} // namespace trd::server
