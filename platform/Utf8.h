#pragma once
// UTF-8 by hand, for the paths where a codec would cost a QString per value:
// the packet writer's per-character loop, the JSON decoders' escapes, the
// server's SQL functions. Header only and free of Qt, so the client and the
// server encode, and refuse, exactly alike.
#include <cstddef>
#include <string>
#include <string_view>

namespace trd::utf8 {

// Writes the bytes of the code point at out (room for 4) and returns the end.
// Callers pass scalar values: a lone surrogate is theirs to replace first.
inline char* encode(char* out, char32_t cp) noexcept
{
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

inline void append(std::string& out, char32_t cp)
{
    char bytes[4];
    out.append(bytes, encode(bytes, cp));
}

// The length (1 to 4) of the sequence at text[pos], its code point in cp; 0
// when the bytes there are no valid UTF-8: an overlong form, a surrogate,
// beyond U+10FFFF, or cut short by the end of the text.
inline int decode(std::string_view text, std::size_t pos, char32_t& cp) noexcept
{
    const auto b0 = static_cast<unsigned char>(text[pos]);
    int len;
    char32_t min;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (pos + static_cast<std::size_t>(len) > text.size())
        return 0;
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[pos + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace trd::utf8
