#include "ExchangeTypes.h"

#include <QString>

#include <algorithm>
#include <string_view>

namespace trd::exchange {

std::optional<std::pair<std::size_t, std::size_t>> findRepeatedId(const std::vector<Unit>& units)
{
    // Sorting views of the ids costs far less than a hash table of 200,000 strings.
    std::vector<std::pair<std::string_view, std::size_t>> ids;
    ids.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i)
        if (!units[i].id.empty())
            ids.emplace_back(units[i].id, i);
    std::sort(ids.begin(), ids.end());
    std::optional<std::pair<std::size_t, std::size_t>> first;
    for (std::size_t i = 1; i < ids.size(); ++i)
        if (ids[i].first == ids[i - 1].first && (!first || ids[i].second < first->second))
            first = std::make_pair(ids[i - 1].second, ids[i].second);
    return first;
}

const char* formatName(Format format)
{
    switch (format) {
    case Format::Xliff12:
        return "XLIFF 1.2";
    case Format::Xliff21:
        return "XLIFF 2.1";
    case Format::Po:
        return "PO";
    }
    return "";
}

const char* formatExtension(Format format)
{
    return format == Format::Po ? "po" : "xlf";
}

std::optional<Format> formatFromName(const std::string& name)
{
    const QString n = QString::fromStdString(name).toLower().remove(u'-').remove(u'.').remove(u' ');
    if (n == QLatin1String("xliff12") || n == QLatin1String("xliff") || n == QLatin1String("xlf"))
        return Format::Xliff12;
    if (n == QLatin1String("xliff21") || n == QLatin1String("xliff2"))
        return Format::Xliff21;
    if (n == QLatin1String("po"))
        return Format::Po;
    return std::nullopt;
}

} // namespace trd::exchange
