#include "FeedRequest.h"

#include "HexDigit.h"
#include "Utf8Text.h"

#include <charconv>

namespace trd::server {

namespace {

// Percent-decoding; '+' is a blank, as forms send it.
std::optional<std::string> decoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%') {
            if (i + 2 >= text.size())
                return std::nullopt;
            const int hi = hexDigit(text[i + 1]);
            const int lo = hexDigit(text[i + 2]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::int64_t> wholeNumber(std::string_view text)
{
    std::int64_t value = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || res.ec != std::errc() || res.ptr != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

} // namespace

FeedRequest readFeedRequest(std::string_view query)
{
    FeedRequest request;
    bool hasLanguage = false, hasSince = false, hasWait = false, hasMarks = false, hasStream = false;
    auto refuse = [&request](std::string why) {
        request.refusal = std::move(why);
        return request;
    };
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty())
            continue;
        const std::size_t eq = pair.find('=');
        const std::string_view name = pair.substr(0, eq);
        const auto value = decoded(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
        if (!value)
            return refuse("Parâmetro mal codificado: " + std::string(name.substr(0, 20)) + ".");
        if (name == "idioma") {
            if (hasLanguage)
                return refuse("O parâmetro idioma foi enviado duas vezes.");
            hasLanguage = true;
            if (!utf8::isValid(*value) || utf8::countedLength(*value) != 3)
                return refuse("O código de idioma deve ter exatamente 3 caracteres.");
            request.language = *value;
        } else if (name == "desde") {
            if (hasSince)
                return refuse("O parâmetro desde foi enviado duas vezes.");
            hasSince = true;
            request.since = wholeNumber(*value);
            if (!request.since)
                return refuse("desde deve ser o número da última alteração recebida (um inteiro, 0 ou mais).");
        } else if (name == "espera") {
            if (hasWait)
                return refuse("O parâmetro espera foi enviado duas vezes.");
            hasWait = true;
            const auto seconds = wholeNumber(*value);
            if (!seconds || *seconds > FeedMaxWaitSeconds)
                return refuse("espera deve ser um número de segundos de 0 a " + std::to_string(FeedMaxWaitSeconds)
                              + ".");
            request.waitSeconds = static_cast<int>(*seconds);
        } else if (name == "revisoes") {
            if (hasMarks)
                return refuse("O parâmetro revisoes foi enviado duas vezes.");
            hasMarks = true;
            if (*value != "S" && *value != "N")
                return refuse("revisoes deve ser S (contar também as marcas de revisão) ou N.");
            request.reviewMarks = *value == "S";
        } else if (name == "fluxo") {
            if (hasStream)
                return refuse("O parâmetro fluxo foi enviado duas vezes.");
            hasStream = true;
            if (*value != "S" && *value != "N")
                return refuse("fluxo deve ser S (todas as alterações da espera numa só resposta) ou N.");
            request.streamed = *value == "S";
        } else {
            return refuse("Parâmetro desconhecido: " + std::string(name.substr(0, 20))
                          + ". Parâmetros: idioma, desde, espera, revisoes, fluxo.");
        }
    }
    if (!hasLanguage)
        return refuse("Falta o parâmetro idioma.");
    return request;
}

} // namespace trd::server
