#include "SqliteGlossary.h"

#include <type_traits>

namespace trd::server {

namespace {

class StatementRow final : public StatementDb::Row {
public:
    explicit StatementRow(const SqliteStatement& st) : m_st(st) { }
    std::string_view text(int column) const override { return m_st.text(column); }
    double real(int column) const override { return m_st.real(column); }
    std::int64_t integer(int column) const override { return m_st.integer(column); }

private:
    const SqliteStatement& m_st;
};

} // namespace

void SqliteStatementDb::run(const std::string& sql, const std::vector<Value>& values,
                            const std::function<void(const Row&)>& visit)
{
    auto st = m_db.prepare(sql);
    for (std::size_t i = 0; i < values.size(); ++i)
        std::visit(
            [&](const auto& v) {
                if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::monostate>)
                    st.bindNull(static_cast<int>(i + 1));
                else
                    st.bind(static_cast<int>(i + 1), v);
            },
            values[i]);
    const StatementRow row(st);
    while (st.step())
        if (visit)
            visit(row);
}

namespace sqliteglossary {

void ensureSchema(const std::string& path, bool durable)
{
    SqliteConnection db(path, durable, SqliteConnection::Mode::ReadWrite);
    db.exec("BEGIN IMMEDIATE");
    try {
        db.exec(termstore::SqliteSchema);
        db.exec("COMMIT");
    } catch (const std::exception& e) {
        db.exec("ROLLBACK");
        throw StorageError("não foi possível criar as tabelas do glossário no banco " + path + ": " + e.what());
    }
}

bool present(const std::string& path)
{
    SqliteConnection db(path, true, SqliteConnection::Mode::ReadOnly);
    auto st = db.prepare("SELECT COUNT(*) FROM sqlite_schema WHERE type = 'table' AND name IN ('GLOSSARIO', "
                         "'GLOSSARIO_HISTORICO')");
    st.step();
    return st.integer(0) == 2;
}

} // namespace sqliteglossary
} // namespace trd::server
