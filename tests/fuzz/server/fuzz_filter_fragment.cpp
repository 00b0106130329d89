// Arbitrary filter fragments: either refused as a bad argument or read into
// conditions whose literals then run through LIKE matching.
#include "FilterFragment.h"
#include "LikePattern.h"
#include "ServerError.h"

#include <cstdint>
#include <string>

using namespace trd::server;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        for (const FilterCondition& cond : parseFilterFragment(text)) {
            const LikePattern pattern(cond.literal);
            std::string scratch;
            pattern.matches("Cadastro de Clientes", true, scratch);
            pattern.matches(cond.literal, false, scratch);
            pattern.matches(text, true, scratch);
        }
    } catch (const ServerError& e) {
        if (e.kind() != ErrorKind::BadArgument)
            throw;
    }
    return 0;
}
