#pragma once
// Text and attribute values as the exchange's XML writers put them, so that a
// parser gives back exactly the text written.
#include <string>
#include <string_view>

namespace trd::exchange {

// Text content: tab and line feed stand as they are; a carriage return is a
// character reference, which a parser keeps where it would turn CR LF into LF.
void appendText(std::string& out, std::string_view text);

// Attribute values: line breaks and tabs as references too, or a parser would
// turn them into blanks.
void appendAttr(std::string& out, std::string_view text);

} // namespace trd::exchange
