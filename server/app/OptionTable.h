#pragma once
// Every option of trd-server, once. The command line and the configuration
// file both read through this table, so an option added here is at once an
// option of both, with the same name, the same checks and the same message.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

struct ServerOptions;

enum class OptionArity {
    Flag, // --quiet; in the file "quiet = true" (or false)
    Value, // --threads 8; in the file "threads = 8"
    Repeated, // --server-name A --server-name B; in the file, one line each
};

struct OptionEntry {
    std::string name; // after "--" on the command line; the key in the file
    OptionArity arity = OptionArity::Value;
    // false for what the command line does once (a backup, pruning, reading
    // a configuration) rather than how the server runs: a file holding it
    // would turn every start of the service into that action.
    bool inFile = true;
    // Options that stand for one another (--db and --pg): one given on the
    // command line sets aside any of its group from the file.
    std::string group;
    // Sets the option from its value ("" for a flag); false with error set.
    std::function<bool(ServerOptions&, const std::string& value, std::string& error)> apply;
};

const std::vector<OptionEntry>& serverOptionTable();
// The option named NAME (without the dashes), or nullptr.
const OptionEntry* findServerOption(std::string_view name);

} // namespace trd::server
