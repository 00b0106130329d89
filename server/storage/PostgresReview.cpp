#include "PostgresReview.h"

#include "ReviewRules.h"
#include "SchemaDialect.h"

namespace trd::server::pgreview {

const char* const MarkColumns = ", r.NMREVISOR, r.DTREVISAO";
const char* const MarkJoin =
    " LEFT JOIN REVISAO r ON r.IDTRADUCAO = t.IDTRADUCAO AND r.IDVERSAO IS NOT DISTINCT FROM t.IDULTVERSAO";

void ensureSchema(PostgresConnection& db)
{
    db.exec(schema::render(review::SchemaDefinition, schema::Postgres));
}

} // namespace trd::server::pgreview
