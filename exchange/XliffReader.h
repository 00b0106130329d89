#pragma once
// Reads an XLIFF 1.2 or 2.x file through pugixml, also after an outside tool
// rewrote it: attributes in any order, namespace prefixes, notes and elements
// of its own, CDATA, any indentation, segments split or marked. What is not
// well-formed XML, is not UTF-8, declares entities or points at an external
// DTD, uses an undeclared entity, or repeats a unit's id is refused whole,
// with the line and the reason. A unit whose content cannot be taken (markup
// that stands for codes, an unknown state) is kept with its problem, for the
// import to refuse that unit alone.
#include "ExchangeTypes.h"

#include <string>

namespace trd::exchange {

// Reads `bytes` (the whole file; the buffer is parsed in place and left
// changed). Throws FileError.
Document readXliff(std::string& bytes);

// True when the bytes look like XML rather than PO (the first non-blank
// character after an optional byte order mark is '<').
bool looksLikeXml(std::string_view bytes);

} // namespace trd::exchange
