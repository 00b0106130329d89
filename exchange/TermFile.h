#pragma once
// A language's glossary as an exchange file (docs/glossary.md, "Files"): TBX,
// the ISO 30042 term-base exchange format in its TBX-Basic dialect, for term
// tools, and CSV (RFC 4180, UTF-8, a header line) for spreadsheets. Texts are
// UTF-8 bytes, as the server sends and stores them; lists are one
// translation a line, as in the glossary's methods.
#include "ExchangeTypes.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace trd::exchange {

enum class TermFormat { Tbx, Csv };

struct TermEntry {
    std::string source; // DSTERMO
    std::string preferred; // DSPREFERIDAS, one a line
    std::string forbidden; // DSPROIBIDAS, one a line
    bool doNotTranslate = false; // FLNAOTRADUZIR
    std::string note; // DSNOTA
    std::string program; // CDPROGTRAD; empty: every program
    int line = 0; // where the entry starts in a file read; 0 when written
};

// The values a file gives. A CSV without a column gives none of its values:
// an import keeps the server's for the terms it changes. A TBX entry gives
// every value (no note element: no note).
struct TermFields {
    bool preferred = true, forbidden = true, doNotTranslate = true, note = true;
};

struct TermFile {
    std::string language; // the destination language as the file names it; empty when it names none
    std::vector<TermEntry> terms;
    TermFields given;
};

// The Portuguese of the source terms, as the files name it.
inline constexpr const char* TermSourceLanguage = "pt-BR";

void writeTbx(const TermFile& file, std::string& out);
void writeTermCsv(const TermFile& file, std::string& out);

// Read a whole file (the TBX buffer is parsed in place and left changed);
// throw FileError with the line and the reason, and then nothing of the file
// is used. `language`: the destination language of the import, which picks
// the TBX entries' language set when a file holds several.
TermFile readTbx(std::string& bytes, const std::string& language);
TermFile readTermCsv(std::string_view bytes);

// Reads and checks a file of either format (told by its content: TBX starts
// with '<'). Throws FileError.
TermFile readTermFile(const QString& path, const std::string& language, const ReadLimits& limits = {});
// Writes all or nothing (a temporary file renamed into place). Throws FileError.
void writeTermFile(TermFormat format, const TermFile& file, const QString& path);

const char* termFormatName(TermFormat format); // "TBX", "CSV"
const char* termFormatExtension(TermFormat format); // "tbx", "csv"
std::optional<TermFormat> termFormatFromName(const std::string& name); // "tbx", "csv", any case

} // namespace trd::exchange
