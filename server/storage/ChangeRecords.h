#pragma once
// What the change feed reads of the history: the versions kept after a given
// one, each with the row as it stands now (or the identity a delete kept) and
// the user of its batch, and what the reading transaction could see, so that
// the feed can tell which versions may still commit (docs/live.md).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trd::server {

struct ChangeQuery {
    std::int64_t after = 0; // versions with a larger id
    std::string language; // only this language's (empty: every language)
    std::size_t limit = 10000; // at most this many, the oldest first
};

// One version, as the feed needs it.
struct ChangeRecord {
    std::int64_t version = 0;
    std::int64_t row = 0; // IDTRADUCAO
    std::optional<std::int64_t> previous; // the row's version before this one
    char type = 'A'; // 'A' changed, 'I' created, 'E' deleted
    std::string statusBefore, statusAfter; // empty for an insert (before) or a delete (after)
    std::optional<std::string> textBefore; // absent when the text stayed, or for an insert
    double when = 0; // the change date-time
    std::string user; // of its batch
    std::string language; // of its batch
    // The row as it stands in the same reading, when it still exists.
    bool rowExists = false;
    std::string program, component, source, destination;
    std::optional<std::int64_t> rowNewest; // the row's newest version
    // What a delete version kept of the row's identity.
    bool deletedKey = false;
    std::string deletedProgram, deletedComponent, deletedSource;
};

struct ChangeWindow {
    std::vector<ChangeRecord> records; // ordered by version
    bool more = false; // the limit cut the list
    // The largest and the smallest version id the reading could see (0: none).
    std::int64_t newest = 0;
    std::int64_t oldest = 0;
    // PostgreSQL only: the transactions in progress when the reading took
    // its snapshot (full 64-bit ids). Any of them may still commit versions
    // with ids up to `newest`; once all have ended, everything up to
    // `newest` is known.
    std::vector<std::int64_t> inProgress;
    bool tracksTransactions = false; // false: ids commit in their order (SQLite)
};

} // namespace trd::server
