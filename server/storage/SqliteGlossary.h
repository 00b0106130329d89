#pragma once
// The stores written once for both back ends (StatementDb.h) on a SQLite
// connection, and the glossary's tables there.
#include "SqliteConnection.h"
#include "TermStore.h"

namespace trd::server {

class SqliteStatementDb final : public StatementDb {
public:
    explicit SqliteStatementDb(SqliteConnection& db) : m_db(db) { }
    void run(const std::string& sql, const std::vector<Value>& values,
             const std::function<void(const Row&)>& visit) override;

private:
    SqliteConnection& m_db;
};

// The glossary of a database served read-only from before the glossary's
// tables: it has no terms (reads answer none; writes never get here).
class NoTermDb final : public StatementDb {
public:
    void run(const std::string&, const std::vector<Value>&, const std::function<void(const Row&)>&) override { }
};

namespace sqliteglossary {
// Creates the tables when they are missing (any earlier schema takes them),
// on a database that may be written.
void ensureSchema(const std::string& path, bool durable);
// Whether the database holds the glossary's tables.
bool present(const std::string& path);
} // namespace sqliteglossary

} // namespace trd::server
