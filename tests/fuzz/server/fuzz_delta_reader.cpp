// Arbitrary SetDestino packets and files of listed rows: refused with
// RpcError or read into changes and keys, never a crash.
#include "DeltaReader.h"
#include "ListedRowsReader.h"
#include "RpcError.h"

#include <cstdint>
#include <string>

using namespace trd::server;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string packet(reinterpret_cast<const char*>(data), size);
    try {
        readDelta(packet);
    } catch (const RpcError&) {
    }
    try {
        readListedRows(packet, "ENG", "3");
    } catch (const RpcError&) {
    }
    return 0;
}
