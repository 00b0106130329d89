#include "ListedRowsCollector.h"

#include "Json.h"

#include <algorithm>
#include <tuple>

namespace trd::server {

std::string listedKeysJson(const std::vector<ListedKey>& keys)
{
    std::string out = "[";
    for (const auto& key : keys) {
        if (out.size() > 1)
            out += ',';
        out += '[';
        appendJsonString(out, key.program);
        out += ',';
        appendJsonString(out, key.component);
        if (key.source) {
            out += ',';
            appendJsonString(out, *key.source);
        }
        out += ']';
    }
    out += ']';
    return out;
}

void ListedRowsCollector::add(std::int64_t id, const TranslationRowView& row)
{
    if (!m_seen.insert(id).second)
        return;
    m_found.push_back({std::string(row.source), std::string(row.destination), std::string(row.status),
                       std::string(row.component), std::string(row.program), row.changed, std::string(row.reviewer),
                       row.reviewed});
}

void ListedRowsCollector::visitSorted(const std::string& language, const RowVisitor& visit)
{
    std::sort(m_found.begin(), m_found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.program, a.component, a.source) < std::tie(b.program, b.component, b.source);
    });
    for (const auto& f : m_found)
        visit({f.source, f.destination, f.status, language, f.component, f.program, f.changed, f.reviewer, f.reviewed});
}

} // namespace trd::server
