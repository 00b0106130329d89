#include "LikePattern.h"

#include "Utf8Text.h"

namespace trd::server {

namespace {
constexpr char32_t AnyRun = 0xFFFFFFFF;
constexpr char32_t AnyOne = 0xFFFFFFFE;
} // namespace

LikePattern::LikePattern(std::string_view pattern) : m_pattern(pattern)
{
    m_hasOne = pattern.find('_') != std::string_view::npos;
    std::size_t start = 0;
    for (;;) {
        const std::size_t pct = pattern.find('%', start);
        m_segments.emplace_back(pattern.substr(start, pct == std::string_view::npos ? pct : pct - start));
        if (pct == std::string_view::npos)
            break;
        start = pct + 1;
    }
    if (m_hasOne) {
        for (std::size_t i = 0; i < m_pattern.size();) {
            const char c = m_pattern[i];
            if (c == '%') {
                m_compiled += AnyRun;
                ++i;
            } else if (c == '_') {
                m_compiled += AnyOne;
                ++i;
            } else
                m_compiled += utf8::next(m_pattern, i);
        }
    }
}

bool LikePattern::matches(std::string_view text) const
{
    return m_hasOne ? matchGeneral(text) : matchSegments(text);
}

bool LikePattern::matches(std::string_view text, bool fold, std::string& scratch) const
{
    if (!fold)
        return matches(text);
    scratch.clear();
    utf8::appendUpper(scratch, text);
    return matches(scratch);
}

// Without `_` every segment is a plain byte string, and UTF-8 is
// self-synchronising, so byte search gives the character-wise answer: the first
// segment anchors the start, the last the end, the middle ones are taken at
// their leftmost place.
bool LikePattern::matchSegments(std::string_view text) const
{
    if (m_segments.size() == 1)
        return text == m_segments.front();
    const std::string& head = m_segments.front();
    const std::string& tail = m_segments.back();
    if (head.size() + tail.size() > text.size())
        return false;
    if (text.substr(0, head.size()) != head || text.substr(text.size() - tail.size()) != tail)
        return false;
    std::size_t pos = head.size();
    const std::size_t end = text.size() - tail.size();
    for (std::size_t i = 1; i + 1 < m_segments.size(); ++i) {
        const std::string& seg = m_segments[i];
        if (seg.empty())
            continue;
        const std::size_t found = text.find(seg, pos);
        if (found == std::string_view::npos || found + seg.size() > end)
            return false;
        pos = found + seg.size();
    }
    return true;
}

// Character-wise glob matching, backtracking to the last `%` only.
bool LikePattern::matchGeneral(std::string_view text) const
{
    const std::u32string& pat = m_compiled;
    std::u32string str;
    str.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
        str += utf8::next(text, i);

    std::size_t t = 0, p = 0, starP = std::u32string::npos, starT = 0;
    while (t < str.size()) {
        if (p < pat.size() && (pat[p] == AnyOne || pat[p] == str[t])) {
            ++p;
            ++t;
        } else if (p < pat.size() && pat[p] == AnyRun) {
            starP = p++;
            starT = t;
        } else if (starP != std::u32string::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == AnyRun)
        ++p;
    return p == pat.size();
}

} // namespace trd::server
