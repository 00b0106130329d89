#include "EditDistance.h"

#include "MemoryText.h"

#include <algorithm>
#include <numeric>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace trd::server::memory {

namespace {

// Myers' column step over one machine word (64 or 128 bits): vertical deltas
// Pv/Mv of the column (+1/-1 between consecutive rows); the top row grows by
// one a column (the distance to an empty prefix), which the "| 1" carried
// into Ph stands for. masks(ch) gives the word of the rows equal to ch.
template <typename Word, typename Masks>
int wordDistance(std::string_view text, std::size_t length, Word lastBit, Masks masks)
{
    Word pv = ~Word(0);
    Word mv = 0;
    int score = static_cast<int>(length);
    for (const char ch : text) {
        const Word eq = masks(static_cast<unsigned char>(ch));
        const Word xv = eq | mv;
        const Word xh = (((eq & pv) + pv) ^ pv) | eq;
        Word ph = mv | ~(xh | pv);
        Word mh = pv & xh;
        score += static_cast<int>((ph & lastBit) != 0) - static_cast<int>((mh & lastBit) != 0);
        ph = (ph << 1) | 1;
        mh <<= 1;
        pv = mh | ~(xv | ph);
        mv = ph & xv;
    }
    return score;
}

// A text of up to 64 characters as the pattern, its masks made on the spot:
// cheaper than the blocks of a longer pattern.
int shortPattern(std::string_view pattern, std::string_view text)
{
    const auto& table = foldTable();
    std::uint64_t byFold[256] = {};
    for (std::size_t i = 0; i < pattern.size(); ++i)
        byFold[table[static_cast<unsigned char>(pattern[i])]] |= std::uint64_t(1) << i;
    return wordDistance<std::uint64_t>(text, pattern.size(), std::uint64_t(1) << (pattern.size() - 1),
                                       [&](unsigned char c) { return byFold[table[c]]; });
}

// One lane a text. Eight 64-bit lanes fill an AVX-512 register; the
// compiler splits them in two for AVX2 and in four for plain x86-64.
constexpr std::size_t LaneCount = EditDistancePattern::Lanes;
using LaneWords = std::uint64_t __attribute__((vector_size(8 * LaneCount)));
using LaneScores = std::int64_t __attribute__((vector_size(8 * LaneCount)));

// wordDistance on four texts at once, one per vector lane, for patterns of
// one word. A lane whose text has ended keeps computing on empty masks, but
// its score no longer moves. Built for AVX2 and for plain x86-64 alike; the
// loader picks the one the processor runs.
__attribute__((target_clones("avx512f", "avx2", "default"))) void laneDistances(const std::uint64_t* masks,
                                                                                const std::string_view* texts,
                                                                                std::size_t length,
                                                                                std::uint64_t lastBit, int* out)
{
    std::size_t longest = 0;
    for (std::size_t k = 0; k < LaneCount; ++k)
        longest = std::max(longest, texts[k].size());
    const LaneWords last = LaneWords{} + lastBit;
    const LaneWords one = LaneWords{} + 1;
    LaneWords pv = ~LaneWords{};
    LaneWords mv = LaneWords{};
    LaneScores score = LaneScores{} + static_cast<std::int64_t>(length);
    LaneScores ends{};
    for (std::size_t k = 0; k < LaneCount; ++k)
        ends[k] = static_cast<std::int64_t>(texts[k].size());
    for (std::size_t j = 0; j < longest; ++j) {
        LaneWords eq;
        for (std::size_t k = 0; k < LaneCount; ++k)
            eq[k] = j < texts[k].size() ? masks[static_cast<unsigned char>(texts[k][j])] : 0;
        const LaneWords xv = eq | mv;
        const LaneWords xh = (((eq & pv) + pv) ^ pv) | eq;
        LaneWords ph = mv | ~(xh | pv);
        LaneWords mh = pv & xh;
        const LaneScores active = static_cast<std::int64_t>(j) < ends; // -1 where the text goes on
        // A true comparison is -1: subtracting it adds one.
        score -= ((ph & last) != 0) & active;
        score += ((mh & last) != 0) & active;
        ph = (ph << 1) | one;
        mh <<= 1;
        pv = mh | ~(xv | ph);
        mv = ph & xv;
    }
    for (std::size_t k = 0; k < LaneCount; ++k)
        out[k] = static_cast<int>(score[k]);
}

// The same for patterns of 65 to 128 characters: each lane's word is two
// halves, the carry of the addition and the bit of the shifts passed from
// the low half to the high one by hand.
__attribute__((target_clones("avx512f", "avx2", "default"))) void laneWideDistances(const unsigned __int128* masks,
                                                                                    const std::string_view* texts,
                                                                                    std::size_t length, int* out)
{
    std::size_t longest = 0;
    for (std::size_t k = 0; k < LaneCount; ++k)
        longest = std::max(longest, texts[k].size());
    const std::uint64_t lastHigh = std::uint64_t(1) << (length - 65);
    const LaneWords last = LaneWords{} + lastHigh;
    const LaneWords zero = LaneWords{};
    const LaneWords one = LaneWords{} + 1;
    LaneWords pvLo = ~zero, pvHi = ~zero, mvLo = zero, mvHi = zero;
    LaneScores score = LaneScores{} + static_cast<std::int64_t>(length);
    LaneScores ends{};
    for (std::size_t k = 0; k < LaneCount; ++k)
        ends[k] = static_cast<std::int64_t>(texts[k].size());
    for (std::size_t j = 0; j < longest; ++j) {
        LaneWords eqLo, eqHi;
        for (std::size_t k = 0; k < LaneCount; ++k) {
            const unsigned __int128 eq = j < texts[k].size() ? masks[static_cast<unsigned char>(texts[k][j])] : 0;
            eqLo[k] = static_cast<std::uint64_t>(eq);
            eqHi[k] = static_cast<std::uint64_t>(eq >> 64);
        }
        const LaneWords xvLo = eqLo | mvLo, xvHi = eqHi | mvHi;
        // ((eq & pv) + pv) ^ pv, in two halves
        const LaneWords aLo = eqLo & pvLo, aHi = eqHi & pvHi;
        const LaneWords sumLo = aLo + pvLo;
        const LaneWords carry = static_cast<LaneWords>(sumLo < aLo) & one;
        const LaneWords sumHi = aHi + pvHi + carry;
        const LaneWords xhLo = (sumLo ^ pvLo) | eqLo, xhHi = (sumHi ^ pvHi) | eqHi;
        LaneWords phLo = mvLo | ~(xhLo | pvLo), phHi = mvHi | ~(xhHi | pvHi);
        LaneWords mhLo = pvLo & xhLo, mhHi = pvHi & xhHi;
        const LaneScores active = static_cast<std::int64_t>(j) < ends;
        score -= ((phHi & last) != 0) & active;
        score += ((mhHi & last) != 0) & active;
        phHi = (phHi << 1) | (phLo >> 63);
        phLo = (phLo << 1) | one;
        mhHi = (mhHi << 1) | (mhLo >> 63);
        mhLo <<= 1;
        pvLo = mhLo | ~(xvLo | phLo);
        pvHi = mhHi | ~(xvHi | phHi);
        mvLo = phLo & xvLo;
        mvHi = phHi & xvHi;
    }
    for (std::size_t k = 0; k < LaneCount; ++k)
        out[k] = static_cast<int>(score[k]);
}

// manyBlocks on four texts at once, for patterns of more than 128
// characters: each lane carries its own horizontal delta from block to
// block, as masks rather than branches. `state` holds 2 × blocks vectors.
__attribute__((target_clones("avx512f", "avx2", "default"))) void laneBlockDistances(
    const std::uint64_t* masks, std::size_t blocks, const std::string_view* texts, std::size_t length,
    std::uint64_t lastBit, LaneWords* state, int* out)
{
    std::size_t longest = 0;
    for (std::size_t k = 0; k < LaneCount; ++k)
        longest = std::max(longest, texts[k].size());
    const LaneWords zero = LaneWords{};
    const LaneWords one = LaneWords{} + 1;
    LaneWords* pvs = state;
    LaneWords* mvs = state + blocks;
    for (std::size_t b = 0; b < blocks; ++b) {
        pvs[b] = ~zero;
        mvs[b] = zero;
    }
    LaneScores score = LaneScores{} + static_cast<std::int64_t>(length);
    LaneScores ends{};
    for (std::size_t k = 0; k < LaneCount; ++k)
        ends[k] = static_cast<std::int64_t>(texts[k].size());
    const std::uint64_t high = std::uint64_t(1) << 63;
    for (std::size_t j = 0; j < longest; ++j) {
        // Where each lane's byte picks its masks; an ended lane reads an
        // empty row (its score no longer moves).
        const std::uint64_t* rows[LaneCount];
        bool ended[LaneCount];
        for (std::size_t k = 0; k < LaneCount; ++k) {
            ended[k] = j >= texts[k].size();
            rows[k] = masks + (ended[k] ? 0 : static_cast<unsigned char>(texts[k][j]) * blocks);
        }
        // The delta entering the top block: +1, the distance to an empty prefix.
        LaneWords hinPlus = one, hinMinus = zero; // 1 where the delta is +1 / -1
        for (std::size_t b = 0; b < blocks; ++b) {
            LaneWords eq;
            for (std::size_t k = 0; k < LaneCount; ++k)
                eq[k] = ended[k] ? 0 : rows[k][b];
            const LaneWords pv = pvs[b], mv = mvs[b];
            const LaneWords xv = eq | mv;
            eq |= hinMinus;
            const LaneWords xh = (((eq & pv) + pv) ^ pv) | eq;
            LaneWords ph = mv | ~(xh | pv);
            LaneWords mh = pv & xh;
            const std::uint64_t bottomBit = b + 1 == blocks ? lastBit : high;
            const LaneWords bottom = LaneWords{} + bottomBit;
            const LaneWords outPlus = static_cast<LaneWords>((ph & bottom) != 0) & one;
            const LaneWords outMinus = static_cast<LaneWords>((mh & bottom) != 0) & one;
            ph = (ph << 1) | hinPlus;
            mh = (mh << 1) | hinMinus;
            pvs[b] = mh | ~(xv | ph);
            mvs[b] = ph & xv;
            hinPlus = outPlus;
            hinMinus = outMinus;
        }
        const LaneScores active = static_cast<std::int64_t>(j) < ends;
        // A true comparison is -1: subtracting it adds one.
        score -= (hinPlus != 0) & active;
        score += (hinMinus != 0) & active;
    }
    for (std::size_t k = 0; k < LaneCount; ++k)
        out[k] = static_cast<int>(score[k]);
}

} // namespace

