#pragma once
// Row ids bound as one value, so that a list of any length is one statement:
// a JSON array ('[' ']') for SQLite's json_each, an array literal ('{' '}')
// for PostgreSQL's ANY.
#include <cstdint>
#include <string>
#include <vector>

namespace trd::server {

inline std::string idList(const std::vector<std::int64_t>& ids, char open, char close)
{
    std::string list(1, open);
    for (const std::int64_t id : ids) {
        if (list.size() > 1)
            list += ',';
        list += std::to_string(id);
    }
    list += close;
    return list;
}

} // namespace trd::server
