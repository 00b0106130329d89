// Any bytes into the XLIFF reader: a Document or a FileError, never a crash,
// a hang or a read outside the buffer.
#include "XliffReader.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        trd::exchange::readXliff(bytes);
    } catch (const trd::exchange::FileError&) {
    }
    return 0;
}
