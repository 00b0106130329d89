#include "StatusMap.h"

namespace trd::exchange::status {

const char* xliff12State(char status)
{
    switch (status) {
    case 'T':
        return "translated";
    case 'D':
        return "needs-review-translation";
    default:
        return "new";
    }
}

std::optional<char> fromXliff12(std::string_view state, bool hasState, bool approved, bool targetEmpty)
{
    if (!hasState)
        return (approved || !targetEmpty) ? 'T' : 'N';
    if (state == "translated" || state == "final" || state == "signed-off")
        return 'T';
    if (state == "needs-review-translation" || state == "needs-review-l10n" || state == "needs-review-adaptation")
        return 'D';
    if (state == "new" || state == "needs-translation" || state == "needs-l10n" || state == "needs-adaptation")
        return 'N';
    // Custom states are "x-" names a tool of its own defines: the text is
    // there, its review is the tool's business.
    if (state.size() > 2 && state.substr(0, 2) == "x-")
        return targetEmpty ? 'N' : 'T';
    return std::nullopt;
}

const char* xliff21State(char status)
{
    switch (status) {
    case 'T':
    case 'D':
        return "translated";
    default:
        return "initial";
    }
}

std::optional<char> fromXliff21(std::string_view state, bool hasState, std::string_view subState, bool targetEmpty)
{
    if (!hasState)
        return targetEmpty ? 'N' : 'T';
    if (state == "reviewed" || state == "final")
        return 'T';
    if (state == "translated")
        return subState == DoubtfulSubState ? 'D' : 'T';
    if (state == "initial")
        return 'N';
    return std::nullopt;
}

} // namespace trd::exchange::status
