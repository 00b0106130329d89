#include "FeedAnswer.h"

#include "Json.h"

#include <charconv>
#include <utility>

namespace trd::server::feed {

namespace {

void appendNumber(std::string& out, double value)
{
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

void appendField(std::string& out, const char* name, std::string_view value)
{
    out += ",\"";
    out += name;
    out += "\":";
    appendJsonString(out, value);
}

} // namespace

FeedAnswer changesAnswer(std::int64_t upTo, const std::vector<const FeedEvent*>& events)
{
    std::string out = "{\"ate\":" + std::to_string(upTo) + ",\"alteracoes\":[";
    bool first = true;
    for (const FeedEvent* e : events) {
        out += first ? "{" : ",{";
        first = false;
        out += "\"seq\":" + std::to_string(e->seq);
        appendField(out, "tipo", std::string_view(&e->type, 1));
        appendField(out, "idioma", e->language);
        appendField(out, "tela", e->program);
        appendField(out, "componente", e->component);
        appendField(out, "origem", e->source);
        const bool mark = e->type == 'R' || e->type == 'U'; // the text and status stayed
        if (e->type != 'E' && !mark) {
            appendField(out, "destino", e->textAfter);
            appendField(out, "situacao", e->statusAfter);
        }
        if (e->type != 'I' && !mark) {
            appendField(out, "destinoAnterior", e->textBefore);
            appendField(out, "situacaoAnterior", e->statusBefore);
        }
        out += ",\"data\":";
        appendNumber(out, e->when);
        appendField(out, "usuario", e->user);
        out += '}';
    }
    out += "]}";
    return {std::move(out), upTo, !events.empty()};
}

FeedAnswer reloadAnswer(std::int64_t upTo, const std::string& reason)
{
    std::string out = "{\"ate\":" + std::to_string(upTo) + ",\"recarregar\":true";
    appendField(out, "motivo", reason);
    out += '}';
    return {std::move(out), upTo, false};
}

} // namespace trd::server::feed
