#include "Utf8Text.h"

#include "Utf8.h"
#include "Win1252.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace trd::server::utf8 {

namespace {

// Fold table for the characters the fold can touch (U+0000..U+017F), built
// once from the platform's Windows-1252 fold so client and server agree.
struct FoldTable {
    std::array<char32_t, 0x180> map{};
    FoldTable()
    {
        for (char32_t c = 0; c < map.size(); ++c)
            map[c] = trd::win1252::upper(static_cast<char16_t>(c));
    }
};

const FoldTable& foldTable()
{
    static const FoldTable table;
    return table;
}

// The 43 characters the counted length leaves out (all ASCII).
struct IgnoredTable {
    std::array<bool, 128> ignored{};
    IgnoredTable()
    {
        const char* chars = "0123456789~!@#$%^&*()-_+=|\\{}[]:;\"<,>.?/` '";
        for (const char* p = chars; *p; ++p)
            ignored[static_cast<unsigned char>(*p)] = true;
    }
};

const IgnoredTable& ignoredTable()
{
    static const IgnoredTable table;
    return table;
}

} // namespace

char32_t next(std::string_view text, std::size_t& pos)
{
    char32_t cp;
    const int len = trd::utf8::decode(text, pos, cp);
    if (len == 0) {
        ++pos;
        return 0xFFFD;
    }
    pos += static_cast<std::size_t>(len);
    return cp;
}

bool isValid(std::string_view text)
{
    std::size_t pos = 0;
    const std::size_t n = text.size();
    while (pos < n) {
        // ASCII runs dominate; skip them eight bytes at a time.
        while (pos + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, text.data() + pos, 8);
            if (word & 0x8080808080808080ULL)
                break;
            pos += 8;
        }
        if (pos >= n)
            break;
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const std::size_t before = pos;
        const char32_t cp = next(text, pos);
        // U+FFFD is valid only when it was really encoded (3 bytes).
        if (cp == 0xFFFD && pos - before != 3)
            return false;
    }
    return true;
}

std::size_t length(std::string_view text)
{
    std::size_t count = 0;
    for (const char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

std::string_view left(std::string_view text, std::size_t count)
{
    std::size_t pos = 0;
    while (pos < text.size() && count > 0) {
        next(text, pos);
        --count;
    }
    return text.substr(0, pos);
}

bool isWin1252(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const std::size_t before = pos;
        const char32_t cp = next(text, pos);
        if (cp > 0xFFFF || (cp == 0xFFFD && pos - before != 3))
            return false;
        if (!trd::win1252::isRepresentable(static_cast<char16_t>(cp)))
            return false;
    }
    return true;
}

bool hasForbiddenControl(std::string_view text)
{
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F)
            return true;
    }
    return false;
}

char32_t upper(char32_t ch)
{
    if (ch < 0x180)
        return foldTable().map[ch];
    return ch;
}

void appendUpper(std::string& out, std::string_view text)
{
    const std::size_t start = out.size();
    out.append(text);
    char* p = out.data() + start;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        // Eight ASCII bytes at a time: flip bit 0x20 of every byte in a..z.
        if (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                const std::uint64_t geA = word + 0x1F1F1F1F1F1F1F1FULL; // high bit set where byte >= 'a'
                const std::uint64_t gtZ = word + 0x0505050505050505ULL; // high bit set where byte > 'z'
                const std::uint64_t lower = geA & ~gtZ & 0x8080808080808080ULL;
                word ^= lower >> 2;
                std::memcpy(p + i, &word, 8);
                i += 8;
                continue;
            }
        }
        const unsigned char c = static_cast<unsigned char>(p[i]);
        if (c < 0x80) {
            if (c >= 'a' && c <= 'z')
                p[i] = static_cast<char>(c - 32);
            ++i;
            continue;
        }
        std::size_t pos = i;
        const char32_t cp = next(text, pos);
        if (pos - i == 2 && cp < 0x180) {
            const char32_t up = foldTable().map[cp];
            if (up != cp) {
                // Every folded pair of the code page has two-byte forms on both sides.
                p[i] = static_cast<char>(0xC0 | (up >> 6));
                p[i + 1] = static_cast<char>(0x80 | (up & 0x3F));
            }
        }
        i = pos;
    }
}

std::string toUpper(std::string_view text)
{
    std::string out;
    appendUpper(out, text);
    return out;
}

std::size_t countedLength(std::string_view text)
{
    const auto& table = ignoredTable();
    std::size_t count = 0;
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c & 0xC0) == 0x80)
            continue; // continuation byte: counted with its lead byte
        if (c < 0x80 && table.ignored[c])
            continue;
        ++count;
    }
    return count;
}

} // namespace trd::server::utf8
