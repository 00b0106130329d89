#pragma once
// What both back ends decide alike about a glossary's terms: the key that
// keeps one term per source words and scope, and the refusals.
#include "TermRecords.h"

#include <optional>
#include <string>

namespace trd::server::terms {

// The source words in capitals with their blanks collapsed: "Nota  fiscal"
// and "NOTA FISCAL" are one term of a language and scope.
std::string termKey(const std::string& source);

[[noreturn]] void refuseUnknown(const std::string& language, std::int64_t id);
[[noreturn]] void refuseDuplicate(const TermRecord& term);
// The write's `seen` date against the term as stored: refused when the
// term changed since the writer read it.
void checkSeen(const TermWrite& write, const TermRecord& current);
[[noreturn]] void glossaryNotKept();

// Lines of a list, one a line, blanks and empty lines dropped.
std::string normalisedList(const std::string& lines);

} // namespace trd::server::terms
