#pragma once
// The edit distance of one text against many, as the memory's searches need
// it: the text asked about is prepared once (a bit mask per byte value of
// where its folded characters stand), and each other text then costs one
// pass over its characters per 64 characters of the first, whatever the
// distance (Myers' bit-parallel algorithm, in Hyyrö's block form). Folding is
// in the masks: a byte of the other text picks the mask of its fold.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server::memory {

class EditDistancePattern {
public:
    explicit EditDistancePattern(std::string_view text);

    std::size_t length() const { return m_length; }
    // The Levenshtein distance between the folded pattern and the folded text.
    int distance(std::string_view text) const;
    // The distances to eight texts at once (vector lanes where the processor
    // has them); the same values as eight calls of distance().
    static constexpr std::size_t Lanes = 8;
    void distances(const std::string_view (&texts)[Lanes], int (&out)[Lanes]) const;

private:
    int manyBlocks(std::string_view text) const;

    std::string m_text;
    std::size_t m_length = 0;
    std::size_t m_blocks = 0;
    std::vector<std::uint64_t> m_masks; // [byte][block]
    std::uint64_t m_lastBit = 0; // the bit of the pattern's last character in its block
    // Patterns of 65 to 128 characters also as one 128-bit word: the
    // carries between the halves come from the compiler's arithmetic rather
    // than from the block loop.
    std::vector<unsigned __int128> m_wide;
};

// How many characters of each kind a text holds, folded: 32 kinds (the
// letters A to Z, the blank, the digits, and four kinds for everything
// else, accents included), four bits a kind, counts above 15 kept as 15.
// An edit changes at most one count by one, so
//   d >= max(sum of (a - b) where a > b, sum of (b - a) where b > a)
// over the kinds; merging characters into kinds and capping the counts only
// lower that sum, so it stays a bound. Texts of one language of similar
// lengths differ in their letters often enough that the bound turns away
// most of the texts the bigram counts let through.
using LetterCounts = std::array<std::uint8_t, 16>;
LetterCounts letterCounts(std::string_view text);
int letterDistance(const LetterCounts& a, const LetterCounts& b);

// The textbook dynamic programme, one row at a time: slow, obviously right,
// for checking the fast one and as the brute-force floor of the benchmarks.
int editDistanceReference(std::string_view a, std::string_view b);

} // namespace trd::server::memory
