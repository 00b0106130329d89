#pragma once
// The back ends the method tests run on alike: SQLite in the server's
// temporary file, and PostgreSQL in a fresh database of the throwaway test
// cluster, where its binaries are installed.
#include "ServerTestKit.h"
#ifdef TRD_HAVE_POSTGRESQL
#include "PostgresCluster.h"
#include "PostgresStorage.h"
#endif

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace trd::server::test {

enum class Backend { Sqlite, Postgres };

// For INSTANTIATE_TEST_SUITE_P: "Sqlite" or "Postgres".
inline std::string backendName(const ::testing::TestParamInfo<Backend>& info)
{
    return info.param == Backend::Sqlite ? "Sqlite" : "Postgres";
}

// An in-process server on the back end, or none with the reason in `skip`
// when the back end cannot run here (the test skips; a cluster that gives no
// database fails it too). `conninfo` gets PostgreSQL's database.
inline std::unique_ptr<InProcessServer> inProcessServerOn(Backend backend, std::string& skip,
                                                          std::string* conninfo = nullptr)
{
    if (backend == Backend::Sqlite)
        return std::make_unique<InProcessServer>();
#ifdef TRD_HAVE_POSTGRESQL
    if (!trd::test::postgresCluster().ready()) {
        skip = "no PostgreSQL server binaries (initdb, pg_ctl) to run a test cluster";
        return nullptr;
    }
    const std::string database = trd::test::postgresCluster().freshDatabase();
    if (database.empty()) {
        ADD_FAILURE() << "the test cluster gave no fresh database";
        skip = "no database";
        return nullptr;
    }
    if (conninfo)
        *conninfo = database;
    return std::make_unique<InProcessServer>(std::make_unique<PostgresStorage>(database));
#else
    (void)conninfo;
    skip = "built without PostgreSQL";
    return nullptr;
#endif
}

} // namespace trd::server::test
