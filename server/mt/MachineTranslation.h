#pragma once
// Machine translation as the server offers it: the engine named in the
// options, the route to each of the server's languages, the protection of
// what must not be translated and the cache of the engine's answers. Every
// call to the engine has its own time limit; the methods that use it run on
// a lane of their own (rpc/), so a slow or absent engine delays only its own
// suggestions, never a save or any other method.
#include "MtCache.h"
#include "MtEngine.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace trd::server::mt {

struct MtSettings {
    std::string source = "por"; // the engine's code of the rows' source language
    std::vector<std::pair<std::string, std::string>> languages; // server code -> engine code (--mt-language)
    // The time limit of a request of up to textsPerLimit texts; a longer
    // request has it once per textsPerLimit texts begun. An engine takes a
    // time that grows with the texts it is sent, and a busy machine stretches
    // that time: one limit for any size would fail a long piece of a
    // pre-translation that a single suggestion's limit suits.
    std::chrono::milliseconds limit{3000};
    std::size_t textsPerLimit = 50;
    std::size_t textsPerRequest = 200;

    std::chrono::milliseconds limitFor(std::size_t texts) const
    {
        const std::size_t steps =
            std::max<std::size_t>(1, (texts + textsPerLimit - 1) / std::max<std::size_t>(1, textsPerLimit));
        return limit * static_cast<std::chrono::milliseconds::rep>(steps);
    }
};

class MachineTranslation {
public:
    MachineTranslation(std::unique_ptr<Engine> engine, std::unique_ptr<MtCache> cache, MtSettings settings);

    std::string engineName() const { return m_engine->name(); }
    const MtSettings& settings() const { return m_settings; }

    // The route to a server's language, or why there is none. Throws
    // ServerError(Unavailable) when the engine does not answer.
    struct Plan {
        std::string code; // the engine's code of the language
        std::optional<Route> route;
        std::string problem; // no route: why, in the user's words
    };
    Plan plan(const std::string& language);

    struct Answer {
        QString text; // the translation; empty when refused
        QString problem; // why it is refused (MtProtection.h); empty when good
        bool cached = false;
    };
    // One answer per source, in order. Throws ServerError(BadArgument) when
    // the language has no route, ServerError(Unavailable) when the engine
    // does not answer in time.
    std::vector<Answer> translate(const std::string& language, const std::vector<QString>& sources, Route& route);

private:
    const std::vector<Pair>& pairsLocked(std::unique_lock<std::mutex>& lock);
    std::string versionOf(const Route& route);
    void forget();

    std::unique_ptr<Engine> m_engine;
    std::unique_ptr<MtCache> m_cache;
    const MtSettings m_settings;

    std::mutex m_mutex; // what the engine last said of its pairs and versions
    std::vector<Pair> m_pairs;
    std::chrono::steady_clock::time_point m_pairsRead{};
    std::vector<std::pair<std::string, std::string>> m_versions; // route text -> version
    std::chrono::steady_clock::time_point m_versionsRead{};
};

} // namespace trd::server::mt
