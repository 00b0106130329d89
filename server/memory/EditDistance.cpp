#include "EditDistance.h"

#include "MemoryText.h"

#include <algorithm>
#include <numeric>

namespace trd::server::memory {

EditDistancePattern::EditDistancePattern(std::string_view text)
    : m_length(text.size()), m_blocks(std::max<std::size_t>(1, (text.size() + 63) / 64)),
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
}

int EditDistancePattern::distance(std::string_view text) const
{
    if (m_length == 0)
        return static_cast<int>(text.size());
    if (text.empty())
        return static_cast<int>(m_length);
    return m_blocks == 1 ? singleBlock(text) : manyBlocks(text);
}

// Vertical deltas Pv/Mv of the column (+1/-1 between consecutive rows); the
// top row grows by one a column (the distance to an empty prefix), which the
// "| 1" carried into Ph stands for.
int EditDistancePattern::singleBlock(std::string_view text) const
{
    std::uint64_t pv = ~std::uint64_t(0);
    std::uint64_t mv = 0;
    int score = static_cast<int>(m_length);
    for (const char ch : text) {
        const std::uint64_t eq = m_masks[static_cast<unsigned char>(ch)];
        const std::uint64_t xv = eq | mv;
        const std::uint64_t xh = (((eq & pv) + pv) ^ pv) | eq;
        std::uint64_t ph = mv | ~(xh | pv);
        std::uint64_t mh = pv & xh;
        if (ph & m_lastBit)
            ++score;
        else if (mh & m_lastBit)
            --score;
        ph = (ph << 1) | 1;
        mh <<= 1;
        pv = mh | ~(xv | ph);
        mv = ph & xv;
    }
    return score;
}

// The same over blocks of 64 rows: each block takes the horizontal delta at
// its top from the block above and hands on the one at its bottom.
int EditDistancePattern::manyBlocks(std::string_view text) const
{
    thread_local std::vector<std::uint64_t> state;
    state.assign(2 * m_blocks, 0);
    std::uint64_t* pvs = state.data();
    std::uint64_t* mvs = state.data() + m_blocks;
    std::fill(pvs, pvs + m_blocks, ~std::uint64_t(0));
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
