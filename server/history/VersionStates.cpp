#include "VersionStates.h"

namespace trd::server::history {

std::vector<ResolvedVersion> resolveChain(const std::vector<VersionRecord>& chain, const RowState& afterNewest)
{
    std::vector<ResolvedVersion> out;
    out.reserve(chain.size());
    RowState after = afterNewest;
    for (const VersionRecord& v : chain) {
        ResolvedVersion r;
        r.record = v;
        r.after.exists = v.type != ChangeType::Delete;
        if (r.after.exists) {
            r.after.text = after.text;
            r.after.status = v.statusAfter;
        }
        r.before.exists = v.type != ChangeType::Insert;
        if (r.before.exists) {
            // A change that kept the text (a status change) kept no text of its own.
            r.before.text = v.textBefore ? *v.textBefore : r.after.text;
            r.before.status = v.statusBefore;
        }
        after = r.before;
        out.push_back(std::move(r));
    }
    return out;
}

RowState stateOf(const std::optional<CurrentRow>& row)
{
    RowState s;
    if (row) {
        s.exists = true;
        s.text = row->destination;
        s.status = row->status;
    }
    return s;
}

} // namespace trd::server::history
