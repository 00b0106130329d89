#pragma once
// The backslash escapes that JSON, PostgreSQL's COPY text form and the
// tab-separated files the server reads all share: \t, \n and \r for a tab, a
// line feed and a carriage return, \\ for a backslash. Each format adds its
// own around these (JSON's quote and \u, a TSV error for any other), so the
// four are written once here in both directions.
#include <string>
#include <string_view>

namespace trd::server::escapes {

// The escape that stands for `c`, or an empty view when `c` has none here.
constexpr std::string_view escapeOf(char c)
{
    switch (c) {
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\\':
        return "\\\\";
    default:
        return {};
    }
}

// The character the letter after a backslash stands for, or '\0' when the
// letter is none of the four.
constexpr char unescapeOf(char letter)
{
    switch (letter) {
    case 't':
        return '\t';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case '\\':
        return '\\';
    default:
        return '\0';
    }
}

// `value` with every character of the four escaped; any other byte as it is.
inline void appendEscaped(std::string& out, std::string_view value)
{
    std::size_t run = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const std::string_view escape = escapeOf(value[i]);
        if (escape.empty())
            continue;
        out.append(value.data() + run, i - run);
        out += escape;
        run = i + 1;
    }
    out.append(value.data() + run, value.size() - run);
}

} // namespace trd::server::escapes
