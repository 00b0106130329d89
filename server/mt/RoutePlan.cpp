#include "RoutePlan.h"

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <tuple>

namespace trd::server::mt {

std::optional<Route> planRoute(const std::vector<Pair>& pairs, const std::string& source, const std::string& target)
{
    if (source == target || source.empty() || target.empty())
        return std::nullopt;
    // Breadth first over the pairs sorted by their codes: the shortest chain,
    // and among chains of one length the first in that order.
    std::vector<Pair> sorted = pairs;
    std::sort(sorted.begin(), sorted.end(),
              [](const Pair& a, const Pair& b) { return std::tie(a.source, a.target) < std::tie(b.source, b.target); });
    constexpr std::size_t MostPairs = 3;
    std::map<std::string, std::string> cameFrom{{source, {}}};
    std::deque<std::pair<std::string, std::size_t>> queue{{source, 0}};
    while (!queue.empty()) {
        const auto [at, depth] = queue.front();
        queue.pop_front();
        if (at == target) {
            Route route;
            for (std::string l = target; !l.empty(); l = cameFrom[l])
                route.languages.insert(route.languages.begin(), l);
            return route;
        }
        if (depth == MostPairs)
            continue;
        for (const Pair& p : sorted)
            if (p.source == at && !cameFrom.count(p.target)) {
                cameFrom[p.target] = at;
                queue.emplace_back(p.target, depth + 1);
            }
    }
    return std::nullopt;
}

std::string engineLanguage(const std::vector<std::pair<std::string, std::string>>& site, const std::string& code)
{
    for (const auto& [ours, theirs] : site)
        if (ours == code)
            return theirs;
    static constexpr std::array<std::pair<const char*, const char*>, 16> Usual = {{
        {"POR", "por"},
        {"ESP", "spa"},
        {"SPA", "spa"},
        {"ENG", "eng"},
        {"ING", "eng"},
        {"FRA", "fra"},
        {"ALE", "deu"},
        {"DEU", "deu"},
        {"ITA", "ita"},
        {"CAT", "cat"},
        {"GAL", "glg"},
        {"GLG", "glg"},
        {"EUS", "eus"},
        {"BAS", "eus"},
        {"RON", "ron"},
        {"OCI", "oci"},
    }};
    for (const auto& [ours, theirs] : Usual)
        if (code == ours)
            return theirs;
    return {};
}

} // namespace trd::server::mt
