#pragma once
// The catalog of the checks a translation goes through: each has a short id
// (what trd-check's --checks and the file of listed rows name), a severity
// and a title. "erro" means the screen breaks (a format placeholder that the
// program fills no longer matches, a shortcut mark that cannot work); "aviso"
// means the text is probably wrong and a person should look.
#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>

namespace trd::quality {

enum class Severity : std::uint8_t { Erro, Aviso };

enum class CheckId : std::uint8_t {
    Marcadores, // format placeholders: %s, %1, {0}
    Atalho, // the shortcut mark "&"
    ConflitoAtalho, // two texts of one screen marking the same letter
    Quebras, // line breaks
    Espacos, // spaces at the start and at the end
    Pontuacao, // end punctuation
    Repeticoes, // doubled spaces and words
    Delimitadores, // brackets and quotes
    Numeros, // numbers
    IgualOrigem, // a translated row whose text is still its source
    Tamanho, // a line too long for the place of its source
    TermoAusente, // a glossary term without its preferred translation
    TermoProibido, // a translation the glossary forbids for a term
    TermoNaoTraduzir, // a term that is never translated, translated
};

inline constexpr int CheckCount = 14;

struct CheckInfo {
    CheckId id;
    QStringView code; // "marcadores", "atalho", ...
    Severity severity;
    QStringView title; // what the user reads in lists and reports
};

// Every check, in the order findings are reported.
const std::array<CheckInfo, CheckCount>& allChecks();
const CheckInfo& checkInfo(CheckId id);
std::optional<CheckId> checkFromCode(QStringView code);

// "erro" or "aviso", as the user reads them.
QString severityText(Severity severity);

// A choice of checks, as a bit per check.
class CheckSet {
public:
    constexpr CheckSet() = default;
    static constexpr CheckSet all() { return CheckSet((1u << CheckCount) - 1); }
    constexpr bool contains(CheckId id) const { return m_bits & bit(id); }
    constexpr void insert(CheckId id) { m_bits |= bit(id); }
    constexpr void remove(CheckId id) { m_bits &= ~bit(id); }
    constexpr bool isEmpty() const { return m_bits == 0; }
    constexpr bool operator==(const CheckSet&) const = default;

    // A list of ids separated by commas or blanks ("marcadores,atalho");
    // nullopt with `error` naming the unknown id and the known ones.
    static std::optional<CheckSet> parse(QStringView list, QString* error);

private:
    constexpr explicit CheckSet(std::uint32_t bits) : m_bits(bits) { }
    static constexpr std::uint32_t bit(CheckId id) { return 1u << static_cast<unsigned>(id); }
    std::uint32_t m_bits = 0;
};

// What one check found in one row: at most one finding per check and row,
// its message naming what differs.
struct Finding {
    CheckId check;
    Severity severity;
    QString message;
};

using Findings = QList<Finding>;

bool hasErro(const Findings& findings);

} // namespace trd::quality
