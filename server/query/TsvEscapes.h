#pragma once
// The escapes of the tab-separated files the server reads (the seeding import
// and the release file): \t, \n, \r and \\ stand for a tab, a line feed, a
// carriage return and a backslash; a backslash that ends the field stands for
// itself. Both files are written by people's tools, so one rule serves both.
#include <stdexcept>
#include <string>
#include <string_view>

namespace trd::server {

// Any other escape; what() names it and the four that exist.
class UnknownTsvEscape : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string unescapeTsvField(std::string_view field);

} // namespace trd::server
