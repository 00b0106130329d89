#pragma once
// The change feed's events: one a version, the row's state before and after
// it, made from a reading of the history (ChangeRecords.h). The text after a
// version is not kept by the history: it is the text before the row's next
// version, or the row's text for its newest one (docs/history.md).
#include "ChangeRecords.h"

#include <cstdint>
#include <string>
#include <vector>

namespace trd::server::feed {

struct FeedEvent {
    std::int64_t seq = 0; // the version's id
    char type = 'A'; // 'A' changed, 'I' created, 'E' deleted
    std::string language, program, component, source;
    std::string statusBefore, textBefore; // empty for a created row
    std::string statusAfter, textAfter; // empty for a deleted row
    double when = 0; // the change date-time
    std::string user;

    // What holding it costs, about: for the bounds of the feed's memory.
    std::size_t bytes() const;
};

struct Composed {
    std::vector<FeedEvent> events; // ordered by seq
    // Versions up to `upTo` whose state could not be told from the reading
    // (its list was cut before the row's next version, or pruned history
    // broke the row's chain): the feed does not pretend to know them.
    std::size_t unknown = 0;
};

// The events of the versions of the window up to `upTo` (all: INT64_MAX);
// versions after it still serve to tell the text after those before.
Composed composeEvents(const ChangeWindow& window, std::int64_t upTo);

} // namespace trd::server::feed
