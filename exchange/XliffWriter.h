#pragma once
// Writes a language's rows as XLIFF 1.2 or 2.1 (docs/exchange.md): one group
// per program, one unit per row with its stable id, the component as the
// unit's name, source and target, the status mapped, the export time in the
// file. The bytes depend only on the language, the rows and the export time,
// so the same rows always give the same file. Written straight into a buffer,
// escaping as it appends, as the data packets are.
#include "ExchangeTypes.h"
#include "ExportTime.h"
#include "UnitId.h"

#include <string>
#include <vector>

namespace trd::exchange {

// The source texts are the client's own screens, in Brazilian Portuguese.
inline constexpr const char* SourceLanguage = "pt-BR";

struct ExportHeader {
    std::string language; // IDIDIOMA, as the server spells it
    ServerClock clock; // the server's clock when the rows were read
};

// Rows must be in the order sortForExport gives. Throws FileError when two
// rows would get one id (never seen: 80 bits of a digest).
void writeXliff(Format format, const ExportHeader& header, const std::vector<Row>& rows, std::string& out);

// The order every export writes rows in: program, component, source text,
// compared byte by byte, so both back ends give the same file whatever their collation.
void sortForExport(std::vector<Row>& rows);

// Throws FileError when two rows would get one id (never seen: 80 bits of a
// digest); sorts the keys.
void checkDistinctKeys(std::vector<UnitKey>& keys);

} // namespace trd::exchange
