#pragma once
// What the machine translation's tests share: JSON-RPC calls to a real
// trd-server, the rows of an answer packet, and a stand-in HTTP engine whose
// answers a test decides (a broken one, a slow one), beside the real
// Apertium service of tests/support/ApertiumService.h.
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
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

// An HTTP engine in the test's process that speaks as apertium-apy does:
// /listPairs answers por->spa, /translate answers what `answer` returns for
// the text sent (the default: the text as it came).
class StandInEngine {
public:
    StandInEngine();
    ~StandInEngine();
    int port() const { return m_port; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::function<std::string(const std::string& q)> answer;
    std::atomic<int> translations{0};   // /translate requests received
    // While held, /translate waits (up to 20 s) before it answers.
    void hold();
    void release();

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_held = false;
};

} // namespace trd::test
