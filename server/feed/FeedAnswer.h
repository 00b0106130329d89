#pragma once
// The JSON answers of the change feed (docs/protocol.md, "Live changes"):
//   {"ate":N,"alteracoes":[{"seq":...,"tipo":"A","idioma":...,...},...]}
//   {"ate":N,"recarregar":true,"motivo":"..."}
// "ate" is the cursor of the next request: every change of the language
// numbered up to it has been answered.
#include "FeedEvents.h"

#include <cstdint>
#include <string>
#include <vector>

namespace trd::server::feed {

// An answer's text, with what a streamed answer goes on from: whoever builds
// the text knows them, and reading them back out of it would tie the stream
// to how the text is written.
struct FeedAnswer {
    std::string body;
    std::int64_t upTo = -1; // its "ate"; -1 when it names none
    bool changes = false; // it brings changes (false: none, or a reload)
};

FeedAnswer changesAnswer(std::int64_t upTo, const std::vector<const FeedEvent*>& events);
FeedAnswer reloadAnswer(std::int64_t upTo, const std::string& reason);

} // namespace trd::server::feed
