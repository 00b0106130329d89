#pragma once
// A language's glossary to and from a file, against a running trd-server
// through its glossary methods (docs/glossary.md, "Files"). The import is a
// preview that writes nothing, then the apply of its new and changed terms,
// one AddTermo or AlteraTermo each, under the rights those methods enforce.
// A term the file does not hold is left as it is; a term the file holds as the
// server has it is not written at all, so an export read back unchanged
// writes nothing and adds no line to the glossary's history.
#include "ServerLink.h"
#include "TermFile.h"

#include <QString>

#include <array>
#include <vector>

namespace trd::exchange {

// A term as the server keeps it.
struct ServerTerm {
    qint64 id = 0;
    TermEntry values;
    double changed = 0; // DTALTERACAO, sent back as the date read
};

enum class TermOutcome { New, Changed, Same, Refused };
inline constexpr int TermOutcomeCount = 4;
QString termOutcomeName(TermOutcome outcome); // "novos", "alterados", "sem mudança", "recusados"

struct TermPlanEntry {
    int term = -1; // index in the file's terms
    TermOutcome outcome = TermOutcome::Same;
    int current = -1; // index in the server's terms (Changed, Same)
    QString reason; // Refused: why
};

struct TermPlan {
    std::vector<TermPlanEntry> entries; // in the file's order
    std::array<int, TermOutcomeCount> counts{};
    int count(TermOutcome o) const { return counts[static_cast<std::size_t>(o)]; }
};

// Normalises the file's values as the server stores them (blanks collapsed,
// empty lines dropped) and decides each term against the server's by its words
// (case and blanks aside) and program; the values the file does not give
// (TermFields) are the server's. Refused: a blank term, a term of more
// than one line, a text the server would refuse (longer than its field, not in
// Windows-1252), a term the file already gave.
TermPlan planTermImport(TermFile& file, const std::vector<ServerTerm>& current);

// The language's terms (GetTermos).
std::vector<ServerTerm> readServerTerms(ServerLink& link, const QString& language);

struct TermExportSummary {
    QString language;
    QString path;
    int terms = 0;
};

TermExportSummary exportTerms(const ServerAddress& address, const QString& language, TermFormat format,
                              const QString& path, const JobControl& control);

struct TermImportPreview {
    QString path;
    QString language; // as the server spells it
    TermFile file;
    std::vector<ServerTerm> current;
    TermPlan plan;
};

// Reads the file and the language's terms; writes nothing. Throws FileError,
// ExchangeError or the server's refusal.
TermImportPreview prepareTermImport(const ServerAddress& address, const QString& path, const QString& language,
                                    const JobControl& control, const ReadLimits& limits = {});

struct AppliedTerms {
    int added = 0;
    int changed = 0;
    QString refusal; // the server's refusal that stopped the run, with the term's line; empty: all written
};

// Writes the plan's new and changed terms; refused ones never. A change is
// sent with the date its term was read, so a term someone changed since the
// preview is refused by the server, not overwritten. Stops at the first
// refusal of the server; what went in before it stays.
AppliedTerms applyTermImport(const ServerAddress& address, const TermImportPreview& preview, const JobControl& control);

} // namespace trd::exchange
