#pragma once
// How a glossary's texts are kept: the server stores them so, and the
// exchange compares a file with the server's terms the same way, so that an
// export read back is seen as unchanged.
#include <string>
#include <string_view>

namespace trd::termtext {

// Blanks and tabs collapsed to one blank, none at either end.
inline std::string collapsed(std::string_view text)
{
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            blank = !out.empty();
            continue;
        }
        if (blank)
            out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

// One value a line: each line collapsed, CR LF read as LF, empty lines dropped.
inline std::string normalisedList(std::string_view lines)
{
    std::string out;
    std::size_t start = 0;
    while (start <= lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string_view::npos)
            end = lines.size();
        std::string_view raw = lines.substr(start, end - start);
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        const std::string line = collapsed(raw);
        if (!line.empty()) {
            if (!out.empty())
                out += '\n';
            out += line;
        }
        start = end + 1;
    }
    return out;
}

} // namespace trd::termtext
