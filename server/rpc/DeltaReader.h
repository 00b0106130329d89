#pragma once
// Reads the change log that SetDestino receives (a delta packet of the
// translation row) into validated RowChanges. Anything the server would not
// store is refused here, before the writer is involved.
#include "Storage.h"

#include <string>
#include <vector>

namespace trd::server {

// Throws RpcError(InvalidParams) naming the row and field at fault; a packet
// that does not parse is refused with the codec's own message.
std::vector<RowChange> readDelta(const std::string& packetXml);

// Checks one value for its field: size in characters, Windows-1252, no control
// characters the packet cannot carry. Throws RpcError(InvalidParams).
void checkFieldText(std::string_view value, const char* field, std::size_t maxChars, int rowNumber);

// A language code is exactly three characters: clients take the first three
// characters of "CODE-Description" as the code, so a shorter code could be
// stored but never chosen. Throws RpcError(InvalidParams).
void checkLanguageCode(std::string_view code, int rowNumber);

} // namespace trd::server
