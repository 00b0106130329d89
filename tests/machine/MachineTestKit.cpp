#include "MachineTestKit.h"

#include "DataPacket.h"
#include "Json.h"

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
            row[reader.fields()[i].name.toStdString()] =
                reader.isNull(static_cast<int>(i)) ? std::string() : std::string(reader.raw(static_cast<int>(i)));
        a.rows.push_back(std::move(row));
    }
    return a;
}

} // namespace trd::test
