#pragma once
// Screen texts as a translation memory meets them: mostly captions and short
// labels, fewer hints and messages, a thin tail of long help texts up to
// 4,000 characters; words drawn by a Zipf law from a Portuguese vocabulary;
// about a fifth of the rows repeat an earlier source exactly (another screen,
// another component) and about a sixth are near repeats of one (a word
// changed, added or dropped, punctuation, case, a shortcut mark, a plural).
// Translations are word-for-word pseudo-translations, so near sources have
// near translations, and some repeats are translated another way.
#include "Storage.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace trd::server::bench {

struct GeneratedRow {
    std::string program, component, source;
    std::string translation; // per language: translate(source, language, variant)
    int variant = 0; // 0 usually; 1 for a repeat translated another way
    char status = 'T';
};

class MemoryTexts {
public:
    explicit MemoryTexts(std::uint32_t seed);

    // The rows of one language's screens, in key order of nothing in particular.
    std::vector<GeneratedRow> rows(std::size_t count);
    // The row's translation into the language (a three-letter code).
    std::string translate(const std::string& source, const std::string& language, int variant) const;

    struct Shares {
        std::size_t repeats = 0, nearRepeats = 0, longest = 0;
        double meanLength = 0;
    };
    Shares shares() const { return m_shares; }

private:
    std::string word();
    std::string phrase(int words);
    std::string nearRepeat(std::string source);

    std::mt19937 m_random;
    std::vector<std::string> m_words;
    std::vector<double> m_cumulative; // Zipf weights, cumulated
    Shares m_shares;
};

// Writes the rows into languages L00.. (one transaction, bulk load); returns
// the number of rows written.
std::size_t fillMemoryRows(StorageWriter& writer, MemoryTexts& texts, const std::vector<GeneratedRow>& rows,
                           int languages);

} // namespace trd::server::bench
