#pragma once
// The release file: the application's whole current set of screen texts, one
// (program, component, source) a line, tab-separated, with the escapes of
// --import-tsv (docs/releases.md, "The file"). Read strictly: any fault
// refuses the whole file with its line and reason, so a file that is not what
// its author meant never reaches the rows of any language.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server::release {

struct ReleaseKey {
    std::string program; // CDPROGTRAD
    std::string component; // NMCOMPONENTE
    std::string source; // STAGRVALPROP
    std::size_t line = 0; // where it stands in the file, from 1
};

// The keys in file order. Throws a BadArgument ServerError, "Arquivo da
// liberação inválido, linha N: ... Nada foi aplicado.", at the first fault:
// not three fields, an unknown escape, text that is not UTF-8, a character
// outside Windows-1252 or a control character, a field over its size, a key
// already on an earlier line. A file with no line answers no key (the apply's
// guard decides about it, not the reader).
std::vector<ReleaseKey> readReleaseFile(std::string_view text);

} // namespace trd::server::release
