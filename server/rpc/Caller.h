#pragma once
// Who makes a call, as the methods need it: the user the history names, and
// the batch a save joins (the X-Trd-Lote header, docs/protocol.md).
#include <string>

namespace trd::server {

struct Caller {
    std::string user = "local";   // the login name; "local" on a server without users
    std::string batch;            // the X-Trd-Lote header as sent; empty when absent
};

} // namespace trd::server
