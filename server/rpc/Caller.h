#pragma once
// Who makes a call, as the methods need it: the user the history names, the
// roles the rights are checked against (docs/users.md), and the batch a save
// joins (the X-Trd-Lote header, docs/protocol.md).
#include "Roles.h"

#include <string>
#include <vector>

namespace trd::server {

class UserStore;

struct Caller {
    std::string user = "local"; // the login name; "local" on a server without users
    // A server without users serves the machine's own users: each is
    // administrador of every language.
    Grants grants = Grants::everything();
    UserStore* users = nullptr; // the users file, on a server with users (the users window's methods)
    std::vector<std::string> batchHeaders; // every X-Trd-Lote header as sent, in order; none when absent
};

} // namespace trd::server
