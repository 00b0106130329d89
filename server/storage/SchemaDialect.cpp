#include "SchemaDialect.h"

#include <stdexcept>

namespace trd::server::schema {

namespace {

void appendSized(std::string& out, std::string_view type, std::string_view size)
{
    const std::size_t mark = type.find('%');
    if (mark == std::string_view::npos) {
        out.append(type); // a dialect whose texts have no size
        return;
    }
    out.append(type.substr(0, mark));
    out.append(size);
    out.append(type.substr(mark + 1));
}

} // namespace

std::string render(std::string_view definition, const Types& types)
{
    std::string out;
    out.reserve(definition.size() + 64);
    std::size_t at = 0;
    for (std::size_t open = definition.find('{'); open != std::string_view::npos; open = definition.find('{', at)) {
        const std::size_t close = definition.find('}', open);
        const std::string_view name = definition.substr(open + 1, close - open - 1);
        out.append(definition.substr(at, open - at));
        if (name == "KEY")
            out.append(types.key);
        else if (name == "ID")
            out.append(types.id);
        else if (name == "REAL")
            out.append(types.real);
        else if (name == "SMALL")
            out.append(types.small);
        else if (name == "CODE")
            out.append(types.code);
        else if (name.starts_with("TEXT(") && name.ends_with(")"))
            appendSized(out, types.text, name.substr(5, name.size() - 6));
        else
            throw std::logic_error("schema: unknown type {" + std::string(name) + "}");
        at = close + 1;
    }
    out.append(definition.substr(at));
    return out;
}

} // namespace trd::server::schema
