#pragma once
// Reads the file of listed rows that GetCDSFilter receives (docs/listed-rows.md)
// into the keys of the rows wanted for one language and listing kind.
#include "Storage.h"

#include <string>
#include <vector>

namespace trd::server {

// listingKind: "1" size errors, "2" not translated, "3" both. Rows listed for
// another language are left out. Throws RpcError(InvalidParams) for a packet
// that does not parse, lacks a required field or holds an unknown listing type.
std::vector<ListedKey> readListedRows(const std::string& packetXml, const std::string& language,
                                      const std::string& listingKind);

} // namespace trd::server
