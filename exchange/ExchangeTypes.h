#pragma once
// What a language's exchange file holds, whatever its format: the language,
// the moment of the export on the server's clock, and one unit per
// translation row. Texts are UTF-8 bytes, as the server sends and stores them.
#include "Exceptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace trd::exchange {

enum class Format { Xliff12, Xliff21, Po };

// A translation row of the server, as an export writes it and an import
// compares against it.
struct Row {
    std::string program; // CDPROGTRAD
    std::string component; // NMCOMPONENTE
    std::string source; // STAGRVALPROP
    std::string destination; // STVALORPROP
    char status = 'N'; // IDSITTRADUCAO: T, D or N
    double changed = 0; // DTALTERACAO, days since 1899-12-30 on the server's clock (imports only)
};

// One unit read from a file. Program and component are absent when the tool
// that rewrote the file dropped them; the target is absent when the unit
// gives no text (the row then keeps its own).
struct Unit {
    std::string id;
    std::optional<std::string> program;
    std::optional<std::string> component;
    std::string source;
    std::optional<std::string> target;
    char status = 'N';
    int line = 0; // where the unit starts in the file; 0 when the format does not tell
    std::string problem; // why this unit cannot be imported (an unknown state, markup), else empty
};

struct Document {
    Format format = Format::Xliff12;
    std::string language; // the target language as the file names it
    std::string exportTime; // ISO 8601 with offset, as written; empty when the file has none
    std::vector<Unit> units;
};

// The file cannot be read as an exchange file: nothing of it is used.
class FileError : public Exception {
public:
    FileError(int line, const QString& reason)
        : Exception(line > 0 ? QStringLiteral("Arquivo recusado, linha %1: %2").arg(line).arg(reason)
                             : QStringLiteral("Arquivo recusado: %1").arg(reason)),
          m_line(line), m_reason(reason)
    {
    }
    int line() const noexcept { return m_line; }
    const QString& reason() const noexcept { return m_reason; }

private:
    int m_line;
    QString m_reason;
};

// Limits of what an import reads, so a hostile file costs bounded memory.
struct ReadLimits {
    std::int64_t maxFileBytes = std::int64_t(512) << 20;
};

// The first unit (in file order) whose id an earlier unit already has, as
// (earlier, later) indexes; units without an id are left out.
std::optional<std::pair<std::size_t, std::size_t>> findRepeatedId(const std::vector<Unit>& units);

const char* formatName(Format format); // "XLIFF 1.2", "XLIFF 2.1", "PO"
const char* formatExtension(Format format); // "xlf", "xlf", "po"
// "xliff12", "xliff21", "po" (any case), as the command line spells them.
std::optional<Format> formatFromName(const std::string& name);

} // namespace trd::exchange
