#pragma once
// What an XML exchange file (XLIFF, TBX) must pass before anything reads it,
// so that a hostile file costs bounded time and memory and never reaches
// beyond itself. Each check throws FileError with the line and the reason;
// nothing of a refused file is used.
#include "FileBytes.h"

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace trd::exchange {

// The entity references outside comments, CDATA and processing instructions:
// only the five predefined ones and character references (pugixml expands no
// entity and would leave "&name;" in the text as it stands, so an undeclared
// reference is refused rather than imported as text). A DOCTYPE may not
// declare anything (<!ENTITY>, whose expansion is the attack, or any internal
// subset). An external identifier (SYSTEM/PUBLIC) is refused unless
// `externalDtdAllowed`: term bases name their DTD as a matter of course, and
// pugixml never reads it.
void checkXmlMarkup(std::string_view text, const LineIndex& lines, bool externalDtdAllowed);

// Parses the UTF-8 bytes in place (left changed); refuses malformed XML and a
// declared encoding other than UTF-8.
void parseXmlFile(std::string& bytes, const LineIndex& lines, pugi::xml_document& doc);

// Refuses elements nested deeper than 256 levels before anything walks the
// tree: readers recurse through nested markup, and a file of tens of
// thousands of nested elements would overflow their stack. `format` names the
// file's kind in the message ("XLIFF", "TBX").
void checkXmlDepth(const pugi::xml_document& doc, const LineIndex& lines, const char* format);

// All of the above in order, after the bytes are found to be UTF-8: the file's
// line index, for the reader's messages, with `doc` parsed.
LineIndex loadXmlFile(std::string& bytes, pugi::xml_document& doc, const char* format, bool externalDtdAllowed);

} // namespace trd::exchange
