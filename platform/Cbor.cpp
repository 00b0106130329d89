#include "Cbor.h"

#include <bit>
#include <cmath>

namespace trd::cbor {

double floatValue(const Head& h)
{
    switch (h.info) {
    case Half: {
        // RFC 8949, appendix D.
        const auto half = static_cast<unsigned>(h.value);
        const int exponent = (half >> 10) & 0x1F;
        const int mantissa = half & 0x3FF;
        double value = 0;
        if (exponent == 0)
            value = std::ldexp(mantissa, -24);
        else if (exponent != 31)
            value = std::ldexp(mantissa + 1024, exponent - 25);
        else
            value = mantissa == 0 ? INFINITY : NAN;
        return (half & 0x8000) ? -value : value;
    }
    case Single:
        return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(h.value)));
    default:
        return std::bit_cast<double>(h.value);
    }
}

void appendHead(std::string& out, int major, std::uint64_t value)
{
    const auto type = static_cast<char>(major << 5);
    if (value < 24) {
        out += static_cast<char>(type | static_cast<char>(value));
        return;
    }
    int bytes = 8;
    char info = 27;
    if (value <= 0xFF) {
        bytes = 1;
        info = 24;
    } else if (value <= 0xFFFF) {
        bytes = 2;
        info = 25;
    } else if (value <= 0xFFFFFFFFu) {
        bytes = 4;
        info = 26;
    }
    char buffer[9];
    buffer[0] = static_cast<char>(type | info);
    for (int i = 0; i < bytes; ++i)
        buffer[1 + i] = static_cast<char>(value >> (8 * (bytes - 1 - i)));
    out.append(buffer, static_cast<std::size_t>(bytes) + 1);
}

std::size_t appendWideHead(std::string& out, int major)
{
    const std::size_t at = out.size();
    out += static_cast<char>((major << 5) | 27);
    out.append(8, '\0');
    return at;
}

void patchHead(std::string& out, std::size_t at, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out[at + 1 + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * (7 - i)));
}

void appendOpenArray(std::string& out)
{
    out += static_cast<char>((Array << 5) | kIndefinite);
}

void appendBreak(std::string& out)
{
    out += static_cast<char>(kBreak);
}

void appendDouble(std::string& out, double value)
{
    const auto bits = std::bit_cast<std::uint64_t>(value);
    char buffer[9];
    buffer[0] = static_cast<char>((Simple << 5) | Double);
    for (int i = 0; i < 8; ++i)
        buffer[1 + i] = static_cast<char>(bits >> (8 * (7 - i)));
    out.append(buffer, 9);
}

void appendInteger(std::string& out, std::int64_t value)
{
    if (value >= 0)
        appendHead(out, Unsigned, static_cast<std::uint64_t>(value));
    else
        appendHead(out, Negative, static_cast<std::uint64_t>(-(value + 1)));
}

void appendSimple(std::string& out, int info)
{
    out += static_cast<char>((Simple << 5) | info);
}

} // namespace trd::cbor
