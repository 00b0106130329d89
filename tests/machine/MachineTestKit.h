#pragma once
// What the machine translation's tests share: JSON-RPC calls to a real
// trd-server and the rows of an answer packet, beside the real Apertium
// service (tests/support/ApertiumService.h) and a stand-in engine whose
// answers a test decides (tests/support/StandInEngine.h).
#include <httplib.h>

#include "StandInEngine.h"

#include <map>
#include <string>
#include <vector>

namespace trd::test {

using PacketRow = std::map<std::string, std::string>;

struct RpcAnswer {
    bool ok = false;
    int code = 0;
    std::string message;
    std::vector<PacketRow> rows;
};

// Calls `method` with the JSON text of its parameters (without brackets).
RpcAnswer callServer(int port, const std::string& method, const std::string& params,
                     const httplib::Headers& headers = {});
std::string jsonText(const std::string& text);

} // namespace trd::test
