#pragma once
// A language's glossary as the storage keeps it (docs/glossary.md): its
// terms, and a version of a term for every change, kept after the term is
// deleted. Lists of translations are kept one a line.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trd::server {

namespace termsize {
inline constexpr std::size_t Term = 200; // DSTERMO
inline constexpr std::size_t Translations = 1000; // DSPREFERIDAS, DSPROIBIDAS: every line together
inline constexpr std::size_t Note = 1000; // DSNOTA
inline constexpr std::size_t TermsPerLanguage = 100000;
} // namespace termsize

struct TermRecord {
    std::int64_t id = 0; // IDTERMO; 0 for a term not stored yet
    std::string language; // IDIDIOMA
    std::string source; // DSTERMO
    std::string preferred; // DSPREFERIDAS, one a line
    std::string forbidden; // DSPROIBIDAS, one a line
    bool doNotTranslate = false; // FLNAOTRADUZIR
    std::string note; // DSNOTA
    std::string program; // CDPROGTRAD, empty for every program
    double changed = 0; // DTALTERACAO, set by the server
    std::string changedBy; // NMUSUARIO
};

// What a change did to a term: inserted, altered, excluded.
enum class TermChange : char { Insert = 'I', Alter = 'A', Delete = 'E' };

struct TermVersion {
    std::int64_t version = 0; // IDVERSAOTERMO, in the order written
    TermChange change = TermChange::Insert;
    TermRecord term; // the values after the change (a deletion: the values it removed)
};

// A write of the glossary. `seen` is the term's change date-time as the
// writer read it: when given and the term changed since, the write is
// refused (someone else changed it meanwhile).
struct TermWrite {
    TermChange change = TermChange::Insert;
    TermRecord term;
    std::optional<double> seen;
};

} // namespace trd::server
