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

// Imports in one transaction; a key given twice in the file takes the later
// line's values. Throws std::runtime_error naming the line at fault, or a
// language of the file that already has rows in the database (a new release
// goes through the release path, docs/releases.md), with nothing imported.
ImportCounts importTsv(std::istream& in, WriteCoordinator& writer);

} // namespace trd::server
