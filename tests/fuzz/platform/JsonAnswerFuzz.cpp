// Feeds arbitrary bytes to the client's decoder of the server's answers, as
// JSON and as CBOR. Any input must decode or raise EMalformedAnswer (or
// EDBClient for a packet that cannot be read); a decoded answer is either a
// success with its packet or an error with a message.
#include "DataPacket.h"
#include "JsonRpc.h"

#include <cstdint>
#include <cstdlib>

using namespace trd;

namespace {

void decode(QByteArray bytes, bool cbor)
{
    try {
        const TServerResult r =
            cbor ? jsonrpc::DecodeCborAnswer(std::move(bytes), 1) : jsonrpc::DecodeAnswer(std::move(bytes), 1);
        if (!r.Ok && r.ErrorMessage.isEmpty() && r.ErrorCode == 0)
            std::abort(); // a failure must say something
    } catch (const EMalformedAnswer&) {
    } catch (const EDBClient&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    decode(bytes, false);
    decode(bytes, true);
    return 0;
}
