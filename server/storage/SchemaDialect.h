#pragma once
// Tables written once for both back ends: a definition names the few types
// the two dialects spell differently by {KEY}, {ID}, {REAL}, {SMALL}, {CODE}
// and {TEXT(n)}, and each back end renders it with its own, so neither can
// gain a column or a check the other lacks.
#include <string>
#include <string_view>

namespace trd::server::schema {

struct Types {
    std::string_view key; // {KEY}: an id the database assigns, the table's key
    std::string_view id; // {ID}: an id held (another table's, or a key given)
    std::string_view real; // {REAL}: a date or another real number
    std::string_view small; // {SMALL}: a small whole number (a percentage, a kind)
    std::string_view code; // {CODE}: a one-letter code
    // {TEXT(n)}: a text of at most n characters that compares bytewise; a
    // '%' stands for n.
    std::string_view text;
};

inline constexpr Types Sqlite{"INTEGER PRIMARY KEY", "INTEGER", "REAL", "INTEGER", "TEXT", "TEXT"};
inline constexpr Types Postgres{"BIGSERIAL PRIMARY KEY",   "BIGINT", "DOUBLE PRECISION", "SMALLINT", "CHAR(1)",
                                "VARCHAR(%) COLLATE \"C\""};

// The definition with each {NAME} replaced by its type.
std::string render(std::string_view definition, const Types& types);

} // namespace trd::server::schema
