#pragma once
// Reading the positional arguments of a method: each read checks the JSON
// type and the value's rule and refuses with a message naming the argument.
#include "Json.h"
#include "Storage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

struct MethodCall;

class MethodArgs {
public:
    MethodArgs(std::string_view method, std::vector<JsonValue>& params) : m_method(method), m_params(params) { }
    // The call's own arguments, named after its method in each refusal.
    explicit MethodArgs(MethodCall& call);
    // The same, first refused unless their count is one of the given ones:
    // the start of almost every handler.
    MethodArgs(MethodCall& call, std::initializer_list<std::size_t> allowedCounts);

    // The largest id a JSON number carries exactly (2^53 - 1): versions and batches.
    static constexpr std::int64_t MaxId = 9007199254740991;

    std::size_t count() const { return m_params.size(); }
    // Refuses unless the argument count is one of the given ones.
    void expectCount(std::initializer_list<std::size_t> allowed) const;

    // A string of at most maxChars characters, representable in Windows-1252.
    std::string text(std::size_t index, const char* name, std::size_t maxChars) const;
    // The packet argument, moved out of the request (it can be large).
    std::string packet(std::size_t index, const char* name);
    std::string language(std::size_t index) const;
    // {"date": D} or a bare number; 0 is "no date".
    double date(std::size_t index, const char* name) const;
    // "T", "D", "N" or "X"; returns the status, or empty for "X".
    std::string status(std::size_t index, bool allowNothing = true) const;
    // "", "N" or "T".
    std::string dateMode(std::size_t index) const;
    // A whole number within [min, max].
    std::int64_t integer(std::size_t index, const char* name, std::int64_t min, std::int64_t max) const;
    // "S" (yes) or "N" (no).
    bool yesNo(std::size_t index, const char* name) const;

    // Change-date bounds for the date mode (docs/protocol.md, common rules).
    static DateBounds bounds(double first, double last, const std::string& mode);
    // The bounds of the first and the last date at firstIndex and the one
    // after it: whole days, or none when the date mode at modeIndex is "T".
    DateBounds dateRange(std::size_t firstIndex, std::optional<std::size_t> modeIndex = std::nullopt) const;

private:
    const JsonValue& at(std::size_t index) const { return m_params[index]; }
    [[noreturn]] void wrongType(std::size_t index, const char* name, const char* expected) const;

    std::string_view m_method;
    std::vector<JsonValue>& m_params;
};

} // namespace trd::server
