#pragma once
// The families of GET /metrics that the parts beyond the HTTP edge know of:
// the writer's saves, the translation memory's index, the database's size,
// the last integrity check and the last backup. Read when scraped, never on
// the path of a call.
#include "ServerContext.h"

#include <functional>
#include <string>

namespace trd::server {

struct BackupFigures {
    std::int64_t lastMs = 0; // when the last scheduled copy was written and checked (Unix ms; 0: none)
    bool lastOk = true; // whether the last attempt succeeded
    std::size_t kept = 0; // copies kept now
};

// backups: the scheduled copies' figures, when the server makes them.
std::string serviceMetrics(ServerContext& context, const std::function<BackupFigures()>& backups);

} // namespace trd::server