EditDistancePattern::EditDistancePattern(std::string_view text)
    : m_text(text), m_length(text.size()), m_blocks(std::max<std::size_t>(1, (text.size() + 63) / 64)),
      m_masks(256 * m_blocks, 0)
{
    const auto& table = foldTable();
    // The mask of a byte value marks the pattern's characters that fold as it
    // does, so the text's bytes need no folding of their own: the masks are
    // made per folded value, then copied to every byte that folds to it.
    std::vector<std::uint64_t> byFold(256 * m_blocks, 0);
    for (std::size_t i = 0; i < m_length; ++i)
        byFold[table[static_cast<unsigned char>(text[i])] * m_blocks + i / 64] |= std::uint64_t(1) << (i % 64);
    for (unsigned c = 0; c < 256; ++c)
        std::copy_n(&byFold[table[c] * m_blocks], m_blocks, &m_masks[c * m_blocks]);
    m_lastBit = m_length == 0 ? 0 : std::uint64_t(1) << ((m_length - 1) % 64);
    if (m_blocks == 2) {
        m_wide.resize(256);
        for (unsigned c = 0; c < 256; ++c)
            m_wide[c] = (static_cast<unsigned __int128>(m_masks[c * 2 + 1]) << 64) | m_masks[c * 2];
    }
}

