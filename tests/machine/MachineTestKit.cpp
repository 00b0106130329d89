#include "MachineTestKit.h"

#include "DataPacket.h"
#include "Json.h"

#include <chrono>

namespace trd::test {

std::string jsonText(const std::string& text)
{
    std::string out;
    server::appendJsonString(out, text);
    return out;
}

RpcAnswer callServer(int port, const std::string& method, const std::string& params, const httplib::Headers& headers)
{
    httplib::Client http("127.0.0.1", port);
    http.set_read_timeout(60);
    const std::string body = "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"" + method + "\",\"params\":[" + params + "]}";
    const auto res = http.Post("/Trd09300.rdmTraducao", headers, body, "application/json");
    RpcAnswer a;
    if (!res) {
        a.message = "transport failure";
        return a;
    }
    const server::JsonValue answer = server::parseJson(res->body);
    if (const server::JsonValue* error = answer.find("error")) {
        a.code = static_cast<int>(error->find("code")->number());
        a.message = error->find("message")->string();
        return a;
    }
    a.ok = true;
    const std::string& packet = answer.find("result")->string();
    PacketReader reader(QByteArray(packet.data(), static_cast<qsizetype>(packet.size())));
    while (reader.next()) {
        PacketRow row;
        for (std::size_t i = 0; i < reader.fields().size(); ++i)
            row[reader.fields()[i].name.toStdString()] = reader.isNull(static_cast<int>(i)) ? std::string()
                                                                              : std::string(reader.raw(static_cast<int>(i)));
        a.rows.push_back(std::move(row));
    }
    return a;
}

StandInEngine::StandInEngine()
{
    m_server.Get("/listPairs", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"responseData":[{"sourceLanguage":"por","targetLanguage":"spa"}],"responseStatus":200})",
                        "application/json");
    });
    m_server.Post("/translate", [this](const httplib::Request& req, httplib::Response& res) {
        ++translations;
        {
            std::unique_lock lock(m_mutex);
            m_released.wait_for(lock, std::chrono::seconds(20), [this] { return !m_held; });
        }
        const std::string q = req.get_param_value("q");
        std::string out;
        server::appendJsonString(out, answer ? answer(q) : q);
        res.set_content("{\"responseData\":{\"translatedText\":" + out + "},\"responseStatus\":200}", "application/json");
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
