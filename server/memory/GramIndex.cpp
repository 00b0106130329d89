#include "GramIndex.h"

#include "MemoryText.h"

#include <algorithm>
#include <limits>

namespace trd::server::memory {

namespace {

constexpr std::size_t LongestBanded = 4096;

struct BandTable {
    std::vector<std::uint8_t> bandOfLength; // 0 .. LongestBanded
    std::vector<std::size_t> lows, highs;
    BandTable()
    {
        bandOfLength.resize(LongestBanded + 1);
        std::size_t low = 0;
        while (low <= LongestBanded) {
            const std::size_t high = low <= 16 ? low : low + low / 10;
            lows.push_back(low);
            highs.push_back(high);
            for (std::size_t n = low; n <= std::min(high, LongestBanded); ++n)
                bandOfLength[n] = static_cast<std::uint8_t>(lows.size() - 1);
            low = high + 1;
        }
        highs.back() = std::numeric_limits<std::size_t>::max();
    }
};

const BandTable& bands()
{
    static const BandTable table;
    return table;
}

void putVarint(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    while (value >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(value));
}

} // namespace

int LengthBands::count()
{
    return static_cast<int>(bands().lows.size());
}

int LengthBands::bandOf(std::size_t length)
{
    return length > LongestBanded ? count() - 1 : bands().bandOfLength[length];
}

std::size_t LengthBands::low(int band)
{
    return bands().lows[static_cast<std::size_t>(band)];
}
std::size_t LengthBands::high(int band)
{
    return bands().highs[static_cast<std::size_t>(band)];
}

void distinctBigrams(std::string_view text, std::vector<std::uint16_t>& out)
{
    // Duplicates are dropped through a bit per possible bigram, cleared again
    // afterwards: no sort. The keys come out in text order.
    thread_local std::vector<std::uint64_t> seen(1 << 10, 0);
    out.clear();
    const auto& table = foldTable();
    for (std::size_t i = 1; i < text.size(); ++i) {
        const auto g = static_cast<std::uint16_t>(table[static_cast<unsigned char>(text[i - 1])] << 8
                                                  | table[static_cast<unsigned char>(text[i])]);
        std::uint64_t& word = seen[g >> 6];
        const std::uint64_t bit = std::uint64_t(1) << (g & 63);
        if (!(word & bit)) {
            word |= bit;
            out.push_back(g);
        }
    }
    for (const std::uint16_t g : out)
        seen[g >> 6] = 0;
}

GramIndex::GramIndex(const std::vector<Text>& texts) : m_bands(static_cast<std::size_t>(LengthBands::count()))
{
    m_entries = texts.size();
    std::vector<std::vector<const Text*>> byBand(m_bands.size());
    for (const Text& t : texts)
        byBand[static_cast<std::size_t>(LengthBands::bandOf(t.text.size()))].push_back(&t);

    std::vector<std::uint32_t> perKey(1 << 16);
    std::vector<std::uint32_t> positions;
    std::vector<std::uint16_t> grams;
    for (std::size_t b = 0; b < m_bands.size(); ++b) {
        Band& band = m_bands[b];
        const auto& members = byBand[b];
        if (members.empty())
            continue;
        band.entries.reserve(members.size());
        band.lengths.reserve(members.size());
        band.gramCounts.reserve(members.size());
        band.letters.reserve(members.size());
        for (const Text* t : members) {
            band.entries.push_back(t->entry);
            band.letters.push_back(letterCounts(t->text));
            band.texts.push_back(t->text.data());
            band.lengths.push_back(static_cast<std::uint16_t>(std::min<std::size_t>(t->text.size(), 0xFFFF)));
        }
        // Counting sort by bigram: each key's positions come out ascending
        // because the band's texts are visited in order.
        std::fill(perKey.begin(), perKey.end(), 0);
        std::size_t total = 0;
        for (const Text* t : members) {
            distinctBigrams(t->text, grams);
            for (const std::uint16_t g : grams)
                ++perKey[g];
            total += grams.size();
            band.gramCounts.push_back(static_cast<std::uint16_t>(std::min<std::size_t>(grams.size(), 0x7FFF)));
        }
        std::uint32_t offset = 0;
        for (std::size_t k = 0; k < perKey.size(); ++k) {
            if (perKey[k] == 0)
                continue;
            band.keys.push_back(static_cast<std::uint16_t>(k));
            const std::uint32_t n = perKey[k];
            perKey[k] = offset;
            offset += n;
        }
        positions.resize(total);
        for (std::uint32_t pos = 0; pos < members.size(); ++pos) {
            distinctBigrams(members[pos]->text, grams);
            for (const std::uint16_t g : grams)
                positions[perKey[g]++] = pos;
        }
        // perKey[k] now ends key k's run, which begins where the previous ended.
        band.starts.reserve(band.keys.size() + 1);
        band.bytes.reserve(total + total / 4);
        std::uint32_t begin = 0;
        for (const std::uint16_t k : band.keys) {
            band.starts.push_back(static_cast<std::uint32_t>(band.bytes.size()));
            std::uint32_t previous = 0;
            for (std::uint32_t i = begin; i < perKey[k]; ++i) {
                putVarint(band.bytes, positions[i] - previous);
                previous = positions[i];
            }
            begin = perKey[k];
        }
        band.starts.push_back(static_cast<std::uint32_t>(band.bytes.size()));
        band.bytes.shrink_to_fit();
    }
}

std::size_t GramIndex::count(const Band& band, std::uint16_t key, std::uint16_t* counts)
{
    const auto it = std::lower_bound(band.keys.begin(), band.keys.end(), key);
    if (it == band.keys.end() || *it != key)
        return 0;
    std::size_t n = 0;
    const std::size_t k = static_cast<std::size_t>(it - band.keys.begin());
    const std::uint8_t* p = band.bytes.data() + band.starts[k];
    const std::uint8_t* end = band.bytes.data() + band.starts[k + 1];
    std::uint32_t position = 0;
    while (p < end) {
        std::uint32_t gap = *p & 0x7F;
        int shift = 7;
        while (*p++ & 0x80) {
            gap |= std::uint32_t(*p & 0x7F) << shift;
            shift += 7;
        }
        position += gap;
        ++counts[position];
        ++n;
    }
    return n;
}

std::size_t GramIndex::memoryBytes() const
{
    std::size_t bytes = m_bands.capacity() * sizeof(Band);
    for (const Band& b : m_bands)
        bytes += b.entries.capacity() * 4 + b.lengths.capacity() * 2 + b.gramCounts.capacity() * 2
            + b.texts.capacity() * sizeof(const char*) + b.letters.capacity() * sizeof(LetterCounts)
            + b.keys.capacity() * 2 + b.starts.capacity() * 4 + b.bytes.capacity();
    return bytes;
}

} // namespace trd::server::memory
