#pragma once
// The JSON-RPC requests the server benchmarks send, as the client writes
// them: a method with its parameters, and SetDestino with the change log of
// one edited row.
#include "DataPacket.h"
#include "Json.h"

#include <QByteArray>

#include <string>
#include <string_view>

namespace trd::bench {

inline std::string jsonString(std::string_view text)
{
    std::string out;
    trd::server::appendJsonString(out, text);
    return out;
}

inline std::string rpc(const std::string& method, const std::string& params)
{
    return "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"" + method + "\",\"params\":[" + params + "]}";
}

// The row's key and the values the client read, then its new text.
struct EditedRow {
    std::string lang, prog, comp, src;
    std::string oldDst, oldStatus;
};

inline std::string setDestinoRequest(const EditedRow& row, const std::string& newDst)
{
    auto field = [](const char* name, int size) {
        PacketField f;
        f.name = name;
        f.size = size;
        return f;
    };
    QByteArray xml;
    PacketWriter w(xml);
    w.begin({field("STAGRVALPROP", 4000), field("STVALORPROP", 4000), field("IDSITTRADUCAO", 1), field("IDIDIOMA", 3),
             field("NMCOMPONENTE", 50), field("CDPROGTRAD", 20)},
            {{"DATASET_DELTA", "1"}});
    w.beginRow(rsOriginal);
    w.string(0, std::string_view(row.src));
    w.string(1, std::string_view(row.oldDst));
    w.string(2, std::string_view(row.oldStatus));
    w.string(3, std::string_view(row.lang));
    w.string(4, std::string_view(row.comp));
    w.string(5, std::string_view(row.prog));
    w.endRow();
    w.beginRow(rsModified);
    w.string(1, std::string_view(newDst));
    w.endRow();
    w.end();
    return rpc("SetDestino", jsonString(std::string_view(xml.constData(), std::size_t(xml.size()))));
}

} // namespace trd::bench
