#pragma once
// The rows a list of listed keys finds, each once: keys may overlap (a whole
// component and one of its rows), and the rows go out in the order program,
// component, source text whatever the order of the keys.
#include "Storage.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace trd::server {

// The keys as one JSON array of [program, component] or [program, component,
// source], bound as a single value: the back ends join it against the table,
// so a list of any length costs one statement.
std::string listedKeysJson(const std::vector<ListedKey>& keys);

class ListedRowsCollector {
public:
    // Copies the row: a back end's views die with its cursor.
    void add(std::int64_t id, const TranslationRowView& row);
    void visitSorted(const std::string& language, const RowVisitor& visit);

private:
    struct Found {
        std::string source, destination, status, component, program;
        double changed;
        std::string reviewer;
        double reviewed;
    };
    std::vector<Found> m_found;
    std::unordered_set<std::int64_t> m_seen;
};

} // namespace trd::server
