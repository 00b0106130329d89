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

std::string changesAnswer(std::int64_t upTo, const std::vector<const FeedEvent*>& events);
std::string reloadAnswer(std::int64_t upTo, const std::string& reason);

} // namespace trd::server::feed
