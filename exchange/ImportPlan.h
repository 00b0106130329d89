#pragma once
// What importing a file would do to a language's rows, decided before
// anything is written: each unit matched to a row by its id, else by program,
// component and source text, and sorted into new translations, changes,
// unchanged units, units that match no row, conflicts and refusals.
//
// The conflict rule: a unit that would change a row changed on the server at
// or after the file's export time is a conflict, never written unless the
// user chooses it. A file without an export time cannot tell, so each of its
// changes is a conflict. A unit whose text breaks the save rules (field size,
// Windows-1252, control characters) or whose content could not be read is
// refused with the reason. docs/exchange.md has the rules with examples.
#include "ExchangeTypes.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace trd {
struct PacketField;
}

namespace trd::exchange {

enum class Outcome { New, Changed, Unchanged, Unmatched, Conflict, Refused };
inline constexpr int OutcomeCount = 6;

struct PlanEntry {
    Outcome outcome = Outcome::Unmatched;
    int unit = -1; // index into the document's units
    int row = -1; // index into the rows; -1 when no row matches
    std::string destination; // the text the row would get (left empty for unchanged units)
    char status = 'N'; // the status the row would get
    QString reason; // Refused: why; Conflict: when the row changed
};

struct Plan {
    std::vector<PlanEntry> entries; // one per unit, in the file's order
    std::array<int, OutcomeCount> counts{};
    int count(Outcome o) const { return counts[static_cast<std::size_t>(o)]; }
};

// Why a text cannot be saved into STVALORPROP, or an empty string: the rules
// of the server's save path, checked before the user is asked to apply.
QString textRuleBreak(std::string_view utf8);

// `exportDays` is the file's export time on the server's clock (day count);
// nullopt when the file has none.
Plan planImport(const Document& document, const std::vector<Row>& rows, std::optional<double> exportDays);

// The change log that applies the plan's new translations and changes, and
// the conflicts whose entries `overwrite` marks (indexes into plan.entries),
// as SetDestino takes it: each row's values as read, then its new text and
// status. The server checks that each row still holds those values.
QByteArray buildDelta(const Plan& plan, const std::vector<Row>& rows, const QString& language,
                      const std::vector<bool>& overwrite, int* written = nullptr);

// A string column of the packets the exchange sends: `width` characters.
PacketField stringField(const char* name, int width);

QString outcomeName(Outcome outcome); // "novas traduções", "alterações", ...

} // namespace trd::exchange
