#pragma once
// LIKE as the filter fragment means it, identically on every back end: `%`
// matches any run of characters, `_` exactly one character, everything else
// itself, case-sensitively, with no escape character. Compiled once per query
// and matched against every row.
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

class LikePattern {
public:
    explicit LikePattern(std::string_view pattern);

    // Matches UTF-8 text. With fold, the text is upper-cased first (Windows-1252
    // letters), using scratch as the buffer so that a scan allocates once.
    bool matches(std::string_view text, bool fold, std::string& scratch) const;
    bool matches(std::string_view text) const;

private:
    bool matchSegments(std::string_view text) const;
    bool matchGeneral(std::string_view text) const;

    std::string m_pattern;
    bool m_hasOne = false; // holds `_`: needs character-wise matching
    std::vector<std::string> m_segments; // the literal runs between `%`
    std::u32string m_compiled; // characters, with markers for `%` and `_`
};

} // namespace trd::server
