#pragma once
// The configuration file of trd-server: one option a line, "KEY = VALUE",
// KEY the option's name without its dashes (OptionTable.h). Blank lines and
// lines whose first character that is not a blank is '#' are skipped; a value
// may be put in double quotes (with \" and \\ inside) to keep blanks at its
// ends. Anything else is refused with its line and the reason, before the
// server starts: a typo in a file nobody reads at start would otherwise run
// the service with a default nobody chose.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

struct ConfigEntry {
    int line = 0;
    std::string key;
    std::string value;
};

// The entries of TEXT, in order; nothing, with error "linha N: ...", at the first malformed line.
std::optional<std::vector<ConfigEntry>> parseConfigText(std::string_view text, std::string& error);

// The entries of the file at PATH; nothing, with error naming the file (and the line).
std::optional<std::vector<ConfigEntry>> readConfigFile(const std::string& path, std::string& error);

// "true", "yes", "on", "1" / "false", "no", "off", "0"; nothing for anything else.
std::optional<bool> configFlag(const std::string& value);

// Where the packaged service keeps its configuration.
inline constexpr const char* DefaultConfigFile = "/etc/trd/trd-server.conf";

} // namespace trd::server
