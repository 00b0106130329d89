#pragma once
// A connection as the stores written once for both back ends see it (the
// glossary, TermStore.h; the review marks, ReviewStore.h): statements with
// "?" for their values, rows read by column. The statements are plain SQL
// both databases run alike; each back end hands its connection over through
// SqliteStatementDb or PostgresStatementDb.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace trd::server {

class StatementDb {
public:
    virtual ~StatementDb() = default;
    class Row {
    public:
        virtual ~Row() = default;
        virtual std::string_view text(int column) const = 0;
        virtual double real(int column) const = 0;
        virtual std::int64_t integer(int column) const = 0;
    };
    // std::monostate binds NULL.
    using Value = std::variant<std::monostate, std::string, double, std::int64_t>;
    virtual void run(const std::string& sql, const std::vector<Value>& values,
                     const std::function<void(const Row&)>& visit = {}) = 0;

    // A value that may be missing: NULL when it is.
    static Value nullable(std::optional<std::int64_t> value) { return value ? Value(*value) : Value(std::monostate{}); }
};

} // namespace trd::server
