#pragma once
// Stable identities for the units of an exchange file. A translation row is
// unique by language, program, component and source text, and the file is of
// one language, so a unit's id is a digest of the other three: the same row
// always gets the same id, in every format and every export, and the id is a
// valid XML name token whatever characters the key holds.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trd::exchange {

// The 80 bits an id stands for, for lookups without a string per row.
using UnitKey = std::array<std::uint8_t, 10>;

UnitKey unitKey(std::string_view program, std::string_view component, std::string_view source);
// "u" and the key's 20 hexadecimal digits.
std::string unitId(const UnitKey& key);
// "u" and 20 hexadecimal digits (80 bits of SHA-1 over the three values).
std::string unitId(std::string_view program, std::string_view component, std::string_view source);
// The key of an id written by unitId (either case of hex digits); nullopt for an id of another form.
std::optional<UnitKey> keyOfId(std::string_view id);
// "p" and 20 hexadecimal digits of the program alone, for the group of a program's units.
std::string groupId(std::string_view program);

// The PO context of a row: program and component joined by "/", a "/" or "\"
// inside either escaped with "\", so the two are read back exactly.
std::string poContext(std::string_view program, std::string_view component);
// The two values back; false when the text is not such a context.
bool splitPoContext(std::string_view context, std::string& program, std::string& component);

} // namespace trd::exchange
