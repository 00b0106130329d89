#include "TsvEscapes.h"

#include "BackslashEscapes.h"
#include "Utf8Text.h"

namespace trd::server {

std::string unescapeTsvField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        if (const char plain = escapes::unescapeOf(field[++i])) {
            out += plain;
            continue;
        }
        // The whole character after the backslash, not its first byte, so the message stays UTF-8.
        std::size_t pos = i;
        std::string shown;
        utf8::append(shown, utf8::next(field, pos));
        throw UnknownTsvEscape("escape desconhecido \\" + shown + " (use \\t, \\n, \\r ou \\\\)");
    }
    return out;
}

} // namespace trd::server
