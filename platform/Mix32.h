#pragma once
// A small deterministic mixer of 32 bits, for the data the demo and the
// benchmarks make up: the same data on every run, without a global generator.
// Header only and free of Qt.
#include <cstdint>

namespace trd {

constexpr std::uint32_t mix32(std::uint32_t x) noexcept
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

} // namespace trd
