#pragma once
// Tables written once for both back ends: a definition names the few types
// the two dialects spell differently by {KEY}, {ID} and {REAL}, and each back
// end renders it with its own, so neither can gain a column or a check the
// other lacks.
#include <string>
#include <string_view>

namespace trd::server::schema {

struct Types {
    std::string_view key; // {KEY}: an id the database assigns, the table's key
    std::string_view id; // {ID}: an id held (another table's, or a key given)
    std::string_view real; // {REAL}: a date or another real number
};

inline constexpr Types Sqlite{"INTEGER PRIMARY KEY", "INTEGER", "REAL"};
inline constexpr Types Postgres{"BIGSERIAL PRIMARY KEY", "BIGINT", "DOUBLE PRECISION"};

// The definition with each {NAME} replaced by its type.
std::string render(std::string_view definition, const Types& types);

} // namespace trd::server::schema
