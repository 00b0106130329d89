#pragma once
// The change feed's request line: GET /Trd09300.rdmTraducao/alteracoes
// ?idioma=ENG&desde=N&espera=S&revisoes=S&fluxo=S (docs/protocol.md, "Live changes"), read
// strictly: an unknown, repeated or malformed parameter is refused with the
// reason, as a method's arguments are.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trd::server {

inline constexpr std::string_view FeedPath = "/Trd09300.rdmTraducao/alteracoes";

struct FeedRequest {
    std::string language;
    std::optional<std::int64_t> since; // absent: only the current cursor
    int waitSeconds = 25; // how long the request may wait for a change
    // revisoes=S: the review marks too (a client that knows them; others
    // would take a change of an unknown type for a broken answer).
    bool reviewMarks = false;
    // fluxo=S: one answer carries every batch of the wait, each a chunk of
    // its own (a line of JSON), so a follower in step asks once a wait and not
    // once a batch. Only with `since`: without it there is nothing to follow.
    bool streamed = false;
    std::string refusal; // not empty: the request is refused with this
};

inline constexpr int FeedDefaultWaitSeconds = 25;
inline constexpr int FeedMaxWaitSeconds = 120;

// Reads the query part of the target (what follows '?').
FeedRequest readFeedRequest(std::string_view query);

} // namespace trd::server
