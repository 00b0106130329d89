#pragma once
// A machine-translation engine in the test's process, for tests of what the
// server does with an engine's answers: it speaks as apertium-apy does, and
// the test decides what it answers and when.
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace trd::test {

// An HTTP engine in the test's process that speaks as apertium-apy does:
// /listPairs answers por->spa and por->eng, /translate answers what `answer` returns for
// the text sent (the default: the text as it came).
class StandInEngine {
public:
    StandInEngine();
    ~StandInEngine();
    int port() const { return m_port; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::function<std::string(const std::string& q)> answer;
    std::atomic<int> translations{0}; // /translate requests received
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
