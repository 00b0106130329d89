#include "TermRules.h"

#include "ServerError.h"
#include "TermText.h"
#include "Utf8Text.h"

#include <cmath>

namespace trd::server::terms {

using termtext::collapsed;

std::string termKey(const std::string& source)
{
    return utf8::toUpper(collapsed(source));
}

void refuseUnknown(const std::string& language, std::int64_t id)
{
    throw ServerError(ErrorKind::Conflict,
                      "O termo " + std::to_string(id) + " não existe no glossário do idioma " + language
                          + " (excluído por outro usuário?).");
}

void refuseDuplicate(const TermRecord& term)
{
    throw ServerError(
        ErrorKind::Conflict,
        "O glossário do idioma " + term.language + " já tem o termo \"" + term.source + "\""
            + (term.program.empty() ? std::string(" para todas as telas.") : " para a tela " + term.program + "."));
}

void checkSeen(const TermWrite& write, const TermRecord& current)
{
    // Dates travel as day numbers: a millisecond is well above their rounding.
    if (write.seen && std::fabs(*write.seen - current.changed) > 1.0 / 86400000.0)
        throw ServerError(ErrorKind::Conflict,
                          "O termo \"" + current.source + "\" foi alterado por " + current.changedBy
                              + " depois de lido; leia-o de novo.");
}

void glossaryNotKept()
{
    throw ServerError(ErrorKind::Unavailable, "Este banco não guarda glossário.");
}

std::string normalisedList(const std::string& lines)
{
    return termtext::normalisedList(lines);
}

} // namespace trd::server::terms
