#pragma once
// The demo content of `trd-server --demo`: languages and a few thousand
// screen texts of the client's programs (captions, hints, messages), with
// translations in several states, accents, accelerators (&) and line breaks.
#include "WriteCoordinator.h"

namespace trd::server {

struct DemoCounts {
    std::size_t languages = 0;
    std::size_t rows = 0;
};

// Fills the database in one transaction. Deterministic: the same rows (and
// statuses) every time; change dates spread over the year before today.
DemoCounts fillDemo(WriteCoordinator& writer);

} // namespace trd::server
