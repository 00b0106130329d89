#pragma once
// Who makes a call, as the methods need it: the user the history names, and
// the batch a save joins (the X-Trd-Lote header, docs/protocol.md).
#include <string>
#include <vector>

namespace trd::server {

struct Caller {
    std::string user = "local";   // the login name; "local" on a server without users
    std::vector<std::string> batchHeaders;   // every X-Trd-Lote header as sent, in order; none when absent
};

} // namespace trd::server
