#pragma once
// The stores written once for both back ends (StatementDb.h) on a
// PostgreSQL connection.
#include "PostgresConnection.h"
#include "TermStore.h"

namespace trd::server {

class PostgresStatementDb final : public StatementDb {
public:
    explicit PostgresStatementDb(PostgresConnection& db) : m_db(db) { }
    void run(const std::string& sql, const std::vector<Value>& values,
             const std::function<void(const Row&)>& visit) override;

private:
    PostgresConnection& m_db;
};

} // namespace trd::server
