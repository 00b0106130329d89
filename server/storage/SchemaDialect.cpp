#include "SchemaDialect.h"

#include <stdexcept>

namespace trd::server::schema {

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
        else
            throw std::logic_error("schema: unknown type {" + std::string(name) + "}");
        at = close + 1;
    }
    out.append(definition.substr(at));
    return out;
}

} // namespace trd::server::schema
