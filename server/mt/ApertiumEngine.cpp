#include "ApertiumEngine.h"

#include "Json.h"
#include "ServerError.h"

#include <httplib.h>

#include <functional>

namespace trd::server::mt {

namespace {

constexpr const char* Open = "<p>";
constexpr const char* Close = "</p>";
// Translated once per route to tell one version of the engine's data from
// another: a few common words of screen texts, which any change of a pair's
// dictionaries or rules is likely to touch.
constexpr const char* Probe = "Abrir o arquivo do cliente e salvar as alterações do relatório de vendas?";

[[noreturn]] void unavailable(const std::string& why)
{
    throw ServerError(ErrorKind::Unavailable, "O serviço de tradução automática não respondeu: " + why + ".");
}

httplib::Client client(const std::string& host, int port, std::chrono::milliseconds limit)
{
    httplib::Client http(host, port);
    http.set_connection_timeout(limit);
    http.set_read_timeout(limit);
    http.set_write_timeout(limit);
    http.set_keep_alive(false);
    return http;
}

JsonValue responseData(const std::string& body)
{
    JsonValue parsed;
    try {
        parsed = parseJson(body);
    } catch (const ServerError&) {
        unavailable("resposta ilegível");
    }
    const JsonValue* data = parsed.isObject() ? parsed.find("responseData") : nullptr;
    if (!data)
        unavailable("resposta sem dados");
    return *data; // a copy: the parsed answer goes away here
}

std::string httpFailure(const httplib::Result& result)
{
    if (!result)
        return httplib::to_string(result.error());
    std::string why = "HTTP " + std::to_string(result->status);
    try {
        const JsonValue answer = parseJson(result->body);
        if (const JsonValue* explanation = answer.isObject() ? answer.find("explanation") : nullptr)
            if (explanation->isString())
                why += ", " + explanation->string();
    } catch (const ServerError&) {
    }
    return why;
}

} // namespace

std::string Route::text() const
{
    std::string out;
    for (const std::string& language : languages)
        out += (out.empty() ? "" : ">") + language;
    return out;
}

ApertiumEngine::ApertiumEngine(std::string url)
{
    std::string rest = url.rfind("http://", 0) == 0 ? url.substr(7) : url;
    if (const std::size_t slash = rest.find('/'); slash != std::string::npos)
        rest.resize(slash);
    const std::size_t colon = rest.rfind(':');
    m_host = colon == std::string::npos ? rest : rest.substr(0, colon);
    m_port = colon == std::string::npos ? 2737 : std::atoi(rest.c_str() + colon + 1);
}

std::vector<Pair> ApertiumEngine::pairs(std::chrono::milliseconds limit)
{
    httplib::Client http = client(m_host, m_port, limit);
    const httplib::Result result = http.Get("/listPairs");
    if (!result || result->status != 200)
        unavailable(httpFailure(result));
    const JsonValue data = responseData(result->body);
    std::vector<Pair> found;
    if (data.isArray())
        for (const JsonValue& p : data.array()) {
            const JsonValue* s = p.find("sourceLanguage");
            const JsonValue* t = p.find("targetLanguage");
            if (s && t && s->isString() && t->isString())
                found.push_back({s->string(), t->string()});
        }
    return found;
}

std::string ApertiumEngine::version(const Route& route, std::chrono::milliseconds limit)
{
    const std::string answer = post(route, Probe, limit);
    return std::to_string(std::hash<std::string>{}(route.text() + '\n' + answer));
}

std::string ApertiumEngine::post(const Route& route, const std::string& text, std::chrono::milliseconds limit)
{
    httplib::Client http = client(m_host, m_port, limit);
    httplib::Params form{{"q", text}, {"markUnknown", "no"}};
    std::string path = "/translate";
    if (route.chained()) {
        path = "/translateChain";
        std::string chain;
        for (const std::string& language : route.languages)
            chain += (chain.empty() ? "" : "|") + language;
        form.emplace("langpairs", chain);
    } else {
        form.emplace("langpair", route.languages.front() + "|" + route.languages.back());
    }
    const httplib::Result result = http.Post(path, form);
    if (!result || result->status != 200)
        unavailable(httpFailure(result));
    const JsonValue data = responseData(result->body);
    const JsonValue* translated = data.isObject() ? data.find("translatedText") : nullptr;
    if (!translated || !translated->isString())
        unavailable("resposta sem tradução");
    return translated->string();
}

std::string ApertiumEngine::joinTexts(const std::vector<std::string>& texts)
{
    std::string joined;
    for (const std::string& text : texts)
        joined += Open + text + Close;
    return joined;
}

bool ApertiumEngine::splitAnswer(const std::string& answer, std::size_t count, std::vector<std::string>& out)
{
    out.clear();
    std::size_t at = 0;
    while (out.size() < count) {
        const std::size_t open = answer.find(Open, at);
        if (open == std::string::npos)
            return false;
        const std::size_t begin = open + 3;
        const std::size_t close = answer.find(Close, begin);
        if (close == std::string::npos)
            return false;
        out.push_back(answer.substr(begin, close - begin));
        at = close + 4;
    }
    return answer.find(Open, at) == std::string::npos;
}

std::vector<std::string> ApertiumEngine::translate(const Route& route, const std::vector<std::string>& texts,
                                                   std::chrono::milliseconds limit)
{
    if (texts.size() == 1)
        return {post(route, texts.front(), limit)};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<std::string> answers;
    if (splitAnswer(post(route, joinTexts(texts), limit), texts.size(), answers))
        return answers;
    // The paragraphs did not come back as sent (an engine that joined or
    // split them): one request per text, within what is left of the time.
    answers.clear();
    for (const std::string& text : texts) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            unavailable("prazo esgotado");
        answers.push_back(post(route, text, left));
    }
    return answers;
}

} // namespace trd::server::mt
