#pragma once
// The way from the rows' source language to a target over an engine's
// pairs: the direct pair when there is one, else the shortest chain of at
// most three pairs (por>spa>eng), the same choice every time for the same
// pairs so that cached answers keep their route.
#include "MtEngine.h"

#include <optional>
#include <string>
#include <vector>

namespace trd::server::mt {

std::optional<Route> planRoute(const std::vector<Pair>& pairs, const std::string& source, const std::string& target);

// The engine's code of a server's language ("ESP" -> "spa"): the site's own
// table first (--mt-language), then the usual three-letter codes of the
// languages the engine ships. Empty when unknown.
std::string engineLanguage(const std::vector<std::pair<std::string, std::string>>& site, const std::string& code);

} // namespace trd::server::mt
