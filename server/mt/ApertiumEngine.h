#pragma once
// The Apertium HTTP service (apertium-apy) as an engine: GET /listPairs for
// its pairs, POST /translate for a direct pair and /translateChain for a
// chain of them, HTML in and out (its default) so that our tags pass as they
// stand, unknown words never marked (a mark turned "%s" into "%*s"). Several
// texts go in one request, each its own paragraph: the service translates a
// few hundred of them in the time of a few single calls.
#include "MtEngine.h"

#include <string>

namespace trd::server::mt {

class ApertiumEngine : public Engine {
public:
    // url: "http://127.0.0.1:2737".
    explicit ApertiumEngine(std::string url);

    std::string name() const override { return "Apertium"; }
    std::vector<Pair> pairs(std::chrono::milliseconds limit) override;
    std::string version(const Route& route, std::chrono::milliseconds limit) override;
    std::vector<std::string> translate(const Route& route, const std::vector<std::string>& texts,
                                       std::chrono::milliseconds limit) override;

    // The texts of one request: each in a paragraph of its own.
    static std::string joinTexts(const std::vector<std::string>& texts);
    // The answer to joinTexts split back; false when it does not hold as
    // many paragraphs as were sent.
    static bool splitAnswer(const std::string& answer, std::size_t count, std::vector<std::string>& out);

private:
    std::string post(const Route& route, const std::string& text, std::chrono::milliseconds limit);

    std::string m_host;
    int m_port = 0;
};

} // namespace trd::server::mt
