#include "FeedEvents.h"

#include <unordered_map>

namespace trd::server::feed {

std::size_t FeedEvent::bytes() const
{
    return sizeof(FeedEvent) + language.size() + program.size() + component.size() + source.size() + textBefore.size()
        + textAfter.size() + user.size();
}

namespace {

struct Resolved {
    bool known = false;
    std::string textAfter;
};

} // namespace

Composed composeEvents(const ChangeWindow& window, std::int64_t upTo)
{
    const auto& records = window.records;
    const std::size_t n = records.size();
    // The next version of each row within the reading, and where the rows
    // that are gone kept their identity.
    std::unordered_map<std::int64_t, std::size_t> nextOf;
    std::unordered_map<std::int64_t, std::size_t> deletion;
    for (std::size_t i = 0; i < n; ++i) {
        if (records[i].previous)
            nextOf[*records[i].previous] = i;
        if (records[i].type == 'E' && records[i].deletedKey)
            deletion[records[i].row] = i;
    }
    // Newest first, so a version's next one is resolved before it.
    std::vector<Resolved> resolved(n);
    for (std::size_t k = n; k-- > 0;) {
        const ChangeRecord& r = records[k];
        Resolved& out = resolved[k];
        if (r.type == 'E') {
            out.known = true;
        } else if (const auto next = nextOf.find(r.version); next != nextOf.end()) {
            const ChangeRecord& w = records[next->second];
            if (w.textBefore) {
                out.known = true;
                out.textAfter = *w.textBefore;
            } else if (resolved[next->second].known) {
                out = resolved[next->second]; // a status change: the text stayed
            }
        } else if (r.rowExists && r.rowNewest == r.version) {
            out.known = true;
            out.textAfter = r.destination;
        }
    }

    Composed composed;
    for (std::size_t i = 0; i < n && records[i].version <= upTo; ++i) {
        const ChangeRecord& r = records[i];
        const ChangeRecord* key = r.rowExists ? &r : nullptr;
        const ChangeRecord* gone = nullptr;
        if (!key) {
            if (const auto d = deletion.find(r.row); d != deletion.end())
                gone = &records[d->second];
        }
        if (!resolved[i].known || (!key && !gone)) {
            ++composed.unknown;
            continue;
        }
        FeedEvent e;
        e.seq = r.version;
        e.type = r.type;
        e.language = r.language;
        e.program = key ? r.program : gone->deletedProgram;
        e.component = key ? r.component : gone->deletedComponent;
        e.source = key ? r.source : gone->deletedSource;
        e.statusAfter = r.statusAfter;
        e.textAfter = resolved[i].textAfter;
        if (r.type != 'I') {
            e.statusBefore = r.statusBefore;
            e.textBefore = r.textBefore ? *r.textBefore : e.textAfter;
        }
        e.when = r.when;
        e.user = r.user;
        composed.events.push_back(std::move(e));
    }
    return composed;
}

} // namespace trd::server::feed
