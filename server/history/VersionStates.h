#pragma once
// A row's versions as whole states. A version keeps only the status after and
// the text before (when the text changed), so the text after a version is
// the next version's text before, or the row's current text for the newest:
// reading a chain from the newest version back gives every state.
#include "HistoryRecords.h"

#include <string>
#include <vector>

namespace trd::server::history {

// A row as it stood: absent before its insert and after its delete.
struct RowState {
    bool exists = false;
    std::string text;
    std::string status;

    bool operator==(const RowState& other) const
    {
        return exists == other.exists && (!exists || (text == other.text && status == other.status));
    }
};

struct ResolvedVersion {
    VersionRecord record;
    RowState before;
    RowState after;
};

// `chain` is a row's versions, newest first and consecutive (as
// HistoryReader::chain gives them); `afterNewest` is the row now (absent when
// the newest version deleted it).
std::vector<ResolvedVersion> resolveChain(const std::vector<VersionRecord>& chain, const RowState& afterNewest);

// The row as it stands now, or absent.
RowState stateOf(const std::optional<CurrentRow>& row);

} // namespace trd::server::history
