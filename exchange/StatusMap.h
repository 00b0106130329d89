#pragma once
// How the three statuses of a translation row travel in each format
// (docs/exchange.md has the table). Writing maps T, D and N to one value of
// the format; reading accepts every value the format defines, since an
// outside tool may have moved a unit to any of them.
#include <optional>
#include <string_view>

namespace trd::exchange::status {

// XLIFF 1.2: the target's state. T "translated", D "needs-review-translation", N "new".
const char* xliff12State(char status);
// The status of a 1.2 unit: its state when it has one (final, signed-off,
// translated -> T; needs-review-* -> D; new, needs-* -> N); without one,
// approved="yes" or a non-empty target -> T, else N. nullopt for an unknown state.
std::optional<char> fromXliff12(std::string_view state, bool hasState, bool approved, bool targetEmpty);

// XLIFF 2.1: the segment's state, and subState for the doubtful rows.
// T "translated", D "translated" with subState "trd:duvida", N "initial".
const char* xliff21State(char status);
inline constexpr std::string_view DoubtfulSubState = "trd:duvida";
// reviewed, final -> T; translated -> D with our subState, else T; initial ->
// N. Without a state: a non-empty target -> T, else N. nullopt for an unknown state.
std::optional<char> fromXliff21(std::string_view state, bool hasState, std::string_view subState, bool targetEmpty);

} // namespace trd::exchange::status