int EditDistancePattern::distance(std::string_view text) const
{
    if (m_length == 0)
        return static_cast<int>(text.size());
    if (text.empty())
        return static_cast<int>(m_length);
    if (m_blocks == 1)
        return wordDistance<std::uint64_t>(text, m_length, m_lastBit, [this](unsigned char c) { return m_masks[c]; });
    if (text.size() <= 64)
        return shortPattern(text, m_text);
    if (m_blocks == 2)
        return wordDistance<unsigned __int128>(text, m_length, static_cast<unsigned __int128>(1) << (m_length - 1),
                                               [this](unsigned char c) { return m_wide[c]; });
    return manyBlocks(text);
}

void EditDistancePattern::distances(const std::string_view (&texts)[Lanes], int (&out)[Lanes]) const
{
    bool filled = m_length > 0;
    for (const std::string_view t : texts)
        filled = filled && !t.empty();
    if (filled && m_blocks == 1)
        return laneDistances(m_masks.data(), texts, m_length, m_lastBit, out);
    if (filled && m_blocks == 2)
        return laneWideDistances(m_wide.data(), texts, m_length, out);
    if (filled) {
        // Texts up to 8,192 characters keep the lanes' state on the stack.
        constexpr std::size_t Local = 128;
        LaneWords local[2 * Local];
        std::vector<LaneWords> heap;
        LaneWords* state = local;
        if (m_blocks > Local) {
            heap.resize(2 * m_blocks);
            state = heap.data();
        }
        return laneBlockDistances(m_masks.data(), m_blocks, texts, m_length, m_lastBit, state, out);
    }
    for (std::size_t k = 0; k < Lanes; ++k)
        out[k] = distance(texts[k]);
}

