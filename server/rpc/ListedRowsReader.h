#pragma once
// Reads the file of listed rows that GetCDSFilter receives (docs/listed-rows.md)
// into the keys of the rows wanted for one language and listing kind.
#include "Storage.h"

#include <string>
#include <vector>

namespace trd::server {

// listingKind: a digit whose bits choose the kinds: 1 size errors (E), 2 not
// translated (N), 4 the other checks' findings (Q); "3" is the first two.
// Rows listed for another language are left out. Throws RpcError(InvalidParams) for a packet
// that does not parse, lacks a required field or holds an unknown listing type.
std::vector<ListedKey> readListedRows(const std::string& packetXml, const std::string& language,
                                      const std::string& listingKind);

} // namespace trd::server
