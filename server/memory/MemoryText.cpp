#include "MemoryText.h"

#include "EditDistance.h"
#include "Utf8Text.h"
#include "Win1252.h"

#include <cstring>

namespace trd::server::memory {

namespace {

constexpr unsigned char Unknown = 0x7F;

// The accented letters of the find/replace dialog's table, lower case, and
// their upper-case forms (Windows-1252 bytes), in the table's order.
constexpr unsigned char AccentLower[24] = {0xE3, 0xF5, 0xF1, 0xE7, 0xE1, 0xE9, 0xED, 0xF3, 0xFA, 0xE4, 0xEB, 0xEF,
                                           0xF6, 0xFC, 0xE2, 0xEA, 0xEE, 0xF4, 0xFB, 0xE0, 0xE8, 0xEC, 0xF2, 0xF9};
constexpr unsigned char AccentUpper[24] = {0xC3, 0xD5, 0xD1, 0xC7, 0xC1, 0xC9, 0xCD, 0xD3, 0xDA, 0xC4, 0xCB, 0xCF,
                                           0xD6, 0xDC, 0xC2, 0xCA, 0xCE, 0xD4, 0xDB, 0xC0, 0xC8, 0xCC, 0xD2, 0xD9};

struct FoldTable {
    std::array<unsigned char, 256> map{};
    FoldTable()
    {
        for (unsigned c = 0; c < 256; ++c)
            map[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
        for (int i = 0; i < 24; ++i)
            map[AccentLower[i]] = AccentUpper[i];
    }
};

} // namespace

namespace {

void appendWin1252(std::string_view utf8, std::string& out)
{
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto byte = static_cast<unsigned char>(utf8[pos]);
        if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++pos;
            continue;
        }
        const char32_t ch = utf8::next(utf8, pos);
        const int mapped = ch < 0x10000 ? trd::win1252::fromUnicode(static_cast<char16_t>(ch)) : -1;
        out += static_cast<char>(mapped < 0 ? Unknown : mapped);
    }
}

} // namespace

std::string toWin1252(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    appendWin1252(utf8, out);
    return out;
}

void memoryText(std::string_view utf8, std::string& out)
{
    out.clear();
    appendWin1252(utf8, out);
    if (out.find('&') == std::string::npos)
        return;
    // The marks go in place: each "&" is judged by the character after it in
    // the original, which the removals never reach before it is read.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '&' && i + 1 < out.size() && out[i + 1] != '&')
            continue;
        out[kept++] = out[i];
    }
    out.resize(kept);
}

std::string fromWin1252(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80)
            out += c;
        else
            utf8::append(out, trd::win1252::toUnicode(byte));
    }
    return out;
}

std::string removeShortcutMarks(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size() && text[i + 1] != '&')
            continue;
        out += text[i];
    }
    return out;
}

const std::array<unsigned char, 256>& foldTable()
{
    static const FoldTable table;
    return table.map;
}

std::string folded(std::string_view text)
{
    std::string out(text);
    const auto& table = foldTable();
    for (char& c : out)
        c = static_cast<char>(table[static_cast<unsigned char>(c)]);
    return out;
}

int editDistance(std::string_view a, std::string_view b)
{
    // The longer text as the pattern would cost more blocks; either gives the
    // same distance.
    return a.size() <= b.size() ? EditDistancePattern(a).distance(b) : EditDistancePattern(b).distance(a);
}

int compare(const Similarity& a, const Similarity& b)
{
    // As fractions (L - d) / L; two empty texts are 1 / 1.
    const std::int64_t an = a.longer == 0 ? 1 : a.longer - a.distance, ad = a.longer == 0 ? 1 : a.longer;
    const std::int64_t bn = b.longer == 0 ? 1 : b.longer - b.distance, bd = b.longer == 0 ? 1 : b.longer;
    const std::int64_t left = an * bd, right = bn * ad;
    return left < right ? -1 : left > right ? 1 : 0;
}

Similarity similarity(std::string_view a, std::string_view b)
{
    return {editDistance(a, b), static_cast<int>(std::max(a.size(), b.size()))};
}

std::uint64_t textHash(std::string_view text)
{
    // 64-bit multiply-and-fold over eight bytes at a time, then a full
    // avalanche, seeded by the length.
    constexpr std::uint64_t K = 0x9E3779B97F4A7C15ULL;
    std::uint64_t h = 0x243F6A8885A308D3ULL ^ (text.size() * K);
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, text.data() + i, 8);
        h = (h ^ w) * K;
        h ^= h >> 29;
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, text.data() + i, text.size() - i);
    h = (h ^ tail) * K;
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ULL;
    h ^= h >> 32;
    return h;
}

} // namespace trd::server::memory