// The same over blocks of 64 rows: each block takes the horizontal delta at
// its top from the block above and hands on the one at its bottom.
int EditDistancePattern::manyBlocks(std::string_view text) const
{
    // Texts up to 8,192 characters keep their state on the stack.
    constexpr std::size_t Local = 128;
    std::uint64_t local[2 * Local];
    std::vector<std::uint64_t> heap;
    std::uint64_t* pvs = local;
    if (m_blocks > Local) {
        heap.resize(2 * m_blocks);
        pvs = heap.data();
    }
    std::uint64_t* mvs = pvs + m_blocks;
    std::fill(pvs, pvs + m_blocks, ~std::uint64_t(0));
    std::fill(mvs, mvs + m_blocks, std::uint64_t(0));
    int score = static_cast<int>(m_length);
    const std::uint64_t high = std::uint64_t(1) << 63;
    for (const char ch : text) {
        const std::uint64_t* eqs = &m_masks[static_cast<unsigned char>(ch) * m_blocks];
        int hin = 1;
        for (std::size_t b = 0; b < m_blocks; ++b) {
            std::uint64_t pv = pvs[b];
            std::uint64_t mv = mvs[b];
            std::uint64_t eq = eqs[b];
            const std::uint64_t xv = eq | mv;
            if (hin < 0)
                eq |= 1;
            const std::uint64_t xh = (((eq & pv) + pv) ^ pv) | eq;
            std::uint64_t ph = mv | ~(xh | pv);
            std::uint64_t mh = pv & xh;
            const std::uint64_t bottom = b + 1 == m_blocks ? m_lastBit : high;
            const int hout = (ph & bottom) ? 1 : (mh & bottom) ? -1 : 0;
            ph <<= 1;
            mh <<= 1;
            if (hin < 0)
                mh |= 1;
            else if (hin > 0)
                ph |= 1;
            pvs[b] = mh | ~(xv | ph);
            mvs[b] = ph & xv;
            hin = hout;
        }
        score += hin;
    }
    return score;
}

namespace {

struct LetterKinds {
    std::array<std::uint8_t, 256> of{};
    LetterKinds()
    {
        const auto& table = foldTable();
        for (unsigned c = 0; c < 256; ++c) {
            const unsigned char f = table[c];
            of[c] = f >= 'A' && f <= 'Z' ? static_cast<std::uint8_t>(f - 'A')
                : f == ' '               ? 26
                : f >= '0' && f <= '9'   ? 27
                                         : static_cast<std::uint8_t>(28 + (f & 3));
        }
    }
};

const LetterKinds& letterKinds()
{
    static const LetterKinds kinds;
    return kinds;
}

} // namespace

LetterCounts letterCounts(std::string_view text)
{
    const auto& kinds = letterKinds().of;
    std::array<int, 32> counts{};
    for (const char ch : text)
        ++counts[kinds[static_cast<unsigned char>(ch)]];
    LetterCounts packed{};
    for (std::size_t k = 0; k < 32; ++k)
        packed[k / 2] |= static_cast<std::uint8_t>(std::min(counts[k], 15) << (k % 2 * 4));
    return packed;
}

int letterDistance(const LetterCounts& a, const LetterCounts& b)
{
#ifdef __SSE2__
    // Asked of most texts of the bands searched: sixteen bytes at a time,
    // each count's excess over the other's by saturating subtraction.
    const __m128i nibble = _mm_set1_epi8(15);
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.data()));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.data()));
    const __m128i xLow = _mm_and_si128(x, nibble), xHigh = _mm_and_si128(_mm_srli_epi16(x, 4), nibble);
    const __m128i yLow = _mm_and_si128(y, nibble), yHigh = _mm_and_si128(_mm_srli_epi16(y, 4), nibble);
    const __m128i zero = _mm_setzero_si128();
    const __m128i more =
        _mm_add_epi64(_mm_sad_epu8(_mm_subs_epu8(xLow, yLow), zero), _mm_sad_epu8(_mm_subs_epu8(xHigh, yHigh), zero));
    const __m128i fewer =
        _mm_add_epi64(_mm_sad_epu8(_mm_subs_epu8(yLow, xLow), zero), _mm_sad_epu8(_mm_subs_epu8(yHigh, xHigh), zero));
    const int m = _mm_cvtsi128_si32(more) + _mm_extract_epi16(more, 4);
    const int f = _mm_cvtsi128_si32(fewer) + _mm_extract_epi16(fewer, 4);
    return std::max(m, f);
#else
    int more = 0, fewer = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (const int shift : {0, 4}) {
            const int x = (a[i] >> shift) & 15, y = (b[i] >> shift) & 15;
            more += x > y ? x - y : 0;
            fewer += y > x ? y - x : 0;
        }
    }
    return std::max(more, fewer);
#endif
}

int editDistanceReference(std::string_view a, std::string_view b)
{
    std::vector<int> row(b.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            const bool same = fold(static_cast<unsigned char>(a[i - 1])) == fold(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace trd::server::memory
