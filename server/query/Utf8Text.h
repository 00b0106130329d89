#pragma once
// Text rules of the server on UTF-8 bytes: validation, character counts, the
// Windows-1252 repertoire and its upper-case fold. Texts reach the server as
// UTF-8 and go back the same way; these helpers never build a QString, so they
// stay cheap inside SQL functions called once per row.
#include "Utf8.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace trd::server::utf8 {

// Strict UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool isValid(std::string_view text);

// Decodes the character at pos and advances pos; on invalid input yields
// U+FFFD and advances one byte, so a scan always terminates.
char32_t next(std::string_view text, std::size_t& pos);

using trd::utf8::append;

// Number of characters (code points) of valid UTF-8.
std::size_t length(std::string_view text);

// The first `count` characters (or all of them).
std::string_view left(std::string_view text, std::size_t count);

// True when every character has a Windows-1252 byte.
bool isWin1252(std::string_view text);

// True when the text holds a control character other than tab, line feed and
// carriage return: the packet's XML cannot carry those.
bool hasForbiddenControl(std::string_view text);

// The Windows-1252 upper-case fold of one character (a-z, à-þ except ÷, š œ ž ÿ).
char32_t upper(char32_t ch);

// Appends the folded text to out. The fold never changes a character's UTF-8
// length, so byte offsets in the result match the source.
void appendUpper(std::string& out, std::string_view text);
std::string toUpper(std::string_view text);

// The counted length of the statistics dialog: characters of the text that are
// not digits, blanks or the ASCII punctuation it leaves out.
std::size_t countedLength(std::string_view text);

} // namespace trd::server::utf8
