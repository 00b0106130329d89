#pragma once
// Seeding a database from a tab-separated file (`trd-server --import-tsv`),
// for tests, demos and migrations. Format in docs/server.md:
//   L <tab> IDIDIOMA <tab> DSIDIOMA <tab> IDIPROP
//   R <tab> IDIDIOMA <tab> CDPROGTRAD <tab> NMCOMPONENTE <tab> STAGRVALPROP <tab> STVALORPROP
//     <tab> IDSITTRADUCAO [<tab> DTALTERACAO]
// Texts use \t \n \r \\ escapes; DTALTERACAO is a day count or YYYY-MM-DD[ HH:MM:SS].
#include "WriteCoordinator.h"

#include <istream>

namespace trd::server {

struct ImportCounts {
    std::size_t languages = 0;
    std::size_t rows = 0;
};

// Imports in one transaction; an existing row (same key) takes the new
// values. Throws std::runtime_error naming the line at fault, with nothing
// imported.
ImportCounts importTsv(std::istream& in, WriteCoordinator& writer);

} // namespace trd::server
