#include "ExchangeTypes.h"

#include <QString>

namespace trd::exchange {

const char* formatName(Format format)
{
    switch (format) {
    case Format::Xliff12: return "XLIFF 1.2";
    case Format::Xliff21: return "XLIFF 2.1";
    case Format::Po: return "PO";
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
