#pragma once
// Texts of a packet as the readers put them into messages: UTF-8 turned into
// QString, and a bad value quoted, enough to recognise it and never a page of
// text. Shared by the XML and the binary packet readers.
#include <QString>

#include <cstddef>
#include <string_view>

namespace trd::packettext {

inline QString q(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline QString quoted(std::string_view raw)
{
    constexpr std::size_t kMax = 40;
    if (raw.size() <= kMax)
        return q(raw);
    return QString::fromUtf8(raw.data(), kMax) + QStringLiteral("...");
}

} // namespace trd::packettext
