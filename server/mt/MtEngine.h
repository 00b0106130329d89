#pragma once
// A machine-translation engine as trd-server sees it: a service that turns
// texts of one language into another, over one of its pairs or a chain of
// them. What it is given is our protected form of a screen text
// (MtProtection.h): an HTML fragment whose tags stand for what must not be
// translated, and which it must hand back where they stood. Another engine
// reached over HTTP is one more implementation of this interface; nothing
// above it names Apertium.
#include <chrono>
#include <string>
#include <vector>

namespace trd::server::mt {

// One pair the engine translates directly, in the engine's own codes.
struct Pair {
    std::string source;
    std::string target;
    bool operator==(const Pair&) const = default;
};

// The languages a text goes through: two for a direct pair, more when the
// engine chains pairs (por>spa>eng).
struct Route {
    std::vector<std::string> languages;
    bool chained() const { return languages.size() > 2; }
    // "por>spa" or "por>spa>eng": the cache's key and what the user is shown.
    std::string text() const;
    bool operator==(const Route&) const = default;
};

class Engine {
public:
    virtual ~Engine() = default;
    // The name the user reads beside a suggestion: "Apertium".
    virtual std::string name() const = 0;
    // The pairs the service serves now. Throws ServerError(Unavailable) when
    // it does not answer within `limit`.
    virtual std::vector<Pair> pairs(std::chrono::milliseconds limit) = 0;
    // What identifies the answers the service gives over `route` now: when a
    // new version of the engine or of its language data changes them, this
    // changes too and cached answers are no longer used.
    virtual std::string version(const Route& route, std::chrono::milliseconds limit) = 0;
    // One answer per text, in order, within `limit` for them all. Throws
    // ServerError(Unavailable) when the service is absent, slow or refuses.
    virtual std::vector<std::string> translate(const Route& route, const std::vector<std::string>& texts,
                                               std::chrono::milliseconds limit) = 0;
};

} // namespace trd::server::mt
