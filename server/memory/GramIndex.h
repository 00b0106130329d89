#pragma once
// The candidate filter of the fuzzy search: for each band of text lengths,
// which texts hold each pair of adjacent folded characters (bigram).
//
// Why it is sound: one edit touches at most two bigram occurrences of a text,
// so a text within distance d of the query still holds at least |G| − 2d of
// the query's |G| distinct bigrams. With the distance bounded by the
// threshold (d ≤ 0.3 × the longer length at 70%) and the length of a match
// bounded the same way, a search counts shared bigrams only over the bands
// whose lengths can match and computes the distance only of texts that hold
// enough of them. Nothing that could reach the threshold is left out.
//
// Lists are built once over a snapshot of the texts (delta-coded, one byte
// per entry in the common case) and never changed; texts that arrive later
// wait in the index's tail until the next build.
#include "EditDistance.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace trd::server::memory {

// Lengths 0 to 16 each have a band; above, each band spans about a tenth.
class LengthBands {
public:
    static int count();
    static int bandOf(std::size_t length);
    static std::size_t low(int band);
    static std::size_t high(int band); // inclusive
};

// The distinct folded bigrams of a text, as 16-bit keys, in the order they
// first appear.
void distinctBigrams(std::string_view text, std::vector<std::uint16_t>& out);

class GramIndex {
public:
    struct Text {
        std::uint32_t entry;
        std::string_view text;
    };
    // texts in ascending entry order.
    explicit GramIndex(const std::vector<Text>& texts);
    GramIndex() = default;

    struct Band {
        std::vector<std::uint32_t> entries; // position in the band -> entry
        // Each text's length and distinct bigrams, beside each other so that a
        // search reads them in order rather than entry by entry.
        std::vector<std::uint16_t> lengths, gramCounts;
        std::vector<const char*> texts;
        std::vector<LetterCounts> letters; // EditDistance.h
        std::vector<std::uint16_t> keys; // the bigrams present, sorted
        std::vector<std::uint32_t> starts; // keys.size() + 1 offsets into bytes
        std::vector<std::uint8_t> bytes; // per key: varint gaps between positions
    };
    const Band& band(int index) const { return m_bands[static_cast<std::size_t>(index)]; }
    std::size_t entryCount() const { return m_entries; }

    // Adds 1 to counts[position] for every text of the band that holds the
    // bigram; returns how many there were.
    static std::size_t count(const Band& band, std::uint16_t key, std::uint16_t* counts);

    std::size_t memoryBytes() const;

private:
    std::vector<Band> m_bands;
    std::size_t m_entries = 0;
};

} // namespace trd::server::memory
