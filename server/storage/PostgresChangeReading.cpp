#include "ChangeReading.h"
#include "PostgresConnection.h"

#include <charconv>

namespace trd::server::changereading {

// A repeatable-read transaction: its one snapshot serves both statements, so
// the transactions listed as in progress are exactly those whose versions the
// reading could not see yet.
ChangeWindow readPostgres(PostgresConnection& db, const ChangeQuery& query)
{
    ChangeWindow window;
    window.tracksTransactions = true;
    db.exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    try {
        db.run(
            "SELECT COALESCE((SELECT MAX(IDVERSAO) FROM VERSAO), 0), COALESCE((SELECT MIN(IDVERSAO) FROM VERSAO), 0), "
            "array_to_string(ARRAY(SELECT pg_snapshot_xip(pg_current_snapshot())), ',')",
            {}, [&](const PostgresConnection::Row& r) {
                window.newest = r.integer(0);
                window.oldest = r.integer(1);
                const std::string_view list = r.text(2);
                std::size_t at = 0;
                while (at < list.size()) {
                    std::size_t end = list.find(',', at);
                    if (end == std::string_view::npos)
                        end = list.size();
                    std::int64_t xid = 0;
                    if (std::from_chars(list.data() + at, list.data() + end, xid).ec == std::errc())
                        window.inProgress.push_back(xid);
                    at = end + 1;
                }
            });
        const bool byLanguage = !query.language.empty();
        PostgresConnection::Params params{std::to_string(query.after)};
        if (byLanguage)
            params.push_back(query.language);
        params.push_back(std::to_string(query.limit + 1));
        db.run(selectAfter(byLanguage, "$1::bigint", "$2", byLanguage ? "$3::bigint" : "$2::bigint"), params,
               [&](const PostgresConnection::Row& r) {
                   if (window.records.size() == query.limit)
                       window.more = true;
                   else
                       window.records.push_back(readRecord(r));
               });
    } catch (...) {
        try {
            db.exec("ROLLBACK");
        } catch (...) {
        }
        throw;
    }
    db.exec("COMMIT");
    return window;
}

} // namespace trd::server::changereading
