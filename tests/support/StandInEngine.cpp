#include "StandInEngine.h"

#include <chrono>
#include <cstdio>

namespace trd::test {

namespace {

std::string jsonString(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + '"';
}

} // namespace

StandInEngine::StandInEngine()
{
    m_server.Get("/listPairs", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"responseData":[{"sourceLanguage":"por","targetLanguage":"spa"},)"
                        R"({"sourceLanguage":"por","targetLanguage":"eng"}],"responseStatus":200})",
                        "application/json");
    });
    m_server.Post("/translate", [this](const httplib::Request& req, httplib::Response& res) {
        ++translations;
        {
            std::unique_lock lock(m_mutex);
            m_released.wait_for(lock, std::chrono::seconds(20), [this] { return !m_held; });
        }
        const std::string q = req.get_param_value("q");
        res.set_content("{\"responseData\":{\"translatedText\":" + jsonString(answer ? answer(q) : q)
                            + "},\"responseStatus\":200}",
                        "application/json");
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    while (!m_server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

StandInEngine::~StandInEngine()
{
    release();
    m_server.stop();
    m_thread.join();
}

void StandInEngine::hold()
{
    std::lock_guard lock(m_mutex);
    m_held = true;
}

void StandInEngine::release()
{
    {
        std::lock_guard lock(m_mutex);
        m_held = false;
    }
    m_released.notify_all();
}

} // namespace trd::test
