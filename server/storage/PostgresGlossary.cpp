#include "PostgresGlossary.h"

#include <charconv>

namespace trd::server {

namespace {

class ResultRow final : public StatementDb::Row {
public:
    explicit ResultRow(const PostgresConnection::Row& r) : m_r(r) { }
    std::string_view text(int column) const override { return m_r.text(column); }
    double real(int column) const override { return m_r.real(column); }
    std::int64_t integer(int column) const override { return m_r.integer(column); }

private:
    const PostgresConnection::Row& m_r;
};

// "?" to "$1", "$2"...: the statements hold no "?" of their own.
std::string numbered(const std::string& sql)
{
    std::string out;
    int n = 0;
    for (char c : sql) {
        if (c == '?')
            out += '$' + std::to_string(++n);
        else
            out += c;
    }
    return out;
}

std::optional<std::string> textOf(const StatementDb::Value& value)
{
    if (std::holds_alternative<std::monostate>(value))
        return std::nullopt;
    if (const auto* s = std::get_if<std::string>(&value))
        return *s;
    if (const auto* i = std::get_if<std::int64_t>(&value))
        return std::to_string(*i);
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::get<double>(value));
    return std::string(buf, res.ptr);
}

} // namespace

void PostgresStatementDb::run(const std::string& sql, const std::vector<Value>& values,
                              const std::function<void(const Row&)>& visit)
{
    PostgresConnection::NullableParams params;
    params.reserve(values.size());
    for (const Value& v : values)
        params.push_back(textOf(v));
    m_db.runNullable(numbered(sql), params, [&](const PostgresConnection::Row& r) {
        if (visit)
            visit(ResultRow(r));
    });
}

} // namespace trd::server
