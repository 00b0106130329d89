#pragma once
// What the data packet's writer, reader and shared rules have in common:
// names compared as the packet's readers do (ASCII letters in any case), a
// byte array seen as UTF-8 text, and the one way a packet fault is raised.
// Internal to platform/.
#include "Exceptions.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <string>
#include <string_view>

namespace trd::packetdetail {

inline char asciiUpperChar(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c;
}

inline bool equalsNoCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        const char ca = asciiUpperChar(*a), cb = asciiUpperChar(*b);
        if (ca != cb)
            return false;
        if (ca == 0)
            return true;
    }
}

inline bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiUpperChar(a[i]) != asciiUpperChar(b[i]))
            return false;
    }
    return true;
}

inline std::string asciiUpper(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded)
        c = asciiUpperChar(c);
    return folded;
}

inline std::string_view view(const QByteArray& b)
{
    return {b.constData(), static_cast<std::size_t>(b.size())};
}

[[noreturn]] inline void fail(const QString& message)
{
    throw EDBClient(message);
}

} // namespace trd::packetdetail
